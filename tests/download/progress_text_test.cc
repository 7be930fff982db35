#include "download/progress_text.h"

#include <gtest/gtest.h>

TEST(ProgressTextTest, SaysHowMuchOfHowMuchAndHowLongIsLeft) {
  // clang-format off
  const std::tuple<int64_t, int64_t, std::optional<double>, std::string> rows[] = {
      // received, expected (negative: unknown), seconds left; the text, "_" a no-break space
      {1, 2, std::nullopt, "1 byte of 2 bytes"},
      {999, 1000, std::nullopt, "999 bytes of 1.0_kB"},
      {1050, 999999, std::nullopt, "1.1_kB of 1000.0_kB"},  // rounded as GLib rounds, not up a unit
      {12'500'000, 200'000'000, 120.4, "12.5_MB of 200.0_MB, about 2 minutes left"},
      {1'234'000'000, 2'000'000'000'000, 0.2, "1.2_GB of 2.0_TB, about 1 second left"},
      {0, 9'223'372'036'854'775'807, 45, "0 bytes of 9.2_EB, about 45 seconds left"},
      {0, 10, 59.6, "0 bytes of 10 bytes, about 1 minute left"},
      {0, 10, 3569, "0 bytes of 10 bytes, about 59 minutes left"},
      {0, 10, 3571, "0 bytes of 10 bytes, about 1 hour left"},
      {0, 10, 5400, "0 bytes of 10 bytes, about 2 hours left"},
      {12'500'000, -1, 30, "12.5_MB"}};  // no time left without a length
  // clang-format on
  for (const auto& [received, expected, secondsLeft, text] : rows) {
    std::string spaced = text;
    for (size_t at = spaced.find('_'); at != std::string::npos; at = spaced.find('_')) {
      spaced.replace(at, 1, "\u00a0");
    }
    EXPECT_EQ(spaced, progressText(received, expected, secondsLeft));
  }
}

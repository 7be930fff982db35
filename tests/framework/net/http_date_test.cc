#include "framework/net/http_date.h"

#include <gtest/gtest.h>

TEST(HttpDateTest, ThreeFormsAndNothingElse) {
  const int64_t now = 1'796'600'000;  // in 2026: two-digit years up to 76 are this century's
  // clang-format off
  const std::pair<const char*, std::optional<int64_t>> rows[] = {
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0}, {"Tue, 29 Feb 2000 23:59:59 GMT", 951868799},
      {"Thu, 29 Feb 2024 12:00:00 GMT", 1709208000}, {"Mon, 01 Mar 2100 00:00:00 GMT", 4107542400},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777}, {"Sun Nov  6 08:49:37 1994", 784111777},
      {"Friday, 31-Dec-99 23:59:59 GMT", 946684799}, {"Thursday, 31-Dec-76 23:59:59 GMT", 3376684799},
      {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt}, {"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nox 1994 08:49:37 GMT", std::nullopt}, {"Sun, 06 Nov 1994 08:60:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 UTC", std::nullopt}, {"Wed, 31 Dec 1969 23:59:59 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49 GMT", std::nullopt}, {"0", std::nullopt}, {"", std::nullopt}};
  // clang-format on
  for (const auto& [text, time] : rows) {
    EXPECT_EQ(time, fw::parseHttpDate(text, now)) << text;
  }
}

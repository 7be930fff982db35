#include "provisioning/freshness.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kReceived = 1'000'000'000;  // Sun, 09 Sep 2001 01:46:40 GMT

fw::HttpResponse responseOf(const std::vector<std::string>& lines) {
  fw::HttpResponse response;
  for (const std::string& line : lines) {
    fw::addHeaderLine(response, line + "\r\n");
  }
  return response;
}

TEST(FreshnessTest, WhatAResponseAllows) {
  // clang-format off
  const std::tuple<std::vector<std::string>, int64_t, int64_t> rows[] = {
      // header lines (the end to end table has the plain ones); the lifetime and stale-if-error
      // recorded, -1 for none (no record: -1, -1)
      {{"Cache-Control: public"}, -1, -1}, {{"Cache-Control: max-age=0"}, -1, -1},
      {{"Cache-Control: MAX-AGE=3600"}, 3600, -1}, {{"Cache-Control: max-age=1h"}, -1, -1},
      {{"Cache-Control: max-age=60", "Cache-Control: stale-if-error=5"}, 60, 5},
      {{"Cache-Control: no-store, max-age=60"}, -1, -1}, {{"Cache-Control: max-age=60, max-age=120"}, -1, -1},
      {{"Cache-Control: x=\"a, no-cache\", max-age=60"}, 60, -1},  // inside quotes: no directive
      {{"Cache-Control: max-age=60, must-revalidate, stale-if-error=5"}, 60, -1},
      {{"Cache-Control: max-age=99999999999999999999"}, int64_t{1} << 31, -1},
      {{"Date: Sun, 09 Sep 2001 00:46:40 GMT", "Expires: Sun, 09 Sep 2001 02:46:40 GMT"}, 7200, -1},
      {{"Expires: Sun Sep  9 02:46:40 2001"}, 3600, -1}, {{"Expires: 0"}, -1, -1},
      {{"Expires: Sun, 09 Sep 2001 01:46:39 GMT"}, -1, -1},
      {{"Expires: Sun, 09 Sep 2001 02:46:40 GMT", "Cache-Control: max-age=10"}, 10, -1},
      {{"Expires: Sun, 09 Sep 2001 02:46:40 GMT", "Expires: Sun, 09 Sep 2001 03:46:40 GMT"}, -1, -1}};
  // clang-format on
  for (const auto& [lines, lifetime, staleIfError] : rows) {
    const std::optional<Freshness> freshness =
        freshnessOf(responseOf(lines), kReceived - 1, kReceived);
    const std::string context = lines.empty() ? "" : lines.back();
    EXPECT_EQ(lifetime, freshness ? freshness->lifetime : -1) << context;
    EXPECT_EQ(staleIfError, freshness ? freshness->staleIfError : -1) << context;
  }
}

TEST(FreshnessTest, AgeAndReuse) {
  const std::vector<std::string> stale = {"Cache-Control: max-age=100, stale-if-error=50"};
  const std::vector<std::string> aged = {"Cache-Control: max-age=100", "Age: 90, 5"};
  const std::string maxAge = "Cache-Control: max-age=100";
  // clang-format off
  const std::tuple<std::vector<std::string>, int64_t, int64_t, bool, bool> rows[] = {
      // header lines, seconds the request took, seconds since the response, fresh, stale allowed
      {stale, 2, 0, true, true}, {stale, 2, 97, true, true}, {stale, 2, 98, false, true},
      {stale, 2, 147, false, true}, {stale, 2, 148, false, false},
      {stale, 2, -1, false, false}, {stale, -1, 0, false, false},  // a clock set back
      {aged, 2, 7, true, false}, {aged, 2, 8, false, false}, {{maxAge, "Age: x"}, 0, 99, true, false},
      {{maxAge, "Date: Sun, 09 Sep 2001 01:45:05 GMT"}, 0, 4, true, false},  // 95 s before
      {{maxAge, "Date: Sun, 09 Sep 2001 01:45:05 GMT"}, 0, 5, false, false},
      {{maxAge, "Date: Sun, 09 Sep 2001 01:48:20 GMT"}, 0, 99, true, false}};  // ahead: no age
  // clang-format on
  for (const auto& [lines, wait, elapsed, fresh, staleAllowed] : rows) {
    const Freshness record = *freshnessOf(responseOf(lines), kReceived - wait, kReceived);
    EXPECT_EQ(fresh, allows(record, Reuse::kFresh, kReceived + elapsed)) << lines.back() << elapsed;
    EXPECT_EQ(staleAllowed, allows(record, Reuse::kStaleIfError, kReceived + elapsed))
        << lines.back() << elapsed;
  }
}

}  // namespace

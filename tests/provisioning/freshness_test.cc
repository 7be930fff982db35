#include "provisioning/freshness.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kReceived = 1'000'000'000;  // Sun, 09 Sep 2001 01:46:40 GMT

TEST(FreshnessTest, WhatAResponseAllows) {
  // clang-format off
  const std::tuple<std::vector<std::string>, int64_t, int64_t> rows[] = {
      // header lines; the lifetime and stale-if-error recorded, -1 for none (no record: -1, -1)
      {{}, -1, -1}, {{"Cache-Control: public"}, -1, -1}, {{"Cache-Control: max-age=0"}, -1, -1},
      {{"Cache-Control: MAX-AGE=3600"}, 3600, -1}, {{"Cache-Control: max-age=\"60\""}, 60, -1},
      {{"Cache-Control: max-age=3600, stale-if-error=604800"}, 3600, 604800},
      {{"Cache-Control: max-age=60", "Cache-Control: stale-if-error=5"}, 60, 5},
      {{"Cache-Control: max-age=0, stale-if-error=5"}, 0, 5},
      {{"Cache-Control: max-age=60, no-cache"}, -1, -1}, {{"Cache-Control: no-store, max-age=60"}, -1, -1},
      {{"Cache-Control: x=\"a, no-cache\", max-age=60"}, 60, -1},  // inside quotes: no directive
      {{"Cache-Control: max-age=60, must-revalidate, stale-if-error=5"}, 60, -1},
      {{"Cache-Control: max-age=60, max-age=120"}, -1, -1}, {{"Cache-Control: max-age=1h"}, -1, -1},
      {{"Cache-Control: max-age=99999999999999999999"}, int64_t{1} << 31, -1},
      {{"Date: Sun, 09 Sep 2001 01:46:40 GMT", "Expires: Sun, 09 Sep 2001 02:46:40 GMT"}, 3600, -1},
      {{"Date: Sun, 09 Sep 2001 00:46:40 GMT", "Expires: Sun, 09 Sep 2001 02:46:40 GMT"}, 7200, -1},
      {{"Expires: Sunday, 09-Sep-01 02:46:40 GMT"}, 3600, -1}, {{"Expires: Sun Sep  9 02:46:40 2001"}, 3600, -1},
      {{"Expires: Sun, 09 Sep 2001 01:46:39 GMT"}, -1, -1}, {{"Expires: 0"}, -1, -1},
      {{"Expires: Sun, 09 Sep 2001 02:46:40 GMT", "Cache-Control: max-age=10"}, 10, -1},
      {{"Expires: Sun, 09 Sep 2001 02:46:40 GMT", "Expires: Sun, 09 Sep 2001 03:46:40 GMT"}, -1, -1}};
  // clang-format on
  for (const auto& [lines, lifetime, staleIfError] : rows) {
    fw::HttpResponse response;
    for (const std::string& line : lines) {
      fw::addHeaderLine(response, line + "\r\n");
    }
    const std::optional<Freshness> freshness = freshnessOf(response, kReceived - 1, kReceived);
    const std::string context = lines.empty() ? "" : lines.back();
    EXPECT_EQ(lifetime, freshness ? freshness->lifetime : -1) << context;
    EXPECT_EQ(staleIfError, freshness ? freshness->staleIfError : -1) << context;
  }
}

TEST(FreshnessTest, AgeAtReceipt) {
  // clang-format off
  const std::pair<const char*, int64_t> rows[] = {
      {"", 0}, {"Age: 100", 100}, {"Age: 100, 5", 100}, {"Age: x", 0}, {"Age: -5", 0},
      {"Date: Sun, 09 Sep 2001 00:46:40 GMT", 3600}, {"Date: Sun, 09 Sep 2001 02:46:40 GMT", 0}};
  // clang-format on
  for (const auto& [line, age] : rows) {
    fw::HttpResponse response;
    fw::addHeaderLine(response, "Cache-Control: max-age=9999\r\n");
    fw::addHeaderLine(response, std::string(line) + "\r\n");
    EXPECT_EQ(age, currentAge(*freshnessOf(response, kReceived, kReceived), kReceived)) << line;
  }
}

// Received at kReceived, asked `wait` seconds before.
Freshness received(int64_t wait, int64_t date, int64_t age, int64_t lifetime,
                   int64_t staleIfError) {
  Freshness freshness;
  freshness.requestTime = kReceived - wait;
  freshness.responseTime = kReceived;
  freshness.date = date;
  freshness.age = age;
  freshness.lifetime = lifetime;
  freshness.staleIfError = staleIfError;
  return freshness;
}

TEST(FreshnessTest, AgeAndReuse) {
  const Freshness base = received(2, kReceived, 0, 100, 50);
  // clang-format off
  const std::tuple<Freshness, int64_t, bool, bool> rows[] = {
      // the record, seconds since the response, fresh, stale-if-error allowed
      {base, 0, true, true}, {base, 97, true, true}, {base, 98, false, true}, {base, 147, false, true},
      {base, 148, false, false}, {base, -1, false, false},  // the clock set back
      {received(2, kReceived, 90, 100, -1), 7, true, false},        // Age counts, with the wait
      {received(0, kReceived - 95, 0, 100, -1), 4, true, false},    // and so does an old Date
      {received(0, kReceived - 95, 0, 100, -1), 5, false, false},
      {received(-1, kReceived, 0, 100, 50), 0, false, false}};       // asked after the response
  // clang-format on
  for (const auto& [record, elapsed, fresh, stale] : rows) {
    EXPECT_EQ(fresh, allows(record, Reuse::kFresh, kReceived + elapsed)) << elapsed;
    EXPECT_EQ(stale, allows(record, Reuse::kStaleIfError, kReceived + elapsed)) << elapsed;
  }
}

TEST(FreshnessTest, RecordText) {
  const Freshness record{"https://h/a b.zip", "W/\"x\"", "K1", 1, 2, 3, 4, 5, -1};
  const std::string text = toRecordText(record);
  EXPECT_EQ(record, fromRecordText(text));
  Freshness newline;
  newline.url = "https://h/\n";
  EXPECT_EQ("", toRecordText(newline));
  for (const std::string& bad : {text.substr(0, text.size() - 1), text + "x=1\n", std::string(""),
                                 text.substr(text.find('\n') + 1), "x" + text}) {
    EXPECT_FALSE(fromRecordText(bad)) << bad;
  }
  for (const char* number : {"=-2\n", "=1099511627777\n", "=5x\n", "=\n"}) {
    EXPECT_FALSE(fromRecordText(text.substr(0, text.rfind('=')) + number)) << number;
  }
}

}  // namespace

#include "endpoint/request_log.h"

#include <gtest/gtest.h>

// Tests that a log line always splits at its blanks and at " status=", whatever was asked.
TEST(RequestLogTest, FormatLogLine) {
  EXPECT_EQ("GET /a.zip inm=- status=200 body_bytes=5\n",
            endpoint::formatLogLine({"GET", "/a.zip", "", 200, 5}));
  EXPECT_EQ("GET /a%20b%25%01 inm=\"x\" 5% y%0A status=304 body_bytes=0\n",
            endpoint::formatLogLine({"GET", "/a b%\x01", "\"x\" 5% y\n", 304, 0}));
}

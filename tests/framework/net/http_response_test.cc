#include "framework/net/http_response.h"

#include <gtest/gtest.h>

using fw::HttpResponse;

TEST(HttpResponseTest, FieldsAreFoundWithoutRegardToCase) {
  HttpResponse response;
  fw::addHeaderLine(response, "HTTP/1.1 200 OK\r\n");
  fw::addHeaderLine(response, "ETag: \"abc\"\r\n");
  fw::addHeaderLine(response, "content-length:  42 \r\n");
  fw::addHeaderLine(response, "\r\n");
  EXPECT_EQ("\"abc\"", response.valueForHeaderField("etag"));
  EXPECT_EQ("\"abc\"", response.valueForHeaderField("ETAG"));
  EXPECT_EQ("42", response.valueForHeaderField("Content-Length"));
  EXPECT_FALSE(response.valueForHeaderField("Location"));
}

// Tests that only the final response's fields count: a redirect's ETag is not the archive's.
TEST(HttpResponseTest, AStatusLineStartsAFreshResponse) {
  HttpResponse response;
  fw::addHeaderLine(response, "HTTP/1.1 302 Found\r\n");
  fw::addHeaderLine(response, "ETag: \"redirect\"\r\n");
  fw::addHeaderLine(response, "Location: /next\r\n");
  fw::addHeaderLine(response, "\r\n");
  fw::addHeaderLine(response, "HTTP/2 200\r\n");
  fw::addHeaderLine(response, "etag: W/\"final\"\r\n");
  EXPECT_EQ("W/\"final\"", response.valueForHeaderField("ETag"));
  EXPECT_FALSE(response.valueForHeaderField("Location"));
}

TEST(HttpResponseTest, RepeatedFieldsAreJoinedAndFoldedLinesContinue) {
  HttpResponse response;
  fw::addHeaderLine(response, "HTTP/1.1 200 OK\r\n");
  fw::addHeaderLine(response, "X-A: one\r\n");
  fw::addHeaderLine(response, "x-a: two\r\n");
  fw::addHeaderLine(response, "X-B: start\r\n");
  fw::addHeaderLine(response, "\t continued \r\n");
  fw::addHeaderLine(response, "no colon here\r\n");
  fw::addHeaderLine(response, ": no name\r\n");
  EXPECT_EQ("one, two", response.valueForHeaderField("X-A"));
  EXPECT_EQ("start continued", response.valueForHeaderField("X-B"));
  EXPECT_EQ(3u, response.headerFields.size());
}

TEST(HttpResponseTest, InnerBytesOfAValueAreKept) {
  HttpResponse response;
  fw::addHeaderLine(response, "ETag: \"a b\tc\"\r\n");
  EXPECT_EQ("\"a b\tc\"", response.valueForHeaderField("ETag"));
}

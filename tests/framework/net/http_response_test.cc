#include "framework/net/http_response.h"

#include <gtest/gtest.h>

TEST(HttpResponseTest, ValueForHeaderField) {
  // clang-format off
  const std::tuple<std::vector<std::string>, const char*, std::optional<std::string>> rows[] = {
      // header lines after "HTTP/1.1 200 OK" (CR LF added), the field asked for, its value
      {{"Az-Zone: v"}, "aZ-zONE", "v"}, {{"ETag: \"abc\""}, "XTag", std::nullopt},
      {{"ETag: \"abc\""}, "ETaX", std::nullopt}, {{"ETag: \"abc\""}, "ETa", std::nullopt},
      {{"ETag: \t \"a b\tc\" "}, "ETag", "\"a b\tc\""},  // outer blanks go, inner ones stay
      {{"Location: /x", "", "HTTP/2 200", "ETag: \"b\""}, "Location", std::nullopt},  // a redirect's
      {{"ETag: \"a\"", "", "HTTP/2 200", "etag: W/\"b\""}, "ETag", "W/\"b\""},
      {{"X-A: one", "x-a: two"}, "X-A", "one, two"}, {{"X-B: start", "\t continued "}, "X-B", "start continued"},
      {{": no name", "no colon"}, "", std::nullopt}};
  // clang-format on
  for (const auto& [lines, field, value] : rows) {
    fw::HttpResponse response;
    for (const std::string& line : lines) {
      fw::addHeaderLine(response, line.starts_with("HTTP/") ? line : line + "\r\n");
    }
    EXPECT_EQ(value, response.valueForHeaderField(field)) << lines[0] << " / " << field;
  }
}

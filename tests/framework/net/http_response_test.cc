#include "framework/net/http_response.h"

#include <gtest/gtest.h>

namespace {

struct Lookup {
  const char* name;
  std::vector<std::string> lines;  // header lines after "HTTP/1.1 200 OK", without CR LF
  const char* field;
  std::optional<std::string> value;
};

// The row's name, for the test's name in CTest.
void PrintTo(const Lookup& lookup, std::ostream* out) {
  *out << lookup.name;
}

// clang-format off
const Lookup kLookups[] = {
    {"AnyCase", {"Az-Zone: v"}, "aZ-zONE", "v"},
    {"FirstByteCounts", {"ETag: \"abc\""}, "XTag", std::nullopt},
    {"LastByteCounts", {"ETag: \"abc\""}, "ETaX", std::nullopt},
    {"NoPrefixMatch", {"ETag: \"abc\""}, "ETa", std::nullopt},
    {"OuterBlanksGoInnerStay", {"ETag: \t \"a b\tc\" "}, "ETag", "\"a b\tc\""},
    {"StatusLineDropsEarlierFields", {"Location: /x", "", "HTTP/2 200", "ETag: \"b\""}, "Location", std::nullopt},
    {"FinalResponseCounts", {"ETag: \"a\"", "", "HTTP/2 200", "etag: W/\"b\""}, "ETag", "W/\"b\""},
    {"RepeatedFieldsJoined", {"X-A: one", "x-a: two"}, "X-A", "one, two"},
    {"FoldedLineContinuesTheLast", {"X-A: a", "X-B: start", "\t continued "}, "X-B", "start continued"},
    {"LineWithoutANameIsNoField", {": no name", "no colon"}, "", std::nullopt},
};
// clang-format on

class HttpResponseTest : public testing::TestWithParam<Lookup> {};

TEST_P(HttpResponseTest, ValueForHeaderField) {
  fw::HttpResponse response;
  fw::addHeaderLine(response, "HTTP/1.1 200 OK\r\n");
  for (const std::string& line : GetParam().lines) {
    fw::addHeaderLine(response, line + "\r\n");
  }
  fw::addHeaderLine(response, "\r\n");
  EXPECT_EQ(GetParam().value, response.valueForHeaderField(GetParam().field));
}

INSTANTIATE_TEST_SUITE_P(Lines, HttpResponseTest, testing::ValuesIn(kLookups),
                         [](const testing::TestParamInfo<Lookup>& row) { return row.param.name; });

}  // namespace

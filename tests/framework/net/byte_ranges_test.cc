#include "framework/net/byte_ranges.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

// A web server's answer, as it came, to "Range: bytes=0-9,20-29" for a file of 200 bytes.
const std::string kBody =
    "\r\n--00000000000000000001\r\nContent-Type: text/plain\r\nContent-Range: bytes 0-9/200\r\n"
    "\r\n0001020304\r\n--00000000000000000001\r\nContent-Type: text/plain\r\n"
    "Content-Range: bytes 20-29/200\r\n\r\n1011121314\r\n--00000000000000000001--\r\n";

// The body's parts laid out in a file of 30 bytes ('.' where nothing came), or the parser's
// reason to refuse it, fed in the pieces that `cuts` make.
std::string parse(const std::string& body, std::vector<size_t> cuts) {
  std::string file(30, '.'), error;
  fw::ByterangesParser parser("00000000000000000001", [&](uint64_t offset, std::string_view data) {
    file.replace(offset, data.size(), data);
  });
  cuts.push_back(body.size());
  for (size_t from = 0, i = 0; i < cuts.size(); from = cuts[i++]) {
    if (!parser.feed(std::string_view(body).substr(from, cuts[i] - from), &error)) {
      return error;
    }
  }
  return parser.finish(&error) ? file : error;
}

std::string patched(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(ByteRangesTest, RangeFieldAndBoundary) {
  EXPECT_EQ("bytes=0-99,200-299", fw::rangeHeaderValue({{0, 99}, {200, 299}}));
  const std::pair<const char*, std::optional<std::string>> rows[] = {
      // clang-format off
      {"multipart/byteranges; boundary=00000000000000000001", "00000000000000000001"},
      {R"(Multipart/ByteRanges;charset=x ; BOUNDARY="a b;\"c")", R"(a b;"c)"},
      {"multipart/byteranges; boundary=", std::nullopt}, {"multipart/mixed; boundary=a", std::nullopt},
      {"multipart/byteranges; boundary=\"a", std::nullopt}, {"multipart/byteranges", std::nullopt},
      {"multipart/byteranges; boundary=a b", std::nullopt}};
  // clang-format on
  for (const auto& [value, boundary] : rows) {
    EXPECT_EQ(boundary, fw::byterangesBoundary(value)) << value;
  }
}

// That body split at every two places, and bodies that are not what they say.
TEST(ByteRangesTest, MultipartBodyInAnyPieces) {
  const std::string file = "0001020304..........1011121314";
  for (size_t i = 0; i <= kBody.size(); ++i) {
    for (size_t j = i; j <= kBody.size(); ++j) {
      ASSERT_EQ(file, parse(kBody, {i, j})) << i << " " << j;
    }
  }
  const std::string headers = "Content-Type: text/plain\r\nContent-Range: bytes 20-29/200\r\n";
  const std::pair<std::string, std::string> rows[] = {
      // clang-format off
      {"preamble\r\n" + kBody + "epilogue --00000000000000000001\r\n", file},
      {patched(kBody, "--\r\n", "--"), file}, {patched(kBody, "0304", "03045"), "not as long as"},
      {patched(kBody, "0304", "030"), "not as long as"},
      {patched(kBody, "Range: bytes 0", "Ranges: bytes 0"), "without a Content-Range"},
      {patched(kBody, "-9/200", "-9/201"), "different complete lengths"},
      {patched(kBody, headers, headers + headers), "two Content-Range"},
      {patched(kBody, headers, std::string(20000, 'x') + ": y\r\n" + headers), "too long"},
      {patched(kBody, "--\r\n", "--x\r\n"), "other bytes"}, {patched(kBody, "--\r\n", ""), "ended before"},
      {kBody.substr(0, 100), "ended before"}, {"--00000000000000000001--\r\n", "without parts"},
      {patched(kBody, "0-9/200", "0-18446744073709551615/*"), "malformed"}};
  // clang-format on
  for (const auto& [body, result] : rows) {
    std::vector<size_t> everyByte(body.size());
    std::iota(everyByte.begin(), everyByte.end(), 0);
    for (const std::vector<size_t>& cuts : {std::vector<size_t>{}, everyByte}) {
      const std::string parsed = parse(body, cuts);
      EXPECT_NE(std::string::npos, parsed.find(result)) << body << " -> " << parsed;
    }
  }
}

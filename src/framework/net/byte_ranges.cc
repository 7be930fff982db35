#include "framework/net/byte_ranges.h"

#include <charconv>

namespace fw {

namespace {

// Reads the decimal number at the start of `text` up to `end`; none for no digits, a sign or an
// overflow.
std::optional<uint64_t> number(std::string_view& text, char end) {
  const size_t stop = end == '\0' ? text.size() : text.find(end);
  if (stop == 0 || stop == std::string_view::npos) {
    return std::nullopt;
  }
  uint64_t value = 0;
  const auto [rest, error] = std::from_chars(text.data(), text.data() + stop, value);
  if (error != std::errc() || rest != text.data() + stop) {
    return std::nullopt;
  }
  text.remove_prefix(stop == text.size() ? stop : stop + 1);
  return value;
}

}  // namespace

std::optional<ContentRange> parseContentRange(std::string_view value) {
  if (!value.starts_with("bytes ")) {
    return std::nullopt;
  }
  value.remove_prefix(6);
  ContentRange range;
  if (value.starts_with("*/")) {
    value.remove_prefix(2);
    range.complete = number(value, '\0');
    return range.complete ? std::optional(range) : std::nullopt;
  }
  const std::optional<uint64_t> first = number(value, '-');
  const std::optional<uint64_t> last = first ? number(value, '/') : std::nullopt;
  if (!last || *last < *first) {
    return std::nullopt;
  }
  range = {true, *first, *last, std::nullopt};
  if (value != "*") {
    range.complete = number(value, '\0');
    if (!range.complete || *range.complete <= *last) {
      return std::nullopt;
    }
  }
  return range;
}

}  // namespace fw

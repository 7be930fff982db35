#include "framework/ui/text_columns.h"

#include <algorithm>
#include <iterator>

namespace fw {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// The main blocks of combining marks, joiners and variation selectors.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xE0100, 0xE01EF}};

// East Asian wide and full-width characters, and the emoji blocks that terminals draw wide.
constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},  {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},  {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};

template <size_t N>
bool within(const Range (&ranges)[N], char32_t code) {
  return std::any_of(std::begin(ranges), std::end(ranges), [code](const Range& range) {
    return range.first <= code && code <= range.last;
  });
}

// The length of the character at the start of `text` (not empty), with its code point in
// `code`; 1 and no code point for a byte that begins no valid sequence.
size_t decode(std::string_view text, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[0]);
  code = 0;
  size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 1;
  }
  if (text.size() < length) {
    return 1;
  }
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) {
      return 1;
    }
    value = (value << 6) | (next & 0x3F);
  }
  code = value;
  return length;
}

size_t columnsOf(char32_t code) {
  if (within(kZeroWidth, code)) {
    return 0;
  }
  return within(kWide, code) ? 2 : 1;
}

}  // namespace

std::string cutToColumns(std::string_view text, size_t columns) {
  size_t used = 0;
  size_t end = 0;
  while (end < text.size()) {
    char32_t code = 0;
    const size_t length = decode(text.substr(end), code);
    used += columnsOf(code);
    if (used > columns) {
      break;
    }
    end += length;
  }
  return std::string(text.substr(0, end));
}

}  // namespace fw

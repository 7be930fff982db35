#include "download/named_blanks.h"

std::string fillBlanks(std::string_view text,
                       std::initializer_list<std::pair<std::string_view, std::string>> values) {
  std::string out;
  for (size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{')) {
    const size_t close = text.find('}', open);
    if (close == std::string_view::npos) {
      break;
    }
    out += text.substr(0, open);
    const std::string_view name = text.substr(open + 1, close - open - 1);
    for (const auto& [key, value] : values) {
      if (key == name) {
        out += value;
      }
    }
    text.remove_prefix(close + 1);
  }
  return out += text;
}

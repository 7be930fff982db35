#include "endpoint/if_none_match.h"

namespace endpoint {

bool ifNoneMatchMatches(std::string_view field, std::string_view tag) {
  size_t pos = 0;
  while (pos < field.size()) {
    const char c = field[pos];
    if (c == ' ' || c == '\t' || c == ',') {
      ++pos;
      continue;
    }
    if (c == '*') {
      return true;
    }
    if (field.substr(pos, 2) == "W/") {
      pos += 2;
    }
    if (pos < field.size() && field[pos] == '"') {
      // Tags hold no quotes, so the next quote closes this one even when it has commas.
      const size_t close = field.find('"', pos + 1);
      if (close == std::string_view::npos) {
        return false;
      }
      if (field.substr(pos, close + 1 - pos) == tag) {
        return true;
      }
      pos = close + 1;
    } else {
      pos = field.find(',', pos);
    }
  }
  return false;
}

}  // namespace endpoint

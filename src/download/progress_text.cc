#include "download/progress_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

// A text with a singular and a plural form; English takes the singular for 1 alone.
struct Plural {
  const char* one;
  const char* other;
};

const Plural kBytes = {"{n} byte", "{n} bytes"};
// Decimal units, each a thousand times the one before, as the desktop counts sizes.
const char* const kUnits[] = {"{n}\u00a0kB", "{n}\u00a0MB", "{n}\u00a0GB",
                              "{n}\u00a0TB", "{n}\u00a0PB", "{n}\u00a0EB"};
const char* const kOf = "{received} of {expected}";
const Plural kSecondsLeft = {"{received} of {expected}, about {n} second left",
                             "{received} of {expected}, about {n} seconds left"};
const Plural kMinutesLeft = {"{received} of {expected}, about {n} minute left",
                             "{received} of {expected}, about {n} minutes left"};
const Plural kHoursLeft = {"{received} of {expected}, about {n} hour left",
                           "{received} of {expected}, about {n} hours left"};

const char* pick(const Plural& text, long long n) {
  return n == 1 ? text.one : text.other;
}

// The template with each "{name}" replaced by its value.
std::string fill(std::string_view text,
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

}  // namespace

std::string sizeText(uint64_t bytes) {
  if (bytes < 1000) {
    return fill(pick(kBytes, static_cast<long long>(bytes)), {{"n", std::to_string(bytes)}});
  }
  size_t unit = 0;
  uint64_t factor = 1000;
  while (unit + 1 < std::size(kUnits) && bytes / 1000 >= factor) {
    factor *= 1000;
    ++unit;
  }
  char number[32];
  (void)std::snprintf(number, sizeof number, "%.1f",
                      static_cast<double>(bytes) / static_cast<double>(factor));
  return fill(kUnits[unit], {{"n", number}});
}

std::string progressText(int64_t received, int64_t expected, std::optional<double> secondsLeft) {
  std::string got = sizeText(static_cast<uint64_t>(std::max<int64_t>(received, 0)));
  if (expected < 0) {
    return got;
  }
  const std::string of = sizeText(static_cast<uint64_t>(expected));
  if (!secondsLeft) {
    return fill(kOf, {{"received", got}, {"expected", of}});
  }
  // A rate of a byte now and then leaves years: past a million hours it is all the same.
  const long long seconds = std::max(1LL, std::llround(std::clamp(*secondsLeft, 0.0, 4e9)));
  const long long minutes = std::llround(static_cast<double>(seconds) / 60);
  const auto [text, n] =
      seconds < 60   ? std::pair{kSecondsLeft, seconds}
      : minutes < 60 ? std::pair{kMinutesLeft, minutes}
                     : std::pair{kHoursLeft, std::llround(static_cast<double>(seconds) / 3600)};
  return fill(pick(text, n), {{"received", got}, {"expected", of}, {"n", std::to_string(n)}});
}

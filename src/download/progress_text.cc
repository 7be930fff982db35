#include "download/progress_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

#include "download/named_blanks.h"
#include "framework/os/message_locale.h"

namespace {

using fw::translatable;
using fw::translatablePlural;

const fw::PluralMessage kBytes = translatablePlural("{n} byte", "{n} bytes");
// Decimal units, each a thousand times the one before, as the desktop counts sizes; their names
// are the same in every language, as GLib writes them.
const char* const kUnits[] = {"{n}\u00a0kB", "{n}\u00a0MB", "{n}\u00a0GB",
                              "{n}\u00a0TB", "{n}\u00a0PB", "{n}\u00a0EB"};
const char* const kOf = translatable("{received} of {expected}");
const fw::PluralMessage kSecondsLeft =
    translatablePlural("{received} of {expected}, about {n} second left",
                       "{received} of {expected}, about {n} seconds left");
const fw::PluralMessage kMinutesLeft =
    translatablePlural("{received} of {expected}, about {n} minute left",
                       "{received} of {expected}, about {n} minutes left");
const fw::PluralMessage kHoursLeft =
    translatablePlural("{received} of {expected}, about {n} hour left",
                       "{received} of {expected}, about {n} hours left");

const char* pick(const fw::PluralMessage& text, long long n) {
  return fw::localizedPlural(text, static_cast<unsigned long>(n));
}

}  // namespace

std::string sizeText(uint64_t bytes) {
  if (bytes < 1000) {
    return fillBlanks(pick(kBytes, static_cast<long long>(bytes)), {{"n", std::to_string(bytes)}});
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
  std::string shown = number;
  if (const size_t dot = shown.find('.'); dot != std::string::npos) {
    shown.replace(dot, 1, fw::decimalMark());
  }
  return fillBlanks(kUnits[unit], {{"n", shown}});
}

std::string progressText(int64_t received, int64_t expected, std::optional<double> secondsLeft) {
  std::string got = sizeText(static_cast<uint64_t>(std::max<int64_t>(received, 0)));
  if (expected < 0) {
    return got;
  }
  const std::string of = sizeText(static_cast<uint64_t>(expected));
  if (!secondsLeft) {
    return fillBlanks(fw::localized(kOf), {{"received", got}, {"expected", of}});
  }
  // A rate of a byte now and then leaves years: past a million hours it is all the same.
  const long long seconds = std::max(1LL, std::llround(std::clamp(*secondsLeft, 0.0, 4e9)));
  const long long minutes = std::llround(static_cast<double>(seconds) / 60);
  const auto [text, n] =
      seconds < 60   ? std::pair{kSecondsLeft, seconds}
      : minutes < 60 ? std::pair{kMinutesLeft, minutes}
                     : std::pair{kHoursLeft, std::llround(static_cast<double>(seconds) / 3600)};
  return fillBlanks(pick(text, n), {{"received", got}, {"expected", of}, {"n", std::to_string(n)}});
}

#include "framework/net/http_date.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

namespace fw {

namespace {

constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int monthIndex(const char* name) {
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (std::strcmp(name, kMonths[i]) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// Days from 1970-01-01 to the civil date, proleptic Gregorian: no time zone, no table.
int64_t daysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The date's words: separators (blanks, commas, dashes, colons) dropped.
std::vector<std::string_view> wordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    const size_t begin = text.find_first_not_of(" ,-:", at);
    if (begin == std::string_view::npos) {
      break;
    }
    at = std::min(text.find_first_of(" ,-:", begin), text.size());
    words.push_back(text.substr(begin, at - begin));
  }
  return words;
}

// 1 to `maxDigits` decimal digits; -1 for anything else.
int numberOf(std::string_view word, size_t maxDigits) {
  int value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return word.size() <= maxDigits && error == std::errc() && end == word.data() + word.size() &&
                 value >= 0
             ? value
             : -1;
}

}  // namespace

std::optional<int64_t> parseHttpDate(std::string_view text, int64_t now) {
  const std::vector<std::string_view> words = wordsOf(text);
  // "Sun 06 Nov 1994 08 49 37 GMT" (also with "Sunday" and "94"), or "Sun Nov 6 08 49 37 1994".
  const bool asctime = words.size() == 7;
  if (!asctime && (words.size() != 8 || words[7] != "GMT")) {
    return std::nullopt;
  }
  const std::string_view yearWord = asctime ? words[6] : words[3];
  const int day = numberOf(asctime ? words[2] : words[1], 2);
  const int month = monthIndex(std::string(asctime ? words[1] : words[2]).c_str()) + 1;
  const size_t time = asctime ? 3 : 4;
  const int hour = numberOf(words[time], 2);
  const int minute = numberOf(words[time + 1], 2);
  const int second = numberOf(words[time + 2], 2);
  int64_t year = numberOf(yearWord, 4);
  if (month == 0 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 60 || (yearWord.size() == 4 && year < 1970) ||
      (yearWord.size() != 4 && yearWord.size() != 2)) {
    return std::nullopt;
  }
  if (yearWord.size() == 2) {
    // The latest such year not more than 50 years ahead.
    const int64_t thisYear = 1970 + now / 31556952;  // the mean Gregorian year
    year += thisYear - thisYear % 100;
    if (year > thisYear + 50) {
      year -= 100;
    }
  }
  return ((daysFromCivil(year, month, day) * 24 + hour) * 60 + minute) * 60 + second;
}

}  // namespace fw

#include "framework/net/http_date.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

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

struct Fields {
  int day = 0;
  char month[4] = {};
  int year = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Each form, read whole: %n is only reached when everything before it matched.
bool scan(const std::string& text, Fields* f, bool* twoDigitYear) {
  int end = 0;
  const int length = static_cast<int>(text.size());
  char weekday[10] = {};
  if (std::sscanf(text.c_str(), "%3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d GMT%n", weekday,
                  &f->day, f->month, &f->year, &f->hour, &f->minute, &f->second, &end) == 7 &&
      end == length) {
    return true;
  }
  if (std::sscanf(text.c_str(), "%9[A-Za-z], %2d-%3[A-Za-z]-%2d %2d:%2d:%2d GMT%n", weekday,
                  &f->day, f->month, &f->year, &f->hour, &f->minute, &f->second, &end) == 7 &&
      end == length) {
    *twoDigitYear = true;
    return true;
  }
  return std::sscanf(text.c_str(), "%3[A-Za-z] %3[A-Za-z] %2d %2d:%2d:%2d %4d%n", weekday, f->month,
                     &f->day, &f->hour, &f->minute, &f->second, &f->year, &end) == 7 &&
         end == length;
}

}  // namespace

std::optional<int64_t> parseHttpDate(std::string_view text, int64_t now) {
  Fields f;
  bool twoDigitYear = false;
  if (!scan(std::string(text), &f, &twoDigitYear)) {
    return std::nullopt;
  }
  const int month = monthIndex(f.month) + 1;
  if (month == 0 || f.day < 1 || f.day > 31 || f.hour > 23 || f.minute > 59 || f.second > 60 ||
      f.hour < 0 || f.minute < 0 || f.second < 0 || f.year < 0) {
    return std::nullopt;
  }
  int64_t year = f.year;
  if (twoDigitYear) {
    const int64_t thisYear = 1970 + now / 31556952;  // the mean Gregorian year
    year += thisYear - thisYear % 100;
    if (year > thisYear + 50) {
      year -= 100;
    }
  }
  return ((daysFromCivil(year, month, f.day) * 24 + f.hour) * 60 + f.minute) * 60 + f.second;
}

}  // namespace fw

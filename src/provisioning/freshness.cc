#include "provisioning/freshness.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "framework/net/http_date.h"

namespace {

// Delta-seconds beyond what a cache can represent count as 2^31.
constexpr int64_t kMaxDeltaSeconds = int64_t{1} << 31;

struct Directive {
  std::string name;  // lower case
  std::optional<std::string> value;
};

std::string_view trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) {
    return {};
  }
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::string lowered(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return lower;
}

// The directives of a Cache-Control value: "name" or "name=token" or "name=\"quoted\"", comma
// separated; a comma inside quotes belongs to the value.
std::vector<Directive> directivesOf(std::string_view field) {
  std::vector<Directive> directives;
  size_t at = 0;
  while (at < field.size()) {
    const size_t end = std::min(field.find_first_of(",=", at), field.size());
    Directive directive{lowered(trimmed(field.substr(at, end - at))), std::nullopt};
    at = end;
    if (at < field.size() && field[at] == '=') {
      ++at;
      while (at < field.size() && (field[at] == ' ' || field[at] == '\t')) {
        ++at;
      }
      std::string value;
      if (at < field.size() && field[at] == '"') {
        for (++at; at < field.size() && field[at] != '"'; ++at) {
          if (field[at] == '\\' && at + 1 < field.size()) {
            ++at;
          }
          value += field[at];
        }
        at = std::min(field.find(',', at), field.size());
      } else {
        const size_t valueEnd = std::min(field.find(',', at), field.size());
        value = trimmed(field.substr(at, valueEnd - at));
        at = valueEnd;
      }
      directive.value = std::move(value);
    }
    ++at;  // the comma
    if (!directive.name.empty()) {
      directives.push_back(std::move(directive));
    }
  }
  return directives;
}

// A non-negative decimal integer, capped; none for anything else.
std::optional<int64_t> deltaSeconds(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value < kMaxDeltaSeconds
             ? value
             : kMaxDeltaSeconds;
}

// The directive's one value; none when it is absent or without a value. Present more than once,
// or with a value that is no delta-seconds, it counts as 0: the response is then stale, as a
// cache may take it.
std::optional<int64_t> secondsOf(const std::vector<Directive>& directives, std::string_view name) {
  std::optional<int64_t> seconds;
  int count = 0;
  for (const Directive& directive : directives) {
    if (directive.name == name) {
      ++count;
      seconds = directive.value ? deltaSeconds(*directive.value).value_or(0) : 0;
    }
  }
  return count > 1 ? 0 : seconds;
}

bool has(const std::vector<Directive>& directives, std::string_view name) {
  return std::any_of(directives.begin(), directives.end(),
                     [&](const Directive& directive) { return directive.name == name; });
}

}  // namespace

std::optional<Freshness> freshnessOf(const fw::HttpResponse& response, int64_t requestTime,
                                     int64_t responseTime) {
  const std::vector<Directive> directives =
      directivesOf(response.valueForHeaderField("Cache-Control").value_or(""));
  // RFC 9111 5.2.2.4, 5.2.2.5: each use needs the server's word first.
  if (has(directives, "no-cache") || has(directives, "no-store")) {
    return std::nullopt;
  }
  Freshness freshness;
  freshness.requestTime = requestTime;
  freshness.responseTime = responseTime;
  // RFC 9110 6.6.1: without a usable Date, the time it was received stands for it.
  freshness.date =
      fw::parseHttpDate(response.valueForHeaderField("Date").value_or(""), responseTime)
          .value_or(responseTime);
  // RFC 9111 5.1: the first member of a list, an invalid value ignored.
  const std::string age = response.valueForHeaderField("Age").value_or("");
  freshness.age = deltaSeconds(trimmed(std::string_view(age).substr(0, age.find(',')))).value_or(0);
  // RFC 9111 4.2.1: max-age, else Expires minus Date; an invalid Expires is in the past (5.3).
  if (const std::optional<int64_t> maxAge = secondsOf(directives, "max-age")) {
    freshness.lifetime = *maxAge;
  } else if (const std::optional<std::string> expires = response.valueForHeaderField("Expires")) {
    const std::optional<int64_t> at = fw::parseHttpDate(*expires, responseTime);
    freshness.lifetime = at ? std::max<int64_t>(0, *at - freshness.date) : 0;
  }
  // RFC 5861 4, with RFC 9111 4.2.4: never stale where the server asked to be asked again.
  if (!has(directives, "must-revalidate") && !has(directives, "proxy-revalidate")) {
    freshness.staleIfError = secondsOf(directives, "stale-if-error").value_or(-1);
  }
  if (freshness.lifetime == 0 && freshness.staleIfError < 0) {
    return std::nullopt;
  }
  return freshness;
}

// RFC 9111 4.2.3.
int64_t currentAge(const Freshness& freshness, int64_t now) {
  const int64_t apparentAge = std::max<int64_t>(0, freshness.responseTime - freshness.date);
  const int64_t responseDelay = freshness.responseTime - freshness.requestTime;
  const int64_t correctedAgeValue = freshness.age + responseDelay;
  const int64_t correctedInitialAge = std::max(apparentAge, correctedAgeValue);
  const int64_t residentTime = now - freshness.responseTime;
  return correctedInitialAge + residentTime;
}

bool allows(const Freshness& freshness, Reuse reuse, int64_t now) {
  // A clock set back, now or at the request: the record's times say nothing about the age.
  if (now < freshness.responseTime || freshness.requestTime > freshness.responseTime) {
    return false;
  }
  const int64_t age = currentAge(freshness, now);
  if (reuse == Reuse::kFresh) {
    return freshness.lifetime > age;  // RFC 9111 4.2
  }
  return freshness.staleIfError >= 0 && freshness.lifetime + freshness.staleIfError > age;
}

namespace {

constexpr int64_t kMaxRecordedNumber = int64_t{1} << 40;

const char* const kFieldNames[] = {"url",  "etag", "signer",   "request-time",  "response-time",
                                   "date", "age",  "lifetime", "stale-if-error"};

}  // namespace

std::string toRecordText(const Freshness& freshness) {
  const std::string values[] = {freshness.url,
                                freshness.validationString,
                                freshness.signer,
                                std::to_string(freshness.requestTime),
                                std::to_string(freshness.responseTime),
                                std::to_string(freshness.date),
                                std::to_string(freshness.age),
                                std::to_string(freshness.lifetime),
                                std::to_string(freshness.staleIfError)};
  std::string text;
  for (size_t i = 0; i < std::size(values); ++i) {
    if (values[i].find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      return "";
    }
    text += std::string(kFieldNames[i]) + "=" + values[i] + "\n";
  }
  return text;
}

std::optional<Freshness> fromRecordText(std::string_view text) {
  Freshness freshness;
  std::string* const strings[] = {&freshness.url, &freshness.validationString, &freshness.signer};
  int64_t* const numbers[] = {&freshness.requestTime, &freshness.responseTime,
                              &freshness.date,        &freshness.age,
                              &freshness.lifetime,    &freshness.staleIfError};
  for (size_t i = 0; i < std::size(kFieldNames); ++i) {
    const std::string prefix = std::string(kFieldNames[i]) + "=";
    const size_t end = text.find('\n');
    if (end == std::string_view::npos || !text.starts_with(prefix)) {
      return std::nullopt;
    }
    const std::string_view value = text.substr(prefix.size(), end - prefix.size());
    text.remove_prefix(end + 1);
    if (i < std::size(strings)) {
      *strings[i] = value;
      continue;
    }
    int64_t* number = numbers[i - std::size(strings)];
    const auto [last, error] = std::from_chars(value.data(), value.data() + value.size(), *number);
    // Times within the next 30,000 years, ages within 2^31: no sum of them overflows.
    if (error != std::errc() || last != value.data() + value.size() || *number < -1 ||
        *number > kMaxRecordedNumber) {
      return std::nullopt;
    }
  }
  return text.empty() ? std::optional(freshness) : std::nullopt;
}

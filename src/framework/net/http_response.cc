#include "framework/net/http_response.h"

namespace fw {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

std::string_view trimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<std::string> HttpResponse::valueForHeaderField(std::string_view name) const {
  std::optional<std::string> value;
  for (const auto& [fieldName, fieldValue] : headerFields) {
    if (equalsIgnoringCase(fieldName, name)) {
      value = value ? *value + ", " + fieldValue : fieldValue;
    }
  }
  return value;
}

void addHeaderLine(HttpResponse& response, std::string_view line) {
  if (line.substr(0, 5) == "HTTP/") {
    response.headerFields.clear();
    return;
  }
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    if (!response.headerFields.empty()) {
      std::string& value = response.headerFields.back().second;
      value += ' ';
      value += trimBlanks(line);
    }
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) {
    return;  // the blank line that ends the header, or a line that is no field
  }
  response.headerFields.emplace_back(std::string(line.substr(0, colon)),
                                     std::string(trimBlanks(line.substr(colon + 1))));
}

}  // namespace fw

#include "framework/os/catalog_names.h"

#include <algorithm>

namespace fw {

namespace {

bool isC(std::string_view name) {
  return name == "C" || name == "POSIX";
}

bool isPlainName(std::string_view name) {
  return !name.empty() && name.front() != '.' && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == '@';
  });
}

// Adds the names of one entry, "ll[_CC][.codeset][@modifier]", in gettext's order.
void addNamesOf(std::string_view entry, std::vector<std::string>* names) {
  if (!isPlainName(entry)) {
    return;
  }
  const size_t at = entry.find('@');
  const std::string_view modifier = at == std::string_view::npos ? "" : entry.substr(at);
  entry = entry.substr(0, at);
  entry = entry.substr(0, entry.find('.'));
  const size_t underscore = entry.find('_');
  const std::string_view language = entry.substr(0, underscore);
  const std::string_view territory =
      underscore == std::string_view::npos ? "" : entry.substr(underscore);
  if (language.empty()) {
    return;
  }
  for (const std::string_view withModifier : {modifier, std::string_view()}) {
    for (const std::string_view withTerritory : {territory, std::string_view()}) {
      std::string name = std::string(language).append(withTerritory).append(withModifier);
      if (std::find(names->begin(), names->end(), name) == names->end()) {
        names->push_back(std::move(name));
      }
    }
  }
}

}  // namespace

std::vector<std::string> catalogNames(std::string_view locale, std::string_view languages) {
  std::vector<std::string> names;
  if (locale.empty() || isC(locale)) {
    return names;
  }
  std::string_view list = languages.empty() ? locale : languages;
  while (!list.empty()) {
    const size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    if (isC(entry)) {
      break;
    }
    addNamesOf(entry, &names);
    list = colon == std::string_view::npos ? "" : list.substr(colon + 1);
  }
  return names;
}

}  // namespace fw

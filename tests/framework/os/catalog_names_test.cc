#include "framework/os/catalog_names.h"

#include <gtest/gtest.h>

TEST(CatalogNamesTest, AreThoseThatGettextLooksFor) {
  // clang-format off
  const std::tuple<const char*, const char*, const char*> rows[] = {
      // the locale for messages, LANGUAGE; the names, most wanted first
      {"de_DE.UTF-8", "", "de_DE de"},
      {"sr_RS.UTF-8@latin", "", "sr_RS@latin sr@latin sr_RS sr"},
      {"pt_BR.UTF-8", "fr:de_AT:de", "fr de_AT de"},
      {"C", "fr", ""}, {"POSIX", "fr", ""},             // LANGUAGE ignored
      {"C.UTF-8", "fr", "fr"},                          // as glibc: only "C" itself ignores it
      {"de_DE.UTF-8", "ja:C:fr", "ja"},                 // "C" ends the list
      {"de_DE.UTF-8", "../x:/etc:.de:de$:zh_CN", "zh_CN zh"}};  // no other paths
  // clang-format on
  for (const auto& [locale, languages, expected] : rows) {
    std::string names;
    for (const std::string& name : fw::catalogNames(locale, languages)) {
      names += (names.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(expected, names) << locale << " " << languages;
  }
}

#ifndef SRC_DOWNLOAD_NAMED_BLANKS_H_
#define SRC_DOWNLOAD_NAMED_BLANKS_H_

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

/// `text` with each "{name}" in it replaced by the value of that name in `values` (by nothing
/// when it has none), so that a translation puts the blanks in the order of its own language.
std::string fillBlanks(std::string_view text,
                       std::initializer_list<std::pair<std::string_view, std::string>> values);

#endif  // SRC_DOWNLOAD_NAMED_BLANKS_H_

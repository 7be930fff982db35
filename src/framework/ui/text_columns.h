#ifndef SRC_FRAMEWORK_UI_TEXT_COLUMNS_H_
#define SRC_FRAMEWORK_UI_TEXT_COLUMNS_H_

#include <string>
#include <string_view>

namespace fw {

/// The longest beginning of the UTF-8 `text` that takes at most `columns` columns of a
/// terminal, never ending inside a character: a wide character (CJK, most emoji) takes two
/// columns, a combining mark none (it stays with the character before it), and a byte that
/// begins no valid character one, as a terminal shows it.
std::string cutToColumns(std::string_view text, size_t columns);

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_TEXT_COLUMNS_H_

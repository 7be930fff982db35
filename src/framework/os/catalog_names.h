#ifndef SRC_FRAMEWORK_OS_CATALOG_NAMES_H_
#define SRC_FRAMEWORK_OS_CATALOG_NAMES_H_

#include <string>
#include <string_view>
#include <vector>

namespace fw {

/// The names of the message catalogs that glibc's gettext looks for, most wanted first, for a
/// user whose locale for messages is named `locale` (the first of LC_ALL, LC_MESSAGES and LANG
/// that is set) and whose LANGUAGE is `languages`: LANGUAGE's colon-separated entries, unless
/// the locale is "C" or "POSIX" (where gettext ignores them), else the locale itself; an entry
/// "C" or "POSIX" ends the list. Each entry "ll_CC.codeset@modifier" gives, of those parts that
/// it has, "ll_CC@modifier", "ll@modifier", "ll_CC" and "ll" (catalogs are not named by their
/// character set). An entry that could name another path (a "/", a leading "."), or that holds
/// anything but letters, digits, "_", "-", "." and "@", gives none. Names come once each.
std::vector<std::string> catalogNames(std::string_view locale, std::string_view languages);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_CATALOG_NAMES_H_

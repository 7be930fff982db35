#ifndef SRC_FRAMEWORK_OS_MESSAGE_LOCALE_H_
#define SRC_FRAMEWORK_OS_MESSAGE_LOCALE_H_

#include <string>
#include <vector>

namespace fw {

// The program's own texts in its user's language, through glibc's gettext, while everything
// else stays as it is: the process's locale is never set, so that the system's own messages
// (strerror, the loader's) in log lines stay English and numbers are written and read as in C
// (a Turkish LC_CTYPE alone would make "I" and "i" differ for strcasecmp). Each lookup is made
// in the user's locale for messages, on the calling thread alone (uselocale).

/// Marks a message id for the catalogs (scripts/update-catalogs.sh extracts it); returns it as
/// it is, to be said in the user's language through localized() where it is shown.
constexpr const char* translatable(const char* msgid) {
  return msgid;
}

/// A message id with its plural.
struct PluralMessage {
  const char* one;
  const char* other;
};

/// Marks a message id and its plural for the catalogs, as translatable() marks one.
constexpr PluralMessage translatablePlural(const char* one, const char* other) {
  return {one, other};
}

/// The names of the catalogs that the user's locale asks for (catalogNames() of LC_ALL,
/// LC_MESSAGES or LANG and of LANGUAGE), most wanted first. None where no catalog could be used:
/// the locale for messages is not on the system, or the character set of the user's LC_CTYPE is
/// not UTF-8 (a terminal that could not show most translations gets the message ids).
std::vector<std::string> wantedCatalogNames();

/// From now on, localized() looks messages up in `domain`, whose catalogs lie in `directory`
/// as gettext lays them out (<directory>/<name>/LC_MESSAGES/<domain>.mo), in the user's locale
/// for messages, as UTF-8. The domain is not made the process's default (textdomain()). Main
/// thread, before any lookup.
void useTextDomain(const std::string& domain, const std::string& directory);

/// `msgid` in the user's language; the message id itself before useTextDomain(), in a locale
/// for messages that is "C", and where no catalog has it. Any thread.
const char* localized(const char* msgid);

/// The form of the message for the number `n` in the user's language; in English `one` for 1
/// alone, `other` for any other number.
const char* localizedPlural(const PluralMessage& message, unsigned long n);

/// The mark between a number's whole and its fraction: the user's (LC_NUMERIC, else LANG) once
/// useTextDomain() was called, "." before.
const std::string& decimalMark();

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_MESSAGE_LOCALE_H_

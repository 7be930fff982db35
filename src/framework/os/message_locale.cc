#include "framework/os/message_locale.h"

#include <langinfo.h>
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "framework/os/catalog_names.h"

namespace fw {

namespace {

// Set once, on the main thread, before the lookups that read them.
std::string textDomain;
locale_t messagesLocale = nullptr;
std::string decimal = ".";

// The value of the first of the variables that is set and not empty, as setlocale() takes it.
const char* firstSet(const char* first, const char* second, const char* third) {
  for (const char* name : {first, second, third}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      return value;
    }
  }
  return "C";
}

// The user's locale for one category, as setlocale(category, "") would make it; none when it is
// not on the system.
locale_t usersLocale(int mask) {
  return ::newlocale(mask, "", nullptr);
}

}  // namespace

std::vector<std::string> wantedCatalogNames() {
  const locale_t messages = usersLocale(LC_MESSAGES_MASK);
  const locale_t ctype = usersLocale(LC_CTYPE_MASK);
  const bool usable = messages != nullptr && ctype != nullptr &&
                      std::strcmp(::nl_langinfo_l(CODESET, ctype), "UTF-8") == 0;
  for (const locale_t made : {messages, ctype}) {
    if (made != nullptr) {
      ::freelocale(made);
    }
  }
  if (!usable) {
    return {};
  }
  const char* languages = std::getenv("LANGUAGE");
  return catalogNames(firstSet("LC_ALL", "LC_MESSAGES", "LANG"),
                      languages != nullptr ? languages : "");
}

void useTextDomain(const std::string& domain, const std::string& directory) {
  if (messagesLocale != nullptr || ::bindtextdomain(domain.c_str(), directory.c_str()) == nullptr ||
      ::bind_textdomain_codeset(domain.c_str(), "UTF-8") == nullptr) {
    return;
  }
  textDomain = domain;
  messagesLocale = usersLocale(LC_MESSAGES_MASK);
  if (const locale_t numeric = usersLocale(LC_NUMERIC_MASK)) {
    decimal = ::nl_langinfo_l(RADIXCHAR, numeric);
    ::freelocale(numeric);
  }
}

const char* localized(const char* msgid) {
  if (messagesLocale == nullptr) {
    return msgid;
  }
  const locale_t before = ::uselocale(messagesLocale);
  const char* text = ::dgettext(textDomain.c_str(), msgid);
  ::uselocale(before);
  return text;
}

const char* localizedPlural(const PluralMessage& message, unsigned long n) {
  if (messagesLocale == nullptr) {
    return n == 1 ? message.one : message.other;
  }
  const locale_t before = ::uselocale(messagesLocale);
  const char* text = ::dngettext(textDomain.c_str(), message.one, message.other, n);
  ::uselocale(before);
  return text;
}

const std::string& decimalMark() {
  return decimal;
}

}  // namespace fw

#ifndef SRC_DOWNLOAD_WINDOW_LANGUAGE_H_
#define SRC_DOWNLOAD_WINDOW_LANGUAGE_H_

#include <string>

/// The text domain of the window's words, and the name of their catalogs.
inline constexpr char kTextDomain[] = "bootstrap-installer";

/// Makes the window speak its user's language, as gettext chooses it (LANGUAGE, LC_ALL,
/// LC_MESSAGES, LANG), where the program carries that language or the bundle's resources bring
/// it (locale/<name>/LC_MESSAGES/bootstrap-installer.mo, which takes the place of a carried
/// catalog of the same name): the catalogs go into `runDirectory` (this run's own, removed with
/// it). An empty directory, a locale that asks for neither, and a character set that is not
/// UTF-8 leave the window in English. Log lines and the console's messages are never translated.
void speakUsersLanguage(const std::string& runDirectory);

#endif  // SRC_DOWNLOAD_WINDOW_LANGUAGE_H_

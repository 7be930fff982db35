#ifndef SRC_FRAMEWORK_OS_MESSAGE_CATALOGS_H_
#define SRC_FRAMEWORK_OS_MESSAGE_CATALOGS_H_

#include <span>
#include <string>
#include <string_view>

namespace fw {

/// A compiled message catalog (a gettext .mo file) that the program carries, and the name of
/// its language as gettext names catalogs ("de", "pt_BR").
struct CarriedCatalog {
  std::string_view name;
  std::string_view bytes;
};

/// Makes the program's texts (localized()) speak the user's language from catalogs of
/// `domain`: for each name that the user's locale asks for (wantedCatalogNames()), the
/// catalog that `ownCatalogs` holds as gettext lays them out
/// (<ownCatalogs>/<name>/LC_MESSAGES/<domain>.mo, a regular file of at most 1 MiB), else the
/// carried one of that name, is written into the new directory `directory` in the same layout,
/// for glibc's gettext to read, and the domain bound there (useTextDomain()). Returns whether
/// any catalog was written; when none was (the locale asks for no language that either has,
/// or a file cannot be written), nothing is bound and the texts stay the message ids.
bool useCatalogs(const std::string& directory, const std::string& domain,
                 std::span<const CarriedCatalog> carried, const std::string& ownCatalogs);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_MESSAGE_CATALOGS_H_

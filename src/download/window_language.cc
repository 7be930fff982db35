#include "download/window_language.h"

#include "download/carried_catalogs.h"
#include "framework/os/main_bundle.h"
#include "framework/os/message_catalogs.h"
#include "framework/os/paths.h"

void speakUsersLanguage(const std::string& runDirectory) {
  if (runDirectory.empty()) {
    return;
  }
  const auto bundle = fw::mainBundle();
  const std::string own = bundle && !bundle->resourcePath.empty()
                              ? fw::appendPathComponent(bundle->resourcePath, "locale")
                              : "";
  // A name of its own: an install agent unpacked into the run's directory may have a "locale".
  (void)fw::useCatalogs(fw::appendPathComponent(runDirectory, ".bootstrap-installer-locale"),
                        kTextDomain, carriedCatalogs(), own);
}

#ifndef SRC_DOWNLOAD_CARRIED_CATALOGS_H_
#define SRC_DOWNLOAD_CARRIED_CATALOGS_H_

#include <span>

#include "framework/os/message_catalogs.h"

/// The window's catalogs that the program carries: each po/<name>.po, compiled at build time
/// (po/CMakeLists.txt), in the order of their names.
std::span<const fw::CarriedCatalog> carriedCatalogs();

#endif  // SRC_DOWNLOAD_CARRIED_CATALOGS_H_

#include "framework/os/exchange_paths.h"

#include <fcntl.h>

#include <cstdio>

namespace fw {

bool exchangePaths(const std::string& first, const std::string& second) {
  return ::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace fw

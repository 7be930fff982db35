#include "framework/os/exchange_paths.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fw {

// The system call itself: glibc has only wrapped it since 2.28, and the kernel has had it since
// 3.15, so the program starts on systems whose glibc is older than the call.
bool exchangePaths(const std::string& first, const std::string& second) {
  return ::syscall(SYS_renameat2, AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(),
                   RENAME_EXCHANGE) == 0;
}

}  // namespace fw

#ifndef SRC_FRAMEWORK_OS_EXCHANGE_PATHS_H_
#define SRC_FRAMEWORK_OS_EXCHANGE_PATHS_H_

#include <string>

namespace fw {

/// Swaps what the two paths name in one atomic step (renameat2 with RENAME_EXCHANGE): nobody
/// ever finds either path missing or half-done. Both must exist, on one file system. Returns
/// false, with errno set, when the swap did not happen.
bool exchangePaths(const std::string& first, const std::string& second);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_EXCHANGE_PATHS_H_

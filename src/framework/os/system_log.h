#ifndef SRC_FRAMEWORK_OS_SYSTEM_LOG_H_
#define SRC_FRAMEWORK_OS_SYSTEM_LOG_H_

#include <string>

namespace fw {

/// Writes one line to the system log (syslog) and to standard error. Any thread.
void systemLog(const std::string& line);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_SYSTEM_LOG_H_

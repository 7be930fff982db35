#include "framework/os/system_log.h"

#include <syslog.h>

#include "framework/os/console.h"

namespace fw {

void systemLog(const std::string& line) {
  ::syslog(LOG_USER | LOG_NOTICE, "%s", line.c_str());
  console::writeLine(line);
}

}  // namespace fw

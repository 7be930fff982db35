#include "provisioning/launch.h"

#include <exception>

#include "platform/command_line.h"
#include "platform/shared_constants.h"

bool fireInstallAgentWithArgs(std::string installAgentPath, std::string installCommand,
                              std::string bundleLocation, int argc, const char** argv,
                              ReportFn report) {
  std::string tail = " -installbundle ";
  tail += smart_quote(bundleLocation + PATH_SEPARATOR + "bundle.zip");
  if (argc >= 2) {
    tail += " ";
    tail += argv2cmdline(argc, argv);
  }
  const std::string commandLine = installCommand + tail;
  int status = -1;
  try {
    status = call_system(installAgentPath, commandLine);
  } catch (const std::exception&) {
    report("Failed to start the install agent", true);
    return false;
  }
  return status == 0;
}

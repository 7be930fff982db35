#include "provisioning/launch.h"

#include <exception>

#include "framework/os/paths.h"
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
  // sh runs a directory, or anything else that is no file, as an empty script, and that must
  // not count as an install: it fails as a missing entry point does.
  if (!fw::regularFileExistsAtPath(installAgentPath)) {
    return false;
  }
  int status = -1;
  try {
    status = call_system(installAgentPath, commandLine);
  } catch (const std::exception&) {
    report("Failed to start the install agent", true);
    return false;
  }
  return status == 0;
}

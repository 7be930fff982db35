#include "provisioning/unpack.h"

#include <exception>

#include "framework/os/paths.h"
#include "platform/command_line.h"

bool unzipInstallAgent(std::string archive, std::string target, std::string tool, ReportFn report) {
  if (!fw::fileExistsAtPath(archive)) {
    return false;
  }
  const std::string commandLine =
      smart_quote(tool) + " -qq -o " + smart_quote(archive) + " -d " + smart_quote(target);
  int status = -1;
  try {
    status = call_tool(tool, commandLine);
  } catch (const std::exception&) {
    return false;
  }
  if (status != 0) {
    report("Failed to unzip the install agent", true);
    return false;
  }
  return true;
}

int extractPayloadToDir(std::string /*directory*/, bool /*flag*/, ReportFn /*report*/) {
  return 0;
}

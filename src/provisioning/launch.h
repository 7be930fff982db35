#ifndef SRC_PROVISIONING_LAUNCH_H_
#define SRC_PROVISIONING_LAUNCH_H_

#include <string>

#include "platform/report_fn.h"

/// Completes the install command ("sh " and the quoted entry point) with " -installbundle ",
/// the quoted path of "bundle.zip" in the bundle location and the user's arguments, runs it
/// through the shell and waits. True when the install agent ended with status 0; false at once,
/// without running anything, when the entry point is no regular file (a directory, say).
bool fireInstallAgentWithArgs(std::string installAgentPath, std::string installCommand,
                              std::string bundleLocation, int argc, const char** argv,
                              ReportFn report);

#endif  // SRC_PROVISIONING_LAUNCH_H_

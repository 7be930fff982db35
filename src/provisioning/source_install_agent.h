#ifndef SRC_PROVISIONING_SOURCE_INSTALL_AGENT_H_
#define SRC_PROVISIONING_SOURCE_INSTALL_AGENT_H_

#include <string>

#include "platform/report_fn.h"

/// Makes an install agent available and returns the path of its entry point, trying in order:
/// "InstallerForMac" shipped in the bundle (returned as it is), "InstallAgent.zip" shipped
/// there, the first "InstallAgent_*.zip" beside it (both unpacked into the working directory),
/// and a download into the per-user cache through the download window. Empty when no install
/// agent could be provided; the cause has been reported or shown by then.
std::string sourceInstallAgent(std::string workingDir, std::string endpointUrl, ReportFn report);

#endif  // SRC_PROVISIONING_SOURCE_INSTALL_AGENT_H_

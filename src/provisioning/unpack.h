#ifndef SRC_PROVISIONING_UNPACK_H_
#define SRC_PROVISIONING_UNPACK_H_

#include <string>

#include "platform/report_fn.h"

/// Unpacks the archive into the target directory with the given tool ("unzip"), overwriting
/// files of the same name without asking. Returns false without a message when the archive does
/// not exist, and after "Failed to unzip the install agent" when the tool fails.
bool unzipInstallAgent(std::string archive, std::string target, std::string tool, ReportFn report);

/// The payload step of the main flow: nothing to extract in this system; always 0.
int extractPayloadToDir(std::string directory, bool flag, ReportFn report);

#endif  // SRC_PROVISIONING_UNPACK_H_

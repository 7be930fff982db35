#ifndef SRC_BOOTSTRAP_MAIN_FLOW_H_
#define SRC_BOOTSTRAP_MAIN_FLOW_H_

#include "platform/report_fn.h"

/// Runs one bootstrap with the process's own arguments: obtains the install agent and runs it
/// with "-installbundle", the installation bundle's path and the user's arguments. Returns 0
/// when the install agent ran and ended with status 0, -1 on every failure (reported by then).
int bootstrapInstallerMainFunc(int argc, const char** argv, ReportFn report);

#endif  // SRC_BOOTSTRAP_MAIN_FLOW_H_

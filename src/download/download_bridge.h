#ifndef SRC_DOWNLOAD_DOWNLOAD_BRIDGE_H_
#define SRC_DOWNLOAD_DOWNLOAD_BRIDGE_H_

#include <string>

#include "platform/report_fn.h"

/// The URL of the install agent archive and the caller's destination path, handed from the
/// bridge to the download controller.
extern std::string downloadFrom;
extern std::string downloadTo;

/// The argument vector handed to the application runner; stays null.
extern char** EMPTY_ARGV;

/// Runs the download window for the URL (or for ZR_INTERNAL_INSTALL_AGENT_URL when that is
/// set, even to an empty value) and blocks until its event loop has ended. True when the
/// runner returned a non-zero status, which it does exactly when the window ended with a
/// current install agent in the cache. True at once, with no window and no request, when the
/// server's last response for this URL keeps the cached install agent fresh. Reports nothing.
bool downloadInstallAgentFromZR(const char* destination, const char* url, ReportFn report);

/// Runs the application runner with the download window and returns its status; both
/// arguments are ignored.
int CallNSApplicationMain(int argc, char** argv);

#endif  // SRC_DOWNLOAD_DOWNLOAD_BRIDGE_H_

#ifndef SRC_PROVISIONING_ENDPOINT_FILE_H_
#define SRC_PROVISIONING_ENDPOINT_FILE_H_

#include <string>

#include "platform/report_fn.h"

/// The endpoint URL: the first line of the file (up to the first line feed, nothing trimmed).
/// Empty when the file does not exist (nothing reported), cannot be opened ("Failed to open
/// install agent URL file" reported), or its first line is empty or longer than any URL that
/// could be fetched (8,000,000 bytes).
std::string readEndpointUrlFile(std::string path, ReportFn report);

#endif  // SRC_PROVISIONING_ENDPOINT_FILE_H_

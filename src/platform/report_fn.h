#ifndef SRC_PLATFORM_REPORT_FN_H_
#define SRC_PLATFORM_REPORT_FN_H_

#include <string>

/// The one way a step of the install flow tells the user something: one complete message per
/// call, without a line end. Every message of the install flow is an error (isError true).
using ReportFn = void (*)(const std::string& message, bool isError);

#endif  // SRC_PLATFORM_REPORT_FN_H_

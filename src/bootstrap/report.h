#ifndef SRC_BOOTSTRAP_REPORT_H_
#define SRC_BOOTSTRAP_REPORT_H_

#include <string>

/// Writes the message and a newline to standard error when isError is true, to standard output
/// otherwise, and flushes that stream. A failed write only sets the stream's error state.
void report_message_to_console(const std::string& message, bool isError);

/// The report function that main() hands to the main flow: forwards to the console.
void report_message_main(const std::string& message, bool isError);

#endif  // SRC_BOOTSTRAP_REPORT_H_

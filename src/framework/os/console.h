#ifndef SRC_FRAMEWORK_OS_CONSOLE_H_
#define SRC_FRAMEWORK_OS_CONSOLE_H_

#include <string>
#include <string_view>
#include <vector>

namespace fw {

/// Standard error as a terminal window is drawn on it: a "live region" of lines at the bottom
/// that is redrawn in place, and ordinary lines written above it. Thread-safe: log lines come
/// from any thread while the main thread redraws.
namespace console {

/// Writes one line (a newline is added) above the live region, which is drawn again below it.
void writeLine(std::string_view line);

/// Replaces the live region with these lines (with terminal colour codes, if any).
void setLiveRegion(const std::vector<std::string>& lines);

/// Erases the live region from the screen and forgets it: the cursor goes back to where the
/// region began, so later output follows the lines written above it.
void clearLiveRegion();

/// The terminal echoed `count` line ends that the user typed, each moving the cursor a line
/// further below the live region: the next drawing goes up that much further, over them.
void noteEchoedLines(size_t count);

}  // namespace console

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_CONSOLE_H_

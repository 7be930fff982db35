#include "framework/os/console.h"

#include <unistd.h>

#include <mutex>

namespace fw::console {

namespace {

// Standard error is one per process, and so is what is drawn on it.
std::mutex consoleMutex;
size_t liveLines = 0;                 // guarded by consoleMutex
std::vector<std::string> liveRegion;  // guarded by consoleMutex

void writeAll(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written <= 0) {
      return;  // nowhere to write: the message is lost, as with any failed write
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
}

// Moves to the first line of the live region and clears from there to the end of the screen.
std::string eraseLiveRegion() {
  if (liveLines == 0) {
    return "";
  }
  return "\r\033[" + std::to_string(liveLines) + "A\033[J";
}

std::string drawLiveRegion() {
  std::string text;
  for (const std::string& line : liveRegion) {
    text += line;
    text += "\033[K\n";
  }
  liveLines = liveRegion.size();
  return text;
}

}  // namespace

void writeLine(std::string_view line) {
  const std::lock_guard<std::mutex> lock(consoleMutex);
  std::string text = eraseLiveRegion();
  text += line;
  text += '\n';
  text += drawLiveRegion();
  writeAll(text);
}

void setLiveRegion(const std::vector<std::string>& lines) {
  const std::lock_guard<std::mutex> lock(consoleMutex);
  std::string text = eraseLiveRegion();
  liveRegion = lines;
  text += drawLiveRegion();
  writeAll(text);
}

void noteEchoedLines(size_t count) {
  const std::lock_guard<std::mutex> lock(consoleMutex);
  if (liveLines > 0) {
    liveLines += count;
  }
}

void clearLiveRegion() {
  const std::lock_guard<std::mutex> lock(consoleMutex);
  const std::string text = eraseLiveRegion();
  liveRegion.clear();
  liveLines = 0;
  writeAll(text);
}

}  // namespace fw::console

#ifndef SRC_FRAMEWORK_OS_FIRST_LINE_H_
#define SRC_FRAMEWORK_OS_FIRST_LINE_H_

#include <cstddef>
#include <string>

namespace fw {

struct FirstLine {
  bool opened = false;   // the path is a regular file that could be opened for reading
  bool tooLong = false;  // the line goes on beyond the limit: `text` is not the whole line
  std::string text;      // the bytes before the first line feed (or the end of the file)
};

enum class Links { kFollow, kRefuse };

/// The first line of the regular file at the path, reading no more than `maxLength` bytes of it
/// plus one, so that a huge or endless file costs nothing. Anything but a regular file (a FIFO,
/// a device, a directory; a symbolic link with Links::kRefuse) is not opened: opening never
/// blocks.
FirstLine readFirstLine(const std::string& path, size_t maxLength, Links links = Links::kFollow);

/// The whole of a small regular file, as readFirstLine() reads its first line: `text` is all of
/// it unless it is longer than `maxLength` (then `tooLong`).
FirstLine readSmallFile(const std::string& path, size_t maxLength, Links links = Links::kFollow);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_FIRST_LINE_H_

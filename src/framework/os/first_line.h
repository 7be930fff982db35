#ifndef SRC_FRAMEWORK_OS_FIRST_LINE_H_
#define SRC_FRAMEWORK_OS_FIRST_LINE_H_

#include <cstddef>
#include <string>

namespace fw {

struct FirstLine {
  bool opened = false;   // the file could be opened for reading
  bool tooLong = false;  // the line goes on beyond the limit: `text` is not the whole line
  std::string text;      // the bytes before the first line feed (or the end of the file)
};

/// The first line of a file, reading no more than `maxLength` bytes of it plus one, so that a
/// huge or endless file costs nothing.
FirstLine readFirstLine(const std::string& path, size_t maxLength);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_FIRST_LINE_H_

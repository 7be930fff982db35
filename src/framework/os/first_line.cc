#include "framework/os/first_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "framework/base/unique_fd.h"

namespace fw {

namespace {

// Reads from the start of the file up to the delimiter, if any, the end, or past `maxLength`.
FirstLine readUpTo(const std::string& path, size_t maxLength, Links links, bool toLineEnd) {
  FirstLine result;
  // Non-blocking: a FIFO put in the file's place must not hold the run.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::kRefuse ? O_NOFOLLOW : 0);
  const UniqueFd fd(::open(path.c_str(), flags));
  struct stat info {};
  if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return result;
  }
  result.opened = true;
  char buffer[4096];
  for (;;) {
    const size_t wanted = std::min(sizeof buffer, maxLength + 1 - result.text.size());
    const ssize_t got = ::read(fd.get(), buffer, wanted);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;  // the end of the file, or a read error: what was read stands
    }
    const char* end = toLineEnd ? std::find(buffer, buffer + got, '\n') : buffer + got;
    result.text.append(buffer, static_cast<size_t>(end - buffer));
    if (end != buffer + got) {
      break;  // the line feed ends the line
    }
    if (result.text.size() > maxLength) {
      result.tooLong = true;
      result.text.resize(maxLength);
      break;
    }
  }
  return result;
}

}  // namespace

FirstLine readFirstLine(const std::string& path, size_t maxLength, Links links) {
  return readUpTo(path, maxLength, links, true);
}

FirstLine readSmallFile(const std::string& path, size_t maxLength, Links links) {
  return readUpTo(path, maxLength, links, false);
}

}  // namespace fw

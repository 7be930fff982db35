#include "endpoint/request_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace endpoint {

namespace {

std::string escaped(const std::string& text, bool escapeBlanks) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || (escapeBlanks && (byte == ' ' || byte == '%'))) {
      out += '%';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0x0f];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string formatLogLine(const LoggedRequest& request) {
  const std::string inm =
      request.ifNoneMatch.empty() ? "-" : escaped(request.ifNoneMatch, /*escapeBlanks=*/false);
  return escaped(request.method, true) + " " + escaped(request.path, true) + " inm=" + inm +
         " status=" + std::to_string(request.status) +
         " body_bytes=" + std::to_string(request.bodyBytes) + "\n";
}

bool RequestLog::open(const std::string& path, std::string* error) {
  fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!fd_) {
    *error = "open(" + path + "): " + std::strerror(errno);
    return false;
  }
  return true;
}

void RequestLog::append(const LoggedRequest& request) {
  if (!fd_) {
    return;
  }
  const std::string line = formatLogLine(request);
  // A failed log write must not fail the response; the tests that read the log will notice.
  [[maybe_unused]] const ssize_t written = ::write(fd_.get(), line.data(), line.size());
}

}  // namespace endpoint

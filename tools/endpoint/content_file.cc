#include "endpoint/content_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace endpoint {

ContentFile::ContentFile(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ >= 0 && (::fstat(fd_, &info_) != 0 || !S_ISREG(info_.st_mode))) {
    close();
  }
}

ContentFile::~ContentFile() {
  close();
}

ContentFile::ContentFile(ContentFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), info_(other.info_) {}

ContentFile& ContentFile::operator=(ContentFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    info_ = other.info_;
  }
  return *this;
}

void ContentFile::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace endpoint

#include "endpoint/content_file.h"

#include <fcntl.h>

namespace endpoint {

ContentFile::ContentFile(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (fd_ && (::fstat(fd_.get(), &info_) != 0 || !S_ISREG(info_.st_mode))) {
    fd_.reset();
  }
}

}  // namespace endpoint

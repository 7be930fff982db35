#include "endpoint/content_tag.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace endpoint {

namespace {

constexpr size_t kReadSize = size_t{256} * 1024;
constexpr size_t kTagHexDigits = 32;

bool sameVersion(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// True when `hashedAt` lies more than a second after `changed`.
bool settledBefore(const timespec& changed, const timespec& hashedAt) {
  return hashedAt.tv_sec > changed.tv_sec + 1 ||
         (hashedAt.tv_sec == changed.tv_sec + 1 && hashedAt.tv_nsec > changed.tv_nsec);
}

std::string toHex(const unsigned char* bytes, size_t digits) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < digits; ++i) {
    const unsigned nibble = (i % 2 == 0) ? bytes[i / 2] >> 4 : bytes[i / 2] & 0x0f;
    hex += kDigits[nibble];
  }
  return hex;
}

}  // namespace

std::string computeContentTag(int fd) {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    return "";
  }
  std::vector<char> buffer(kReadSize);
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (got < 0) {
      return "";
    }
    if (got == 0) {
      break;
    }
    if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got)) != 1) {
      return "";
    }
    offset += got;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1 ||
      size_t{length} * 2 < kTagHexDigits) {
    return "";
  }
  return "\"" + toHex(digest, kTagHexDigits) + "\"";
}

std::string ContentTagCache::tagOf(int fd, const struct stat& info) {
  const std::pair<dev_t, ino_t> key(info.st_dev, info.st_ino);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = entries_.find(key);
    if (found != entries_.end() && sameVersion(found->second.info, info) &&
        settledBefore(info.st_mtim, found->second.hashedAt) &&
        settledBefore(info.st_ctim, found->second.hashedAt)) {
      return found->second.tag;
    }
  }
  Entry entry;
  entry.info = info;
  ::clock_gettime(CLOCK_REALTIME, &entry.hashedAt);
  entry.tag = computeContentTag(fd);
  if (entry.tag.empty()) {
    return "";
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  entries_[key] = entry;
  return entry.tag;
}

}  // namespace endpoint

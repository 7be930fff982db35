#include "provisioning/partial_download.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>

#include "framework/os/first_line.h"
#include "framework/os/remove_tree.h"
#include "platform/shared_constants.h"

namespace {

constexpr size_t kMaxRecordLength = size_t{16} * 1024;

std::string partialPath(const std::string& cacheDir) {
  return cacheDir + PATH_SEPARATOR + ".partial";
}

std::string recordPath(const std::string& cacheDir) {
  return cacheDir + PATH_SEPARATOR + ".partialrecord";
}

bool isRecordValue(const std::string& value) {
  return !value.empty() && value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The record's three lines, in order; none when it is not exactly that.
std::optional<PartialDownload> parseRecord(std::string_view text, std::string* url) {
  PartialDownload record;
  std::string length;
  for (auto [name, value] :
       {std::pair{"url=", url}, std::pair{"etag=", &record.etag}, std::pair{"length=", &length}}) {
    const size_t end = text.find('\n');
    if (!text.starts_with(name) || end == std::string_view::npos) {
      return std::nullopt;
    }
    *value = std::string(
        text.substr(std::string_view(name).size(), end - std::string_view(name).size()));
    text.remove_prefix(end + 1);
  }
  const auto [rest, error] =
      std::from_chars(length.data(), length.data() + length.size(), record.length);
  if (!text.empty() || error != std::errc() || rest != length.data() + length.size() ||
      record.length <= 0) {
    return std::nullopt;
  }
  return record;
}

}  // namespace

bool isStrongEtag(const std::string& etag) {
  return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' && isRecordValue(etag);
}

PartialDownload takePartialDownload(const std::string& cacheDir, const std::string& url,
                                    bool resume) {
  PartialDownload partial;
  partial.file.reset(::open(partialPath(cacheDir).c_str(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  struct stat info {};
  // Only the cache's own regular file, and only when no living run writes it.
  if (!partial.file || ::fstat(partial.file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_nlink != 1 || ::flock(partial.file.get(), LOCK_EX | LOCK_NB) != 0) {
    return {};
  }
  const fw::FirstLine text =
      fw::readSmallFile(recordPath(cacheDir), kMaxRecordLength, fw::Links::kRefuse);
  std::string recordedUrl;
  const std::optional<PartialDownload> record =
      text.tooLong ? std::nullopt : parseRecord(text.text, &recordedUrl);
  if (resume && record && recordedUrl == url && isStrongEtag(record->etag) && info.st_size > 0 &&
      info.st_size < record->length) {
    partial.keptBytes = info.st_size;
    partial.etag = record->etag;
    partial.length = record->length;
    return partial;
  }
  fw::removeItemAtPath(recordPath(cacheDir));
  if (::ftruncate(partial.file.get(), 0) != 0) {
    return {};
  }
  return partial;
}

void recordPartialDownload(const std::string& cacheDir, const std::string& url,
                           const std::optional<std::string>& etag, int64_t length) {
  // Written in place and never synced: a record that a crash tore does not parse, and one that a
  // power loss left behind its bytes costs only those bytes.
  const std::string path = recordPath(cacheDir);
  if (!etag || !isStrongEtag(*etag) || length <= 0 || !isRecordValue(url)) {
    fw::removeItemAtPath(path);
    return;
  }
  const std::string text =
      "url=" + url + "\netag=" + *etag + "\nlength=" + std::to_string(length) + "\n";
  const fw::UniqueFd fd(::open(
      path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!fd || ::write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    fw::removeItemAtPath(path);
  }
}

void dropPartialDownload(const std::string& cacheDir) {
  fw::removeItemAtPath(recordPath(cacheDir));
  fw::removeItemAtPath(partialPath(cacheDir));
}

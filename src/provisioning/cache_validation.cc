#include "provisioning/cache_validation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/base/unique_fd.h"
#include "framework/os/durable.h"
#include "framework/os/first_line.h"
#include "framework/os/remove_tree.h"
#include "platform/shared_constants.h"

namespace {

std::string validationFilePath(const std::string& directory) {
  return directory + PATH_SEPARATOR + VALIDATION_STRING_FILE;
}

std::string signerFilePath(const std::string& directory) {
  return directory + PATH_SEPARATOR + ".signedby";
}

// A record that was not replaced must not go on describing the cache: it goes, whatever stands
// there (a directory too, which would otherwise block every later write). Where the directory
// lets nothing go (read-only at that moment), the file is emptied: an empty record names nothing.
// True when the record names nothing any more.
bool dropRecord(const std::string& path) {
  if (fw::removeItemAtPath(path)) {
    return true;
  }
  const fw::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  // Only the cache's own file: never one that another name shares.
  return fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
         ::ftruncate(fd.get(), 0) == 0;
}

std::string freshnessFilePath(const std::string& directory) {
  return directory + PATH_SEPARATOR + ".freshness";
}

}  // namespace

// Only a regular file of the cache's own counts: a link could show another file's line (and send
// it to a server), and a FIFO would hold the run.
std::string readValidationString(const std::string& directory) {
  const fw::FirstLine line = fw::readFirstLine(validationFilePath(directory),
                                               kMaxValidationStringLength, fw::Links::kRefuse);
  return line.tooLong ? "" : line.text;
}

bool isCacheValid(std::string directory, std::string expected) {
  if (expected.empty()) {
    return false;
  }
  // A line longer than the expected string cannot equal it: no need to read it all.
  const fw::FirstLine line =
      fw::readFirstLine(validationFilePath(directory), expected.size(), fw::Links::kRefuse);
  return line.opened && !line.tooLong && line.text == expected;
}

void writeValidationString(std::string directory, std::string validationString) {
  if (directory.empty() || validationString.empty()) {
    return;
  }
  const std::string path = validationFilePath(directory);
  if (!fw::replaceFileDurably(path, validationString)) {
    // A string that could not be stored must not leave an older one to describe this cache.
    dropRecord(path);
  }
}

void removeValidationString(const std::string& directory) {
  dropRecord(validationFilePath(directory));
  // Bound to the string that it describes, the record would describe nothing now.
  dropRecord(freshnessFilePath(directory));
}

std::string readSigner(const std::string& directory) {
  const fw::FirstLine line = fw::readFirstLine(signerFilePath(directory), 64, fw::Links::kRefuse);
  return line.tooLong ? "" : line.text;
}

void writeSigner(const std::string& directory, const std::string& signer) {
  const std::string path = signerFilePath(directory);
  if (signer.empty() || !fw::replaceFileDurably(path, signer)) {
    dropRecord(path);
  }
}

std::string readFreshnessRecord(const std::string& directory) {
  const fw::FirstLine file = fw::readSmallFile(freshnessFilePath(directory),
                                               kMaxFreshnessRecordLength, fw::Links::kRefuse);
  return file.tooLong ? "" : file.text;
}

void writeFreshnessRecord(const std::string& directory, const std::string& record) {
  const std::string path = freshnessFilePath(directory);
  if (record.empty() || record.size() > kMaxFreshnessRecordLength ||
      !fw::replaceFileDurably(path, record)) {
    dropRecord(path);
  }
}

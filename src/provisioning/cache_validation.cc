#include "provisioning/cache_validation.h"

#include <unistd.h>

#include "framework/os/durable.h"
#include "framework/os/first_line.h"
#include "platform/shared_constants.h"

namespace {

std::string validationFilePath(const std::string& directory) {
  return directory + PATH_SEPARATOR + VALIDATION_STRING_FILE;
}

std::string signerFilePath(const std::string& directory) {
  return directory + PATH_SEPARATOR + ".signedby";
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
    ::unlink(path.c_str());
  }
}

void removeValidationString(const std::string& directory) {
  ::unlink(validationFilePath(directory).c_str());
}

std::string readSigner(const std::string& directory) {
  const fw::FirstLine line = fw::readFirstLine(signerFilePath(directory), 64, fw::Links::kRefuse);
  return line.tooLong ? "" : line.text;
}

void writeSigner(const std::string& directory, const std::string& signer) {
  const std::string path = signerFilePath(directory);
  if (signer.empty() || !fw::replaceFileDurably(path, signer)) {
    ::unlink(path.c_str());
  }
}

#include "provisioning/cache_validation.h"

#include <unistd.h>

#include <fstream>

#include "framework/os/first_line.h"
#include "framework/os/paths.h"
#include "platform/shared_constants.h"

namespace {

std::string validationFilePath(const std::string& directory) {
  return directory + PATH_SEPARATOR + VALIDATION_STRING_FILE;
}

}  // namespace

std::string readValidationString(const std::string& directory) {
  const std::string path = validationFilePath(directory);
  if (!fw::fileExistsAtPath(path)) {
    return "";
  }
  const fw::FirstLine line = fw::readFirstLine(path, kMaxValidationStringLength);
  return line.tooLong ? "" : line.text;
}

bool isCacheValid(std::string directory, std::string expected) {
  if (expected.empty()) {
    return false;
  }
  const std::string path = validationFilePath(directory);
  if (!fw::fileExistsAtPath(path)) {
    return false;
  }
  // A line longer than the expected string cannot equal it: no need to read it all.
  const fw::FirstLine line = fw::readFirstLine(path, expected.size());
  return line.opened && !line.tooLong && line.text == expected;
}

void writeValidationString(std::string directory, std::string validationString) {
  if (directory.empty() || validationString.empty()) {
    return;
  }
  const std::string path = validationFilePath(directory);
  std::ofstream file(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.is_open()) {
    return;
  }
  file.write(validationString.data(), static_cast<std::streamsize>(validationString.size()));
  file.close();
  if (file.fail()) {
    // A shortened string could one day equal another archive's: keep no file rather than that.
    ::unlink(path.c_str());
  }
}

void removeValidationString(const std::string& directory) {
  ::unlink(validationFilePath(directory).c_str());
}

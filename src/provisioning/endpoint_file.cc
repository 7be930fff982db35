#include "provisioning/endpoint_file.h"

#include "framework/os/first_line.h"
#include "framework/os/paths.h"

namespace {

// libcurl takes no longer URL.
constexpr size_t kMaxUrlLength = 8'000'000;

}  // namespace

std::string readEndpointUrlFile(std::string path, ReportFn report) {
  if (!fw::fileExistsAtPath(path)) {
    return "";
  }
  const fw::FirstLine line = fw::readFirstLine(path, kMaxUrlLength);
  if (!line.opened) {
    report("Failed to open install agent URL file", true);
    return "";
  }
  // A longer line is no URL that could be fetched; a part of it might be another one.
  return line.tooLong ? "" : line.text;
}

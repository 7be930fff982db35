#include "provisioning/endpoint_file.h"

#include <fstream>

#include "framework/paths.h"

std::string readEndpointUrlFile(std::string path, ReportFn report) {
  if (!fw::fileExistsAtPath(path)) {
    return "";
  }
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) {
    report("Failed to open install agent URL file", true);
    return "";
  }
  std::string url;
  std::getline(file, url);
  return url;
}

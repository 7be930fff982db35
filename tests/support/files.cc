#include "support/files.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "framework/os/remove_tree.h"
#include "platform/command_line.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace testing_support {

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (fs::temp_directory_path() / "bi_test_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  fw::removeItemAtPath(path_);  // gets through directories that a test locked
}

void writeFile(const std::string& path, const std::string& content, mode_t mode) {
  fs::create_directories(fs::path(path).parent_path());
  ::unlink(path.c_str());
  std::ofstream(path, std::ios::binary) << content;
  ::chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void makeZip(const std::string& archive, const std::map<std::string, std::string>& files) {
  const ScopedTempDir staging;
  std::string names;
  for (const auto& [name, content] : files) {
    writeFile(staging / name, content);
    names += " " + smart_quote(name);
  }
  ::unlink(archive.c_str());
  if (runShell("cd " + smart_quote(staging.path()) + " && zip -q -X " + smart_quote(archive) +
               names) != 0) {
    throw std::runtime_error("zip failed for " + archive);
  }
}

std::vector<std::string> splitNul(const std::string& records) {
  std::vector<std::string> fields;
  std::istringstream stream(records);
  for (std::string field; std::getline(stream, field, '\0');) {
    fields.push_back(field);
  }
  return fields;
}

}  // namespace testing_support

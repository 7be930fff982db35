#include "support/files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "framework/os/paths.h"
#include "framework/os/remove_tree.h"
#include "platform/command_line.h"
#include "platform/mkpath.h"
#include "support/process.h"

namespace testing_support {

void writeFile(const std::string& path, const std::string& content, mode_t mode) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
  file << content;
  file.close();
  ::chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) {
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void makeDirs(const std::string& path) {
  if (mkpath(path, 0755) != 0) {
    throw std::runtime_error("cannot create " + path);
  }
}

void copyFile(const std::string& from, const std::string& to, mode_t mode) {
  writeFile(to, readFile(from), mode);
}

void makeZip(const std::string& archive, const std::map<std::string, std::string>& files) {
  char pattern[] = "/tmp/bi_zip_XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  const std::string staging = pattern;
  std::string names;
  for (const auto& [name, content] : files) {
    const std::string path = staging + "/" + name;
    makeDirs(fw::deletingLastPathComponent(path));
    writeFile(path, content);
    names += " " + smart_quote(name);
  }
  ::unlink(archive.c_str());
  const int status =
      runProcess("/bin/sh", {"sh", "-c",
                             "cd " + smart_quote(staging) + " && zip -q -X " +
                                 smart_quote(archive) + names})
          .exitStatus;
  fw::removeItemAtPath(staging);
  if (status != 0) {
    throw std::runtime_error("zip failed for " + archive);
  }
}

std::vector<std::string> splitNul(const std::string& records) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end = records.find('\0'); end != std::string::npos; end = records.find('\0', start)) {
    fields.push_back(records.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

}  // namespace testing_support

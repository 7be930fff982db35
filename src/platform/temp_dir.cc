#include "platform/temp_dir.h"

#include <cstdlib>
#include <vector>

#include "framework/os/paths.h"
#include "framework/os/remove_tree.h"

TempDir::TempDir(std::string /*name*/) {
  const std::string pattern = fw::appendPathComponent(fw::temporaryDirectory(), "zrXXXXXX");
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) != nullptr) {
    dir.assign(buffer.data());
  }
}

TempDir::~TempDir() {
  if (!dir.empty()) {
    fw::removeItemAtPath(dir);
  }
}

std::string TempDir::getDir() const {
  return dir;
}

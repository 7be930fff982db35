#include "support/scoped_temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "framework/os/remove_tree.h"

namespace testing_support {

ScopedTempDir::ScopedTempDir() {
  // Tests point TMPDIR elsewhere at times; their own directories stay under /tmp.
  std::string pattern = "/tmp/bi_test_XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = buffer.data();
}

ScopedTempDir::~ScopedTempDir() {
  fw::removeItemAtPath(path_);
}

}  // namespace testing_support

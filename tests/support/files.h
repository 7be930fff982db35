#ifndef TESTS_SUPPORT_FILES_H_
#define TESTS_SUPPORT_FILES_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

/// A fresh directory for one test, removed with everything in it (whatever its permissions) at
/// the end of the scope.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  /// The path of a name inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Writes the file, creating the directories on its way.
void writeFile(const std::string& path, const std::string& content, mode_t mode = 0644);
/// The whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
/// Names in a directory (without "." and ".."), sorted; empty when it cannot be listed.
std::vector<std::string> listDir(const std::string& path);
/// Whether anything, a dangling symbolic link included, is at the path.
bool exists(const std::string& path);

/// Builds a zip archive holding the files (name -> content; names may hold "/") with the real
/// `zip` tool.
void makeZip(const std::string& archive, const std::map<std::string, std::string>& files);

/// Splits NUL-terminated records.
std::vector<std::string> splitNul(const std::string& records);

}  // namespace testing_support

#endif  // TESTS_SUPPORT_FILES_H_

#ifndef TESTS_SUPPORT_FILES_H_
#define TESTS_SUPPORT_FILES_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

void writeFile(const std::string& path, const std::string& content, mode_t mode = 0644);
/// The whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
bool exists(const std::string& path);
/// Names in a directory (without "." and ".."), sorted.
std::vector<std::string> listDir(const std::string& path);
void makeDirs(const std::string& path);
void copyFile(const std::string& from, const std::string& to, mode_t mode);

/// Builds a zip archive at `archive` holding the given files (name -> content) with the real
/// `zip` tool. Names may contain "/" for subdirectories.
void makeZip(const std::string& archive, const std::map<std::string, std::string>& files);

/// Splits NUL-terminated records.
std::vector<std::string> splitNul(const std::string& records);

}  // namespace testing_support

#endif  // TESTS_SUPPORT_FILES_H_

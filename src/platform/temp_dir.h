#ifndef SRC_PLATFORM_TEMP_DIR_H_
#define SRC_PLATFORM_TEMP_DIR_H_

#include <string>

/// A fresh directory "zr" plus six characters, mode 0700, directly under the user's
/// temporary-files directory, removed with all its contents when the object is destroyed.
class TempDir {
 public:
  /// The name is accepted for the caller's benefit only; it does not enter the path.
  explicit TempDir(std::string name);
  ~TempDir();

  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The directory's absolute path, or an empty string when it could not be created.
  std::string getDir() const;

 private:
  std::string dir;
};

#endif  // SRC_PLATFORM_TEMP_DIR_H_

#ifndef SRC_PLATFORM_TEMP_DIR_H_
#define SRC_PLATFORM_TEMP_DIR_H_

#include <string>

#include "framework/base/unique_fd.h"

/// A fresh directory "zr" plus six characters, mode 0700, directly under the user's
/// temporary-files directory, removed with all its contents when the object is destroyed. It is
/// marked and locked as this run's while the object lives, so that the next run removes it
/// when this one was killed before it could.
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
  fw::UniqueFd lock_;
};

#endif  // SRC_PLATFORM_TEMP_DIR_H_

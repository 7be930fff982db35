#ifndef SRC_FRAMEWORK_OS_EARLY_WRITEBACK_H_
#define SRC_FRAMEWORK_OS_EARLY_WRITEBACK_H_

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "framework/base/unique_fd.h"

namespace fw {

/// While it lives, starts the writing of the files of the tree at a path to the disk as they are
/// made there (by another program, say), on a thread of its own: every `pause` it looks for files
/// that have grown by a megabyte or more and hands their data to the disk without waiting. The sync
/// that makes the tree durable once it is complete (syncFileSystemOf) then finds little left to
/// write. Only a head start, never a promise: it makes nothing durable by itself, and writes
/// nothing outside the tree (other files of the file system, a download beside it, are left alone).
/// Links are never followed.
class EarlyWriteback {
 public:
  explicit EarlyWriteback(std::string path,
                          std::chrono::milliseconds pause = std::chrono::milliseconds(50));
  /// Stops, cutting short the pass in progress, if any.
  ~EarlyWriteback();
  EarlyWriteback(const EarlyWriteback&) = delete;
  EarlyWriteback& operator=(const EarlyWriteback&) = delete;

 private:
  UniqueFd stop_;  // an eventfd, written once to end the wait at once
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_EARLY_WRITEBACK_H_

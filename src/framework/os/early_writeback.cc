#include "framework/os/early_writeback.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

#include "framework/base/dir_stream.h"
#include "framework/base/unique_fd.h"

namespace fw {

namespace {

// How deep a pass goes: an archive's tree is far shallower, and a deeper one is left to the sync.
constexpr int kMaxDepth = 64;

// Less than this, new since the last hand-over, waits for the final sync: a small file's write
// costs as much to start early as to make at the end, and starting thousands of them slows the
// program that makes them.
constexpr off_t kMinHandOver = off_t{1} << 20;

// What a pass knows of each file (by inode): its size at the last pass, how much of it has been
// handed to the disk, and whether it has stopped growing (then it is not looked at again).
struct FileState {
  off_t seen = -1;
  off_t handed = 0;
  bool done = false;
};
using Handed = std::unordered_map<ino_t, FileState>;

// A directory of more entries than this is left to the final sync from then on: reading it while
// another program fills it holds that program up, and files that many are small ones.
constexpr int kMaxEntries = 64;
// One pass over the directory `fd`: each regular file that has grown by a megabyte or more since
// its last hand-over has its data handed to the disk (sync_file_range without waiting: the
// writing is started, nothing more); one that has not grown since the last pass is done. Whatever
// cannot be opened is left to the final sync. A pass ends as soon as `stopping` is set: what it
// has not reached is the final sync's.
void handOver(UniqueFd fd, int depth, Handed& handed, const std::atomic<bool>& stopping) {
  struct stat self {};
  if (!fd || ::fstat(fd.get(), &self) != 0 || handed[self.st_ino].done) {
    return;
  }
  DirStream dir(::fdopendir(fd.get()));
  if (!dir) {
    return;
  }
  const int dirFd = fd.release();  // the stream owns it now
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int entries = 0;
  while (const dirent* entry = stopping.load() ? nullptr : dir.next()) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    if (++entries > kMaxEntries) {
      handed[self.st_ino].done = true;
      return;
    }
    // What the file system does not type (DT_UNKNOWN) is left to the final sync.
    if (entry->d_type == DT_DIR && depth < kMaxDepth) {
      UniqueFd child(::openat(dirFd, name.c_str(), flags | O_DIRECTORY));
      if (child) {
        handOver(std::move(child), depth + 1, handed, stopping);
      }
      continue;
    }
    if (entry->d_type != DT_REG) {
      continue;
    }
    FileState& state = handed[entry->d_ino];
    if (state.done) {
      continue;
    }
    struct stat info {};
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    state.done = info.st_size == state.seen;
    state.seen = info.st_size;
    if (info.st_size - state.handed < kMinHandOver) {
      continue;
    }
    const UniqueFd file(::openat(dirFd, name.c_str(), flags));
    if (file && ::sync_file_range(file.get(), 0, 0, SYNC_FILE_RANGE_WRITE) == 0) {
      state.handed = info.st_size;
    }
  }
}

}  // namespace

EarlyWriteback::EarlyWriteback(std::string path, std::chrono::milliseconds pause)
    : stop_(::eventfd(0, EFD_CLOEXEC)) {
  thread_ = std::thread([this, path = std::move(path), pause] {
    Handed handed;
    // Waits in poll(), not on a condition variable: libstdc++ would wait in a glibc call newer
    // than the oldest glibc that the program runs on. Without an eventfd (-1 is ignored), the
    // stop is seen within one pause.
    pollfd stop{stop_.get(), POLLIN, 0};
    while (!stopping_.load()) {
      if (::poll(&stop, 1, static_cast<int>(pause.count())) != 0 || stopping_.load()) {
        continue;  // woken (or interrupted): the loop's condition decides
      }
      handOver(UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)), 0,
               handed, stopping_);
    }
  });
}

EarlyWriteback::~EarlyWriteback() {
  stopping_.store(true);
  const uint64_t one = 1;
  if (stop_) {
    (void)::write(stop_.get(), &one, sizeof one);
  }
  thread_.join();
}

}  // namespace fw

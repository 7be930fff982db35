#include "provisioning/cache_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "framework/base/unique_fd.h"

namespace cache_lock {

namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(50);

// The process's descriptor of the lock file, kept until the process ends: the lock must
// outlive every object of the run, up to the end of the install agent.
fw::UniqueFd& processFd() {
  static fw::UniqueFd fd;
  return fd;
}

int lockFd(const std::string& cacheDir) {
  fw::UniqueFd& fd = processFd();
  if (!fd) {
    fd.reset(::open((cacheDir + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  }
  return fd.get();
}

// True when held, or when there is no lock file to hold.
bool lock(const std::string& cacheDir, int operation) {
  const int fd = lockFd(cacheDir);
  if (fd < 0) {
    return true;
  }
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) {
      return errno != EWOULDBLOCK;
    }
  }
  return true;
}

}  // namespace

void lockShared(const std::string& cacheDir) {
  lock(cacheDir, LOCK_SH);
}

bool tryLockExclusive(const std::string& cacheDir) {
  return lock(cacheDir, LOCK_EX | LOCK_NB);
}

bool lockExclusive(const std::string& cacheDir, const std::function<bool()>& giveUp) {
  // Polled rather than waited for: a window closed meanwhile must not be kept waiting.
  while (!tryLockExclusive(cacheDir)) {
    if (giveUp()) {
      return false;
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
  return true;
}

void downgrade() {
  const int fd = processFd().get();
  if (fd >= 0) {
    ::flock(fd, LOCK_SH);
  }
}

void unlock() {
  const int fd = processFd().get();
  if (fd >= 0) {
    ::flock(fd, LOCK_UN);
  }
}

}  // namespace cache_lock

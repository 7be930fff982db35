// The static C++ runtime's std::random_device names arc4random, which glibc has only had since
// 2.36. A portable build links with --wrap=arc4random so that the name lands here, on getrandom
// (glibc 2.25), and the program still starts on older systems. Nothing of ours draws from it.

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the linker's name
extern "C" uint32_t __wrap_arc4random() {
  uint32_t value = 0;
  while (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
    if (errno != EINTR) {
      std::abort();  // as glibc's own does when the system has no randomness to give
    }
  }
  return value;
}

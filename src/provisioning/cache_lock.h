#ifndef SRC_PROVISIONING_CACHE_LOCK_H_
#define SRC_PROVISIONING_CACHE_LOCK_H_

#include <functional>
#include <string>

// Every run of the program for one user shares the per-user cache. One lock file, ".lock" in
// the cache directory, keeps them from pulling an install agent away from under each other:
//
// - a run that is going to start the cached install agent holds the lock shared from the
//   moment it has found the agent current until the process ends, so that nobody replaces or
//   removes the agent while it is checked, started and running;
// - a run that removes or replaces the install agent (and its validation string) holds the
//   lock exclusive while it does so.
//
// The lock belongs to this process (flock on a descriptor that children do not inherit), so it
// ends with the process however the process ends. One lock per process: the functions below act
// on it, from any one thread at a time.
namespace cache_lock {

// Each function answers whether the caller may go on. Where the lock file cannot be opened or
// created (an unwritable cache) there is nothing to hold and nobody to wait for: the caller goes
// on unprotected, and whatever it would write there fails on its own.

/// Holds the lock shared, waiting while another process holds it exclusive.
void lockShared(const std::string& cacheDir);

/// Holds the lock exclusive if nobody else holds it at all; false, at once, otherwise.
bool tryLockExclusive(const std::string& cacheDir);

/// Holds the lock exclusive, waiting for the others; asks `giveUp` every 50 ms meanwhile and
/// returns false, with nothing held, as soon as it says true.
bool lockExclusive(const std::string& cacheDir, const std::function<bool()>& giveUp);

/// Turns this process's hold into a shared one (a writer that has finished and now uses what it
/// wrote). Another writer may get in between, and can only leave a whole install agent.
void downgrade();

/// Lets the lock go.
void unlock();

}  // namespace cache_lock

#endif  // SRC_PROVISIONING_CACHE_LOCK_H_

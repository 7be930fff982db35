#ifndef SRC_FRAMEWORK_OS_TERMINATION_H_
#define SRC_FRAMEWORK_OS_TERMINATION_H_

namespace fw::termination {

// SIGINT, SIGTERM and SIGHUP ask the run to end, and it ends in order: the download window
// closes, a running child is asked to end too, nothing new is started, and the temporary
// directory is removed on the way out.

/// The process's signal handling, set up once, by main(): from now on those signals are
/// recorded instead of ending the process (a signal that the process was started to ignore, a
/// background job's SIGINT, stays ignored), and SIGXFSZ is ignored, so that a file-size limit
/// makes a write fail (a full disk, in effect) instead of killing the run half-way. Child
/// processes get the default handling back. Later calls do nothing.
void install();

/// The first termination signal that arrived, or 0.
int requested();

/// Whether this signal (SIGINT, SIGTERM or SIGHUP) has arrived.
bool received(int signal);

/// Readable from the first termination signal on, for ever (never drained); -1 before
/// install().
int fd();

}  // namespace fw::termination

#endif  // SRC_FRAMEWORK_OS_TERMINATION_H_

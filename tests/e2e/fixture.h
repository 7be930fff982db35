#ifndef TESTS_E2E_FIXTURE_H_
#define TESTS_E2E_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/servers.h"

namespace testing_support {

/// An install agent entry point that records what it received: its arguments, NUL-separated,
/// into $BI_RECORD, a line per run into $BI_RECORD.runs; it exits with $BI_AGENT_STATUS.
extern const char* const kRecordingAgent;

/// Standard error of a failed download: the transfer failed for `cause` at `url`; the server
/// answered `status` at the first data.
std::string transferFailure(const std::string& cause, const std::string& url = "{URL}");
std::string statusAtFirstData(const std::string& status);

enum class Layout { kFlat, kApp };

/// The program as a user meets it: a copy of the built program in an application bundle
/// (X.app/Contents/MacOS/setup, resources in Contents/Resources) or as a bare tool (dir/setup,
/// resources beside it), run with HOME, TMPDIR and the install agent's record in a sandbox of
/// its own, and an archive of the recording install agent ready to serve or ship. HOME and the
/// bundle's path hold blanks, quotes and shell syntax, which every command line must survive.
class ProgramTest : public testing::Test {
 protected:
  explicit ProgramTest(Layout layout = Layout::kFlat, const std::string& program = BI_PROGRAM_PATH);

  std::string cacheDir() const;  // ends in "/"
  std::string storedTag() const { return readFile(cacheDir() + ".validatestring"); }
  void setEndpointUrl(const std::string& url) const {
    writeFile(resources_ + "/installAgentURL.txt", url + "\n");
  }

  /// ca.pem, an authority of the sandbox's own, and server.pem (key server.key) for 127.0.0.1,
  /// signed by it, or by itself when not `byTheAuthority`.
  void makeCertificates(bool byTheAuthority = true) const;
  /// A wrapper for run() that trusts the authority ca.pem alone and hides the libraries that
  /// `hidden` matches, in a mount namespace of the run's own; empty where there can be none.
  std::vector<std::string> trustingTheAuthority(const std::string& hidden = "") const;
  /// The same wrapper with the system's own trust.
  std::vector<std::string> hidingLibraries(const std::string& hidden) const;
  /// A wrapper for run() in a network namespace of its own, where nftables drops every packet
  /// to the port of `url` (http://127.0.0.1:PORT/...), as a firewall or a dead link does.
  static std::vector<std::string> droppingPacketsTo(const std::string& url);

  /// The sandbox's variables (the override, test-mode, display, proxy, trust and desktop
  /// session variables removed, the locale C's in UTF-8) and `extra` on top.
  Env environment(const Env& extra = {}) const;
  /// Runs the program from the sandbox, through `wrapper` (prlimit, setpriv, ...) if given.
  ProcessResult run(const std::vector<std::string>& args = {}, const Env& extra = {},
                    const std::vector<std::string>& wrapper = {}) const;
  /// Starts it in the background, its standard output and error going to `name`.out and .err in
  /// the sandbox (startedErr() for the default name).
  std::unique_ptr<Child> start(const std::vector<std::string>& args = {}, const Env& extra = {},
                               bool ownSession = false, const std::string& name = "started") const;
  std::string startedErr() const { return readFile(root_ / "started.err"); }

  /// What the install agent received in its last run, and how often it ran.
  std::vector<std::string> recordedArgs() const;
  int agentRuns() const;
  /// What the install agent must receive for these user arguments.
  std::vector<std::string> expectedArgs(const std::vector<std::string>& userArgs = {}) const;

  /// A failed run as the user must find it: status 255, "Installation failed." the last line
  /// of standard error, the install agent not run, no temporary directory left.
  void expectFailedRun(int exitStatus, const std::string& err) const;
  /// The cache (below HOME, the sandbox's by default) holds no install agent, and no staging
  /// directory or validation string either.
  void expectNoInstallAgent(const std::string& home = "") const;
  /// The cache holds an install agent and the ETag that `server` sends now, and nothing else.
  void expectCurrentCache(const Endpoint& server, const std::string& home = "") const;

  ScopedTempDir root_;
  std::string home_;
  std::string tmpdir_;
  std::string record_;
  std::string executable_;
  std::string resources_;
  std::string directoryOfExecutable_;
  std::string archive_;  // the recording install agent, zipped
};

}  // namespace testing_support

#endif  // TESTS_E2E_FIXTURE_H_

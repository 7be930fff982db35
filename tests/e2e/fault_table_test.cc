// The README's table of what goes wrong, row for row, end to end: the built program in a bundle
// with nothing shipped, against bi-endpoint on 127.0.0.1, with real unzip and sh. Each row says
// what the server does and what else goes wrong, what the user sees on standard error, the exit
// status, and what the cache holds afterwards. Before each run the cache holds an out-of-date
// install agent, which a failure must leave whole or remove, never half.

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// What else goes wrong, beyond what the row's other fields say.
enum class Setup {
  kNone,
  kRefused,         // nothing listens at the URL
  kUntrustedTls,    // a self-signed certificate
  kTrustedTls,      // a certificate of an authority put in the system's trust store
  kReadOnlyHome,    // the run's user may not write to HOME
  kShippedArchive,  // InstallAgent.zip in the bundle: no download
};

// When a signal comes, if one does.
enum class Phase { kNone, kDownload, kUnpack, kAgentRuns };

enum class CacheAfter { kAsItWas, kNoAgent, kCurrent };

struct Fault {
  const char* name;
  std::vector<std::string> server = {};  // bi-endpoint's options
  std::vector<std::string> err = {};     // fnmatch patterns, {URL} for the URL; "..." any lines
  int exitStatus = 255;
  CacheAfter cache = CacheAfter::kNoAgent;
  Setup setup = Setup::kNone;
  std::map<std::string, std::string> archive = {{"install", kRecordingAgent}};
  std::string body = {};                  // served in place of the archive, if set
  Env env = {};                           // "{ROOT}" stands for the sandbox
  std::vector<std::string> wrapper = {};  // what the program is run through
  std::string path = "/agent.zip";
  Phase phase = Phase::kNone;
  int signal = 0;  // to the program; to its process group, as a terminal sends it, if negative
};

std::vector<std::string> transferFailure(const std::string& cause) {
  return {"Downloading", "Download failed! Error - " + cause + " {URL}",
          "Error during the download process.", "See the log in Console app for more information.",
          "Installation failed."};
}

std::vector<std::string> statusAtFirstData(const std::string& status) {
  return {"Downloading", "Download failed with http error code- " + status,
          "Download failed with error code " + status, "Installation failed."};
}

std::vector<std::string> statusAtTheEnd(const std::string& status) {
  return {"Downloading", "Download failed! Error code- " + status,
          "Download failed with error code " + status, "Installation failed."};
}

const std::vector<std::string> kInstalled = {"Downloading", "Initializing the installer"};
const std::vector<std::string> kUnpackFailed = {"Downloading", "Initializing the installer",
                                                "Failed to unzip the installer.",
                                                "Installation failed."};
// unzip's own words come before ours.
const std::vector<std::string> kUnzipFailed = {"Downloading",
                                               "Initializing the installer",
                                               "...",
                                               "Failed to unzip the install agent",
                                               "Failed to unzip the installer.",
                                               "Installation failed."};
const std::vector<std::string> kAgentFailed = {"Downloading", "Initializing the installer",
                                               "Application install was not successful.",
                                               "Installation failed."};
const std::vector<std::string> kFileSizeLimit = {"/usr/bin/prlimit", "--fsize=1000000"};
const std::map<std::string, std::string> kSlowAgent = {
    {"install", "printf '%s\\0' \"$@\" > \"$BI_RECORD\"\nexec sleep 30\n"}};

// clang-format off
const Fault kFaults[] = {
    {.name = "Status400AtFirstData", .server = {"--status", "400"}, .err = statusAtFirstData("400"), .cache = CacheAfter::kAsItWas},
    {.name = "Status401AtFirstData", .server = {"--status", "401"}, .err = statusAtFirstData("401"), .cache = CacheAfter::kAsItWas},
    {.name = "Status403AtFirstData", .server = {"--status", "403"}, .err = statusAtFirstData("403"), .cache = CacheAfter::kAsItWas},
    {.name = "Status404AtFirstData", .server = {"--status", "404"}, .err = statusAtFirstData("404"), .cache = CacheAfter::kAsItWas},
    {.name = "Status500AtFirstData", .server = {"--status", "500"}, .err = statusAtFirstData("500"), .cache = CacheAfter::kAsItWas},
    {.name = "Status400OnAnEmptyBody", .server = {"--status", "400", "--empty-body"}, .err = statusAtTheEnd("400"), .cache = CacheAfter::kAsItWas},
    {.name = "Status404OnAnEmptyBody", .server = {"--status", "404", "--empty-body"}, .err = statusAtTheEnd("404"), .cache = CacheAfter::kAsItWas},
    {.name = "BodyNotAZip", .err = kUnzipFailed, .body = "this is no zip archive"},
    {.name = "ZipWithoutTheEntryPoint", .err = kUnpackFailed, .archive = {{"setup.sh", "exit 0\n"}}},
    {.name = "ConnectionRefused", .err = transferFailure("*connect*"), .cache = CacheAfter::kAsItWas, .setup = Setup::kRefused},
    {.name = "CutMidBody", .server = {"--cut-after", "100"}, .err = transferFailure("*")},
    {.name = "BodyShorterThanAnnounced", .server = {"--announce-extra", "5000"}, .err = transferFailure("*")},
    {.name = "UntrustedCertificate", .err = transferFailure("*certificate*"), .cache = CacheAfter::kAsItWas, .setup = Setup::kUntrustedTls},
    {.name = "StalledServer", .server = {"--stall-after", "10"}, .err = transferFailure("no data received for 60 seconds")},
    {.name = "TrustedCertificate", .err = kInstalled, .exitStatus = 0, .cache = CacheAfter::kCurrent, .setup = Setup::kTrustedTls},
    {.name = "RedirectChainWithoutLength", .server = {"--no-length"}, .err = kInstalled, .exitStatus = 0, .cache = CacheAfter::kCurrent, .path = "/redirect/3/agent.zip"},
    {.name = "HomeReadOnly", .err = kUnpackFailed, .cache = CacheAfter::kAsItWas, .setup = Setup::kReadOnlyHome},
    {.name = "HomeIsAFile", .err = kUnpackFailed, .env = {{"HOME", "{ROOT}/agent.zip"}}},
    {.name = "HomeMissing", .err = kInstalled, .exitStatus = 0, .cache = CacheAfter::kCurrent, .env = {{"HOME", "{ROOT}/new/home"}}},
    {.name = "TmpdirMissing", .err = kInstalled, .exitStatus = 0, .cache = CacheAfter::kCurrent, .env = {{"TMPDIR", "{ROOT}/missing"}}},
    {.name = "DiskFullWhileStored", .err = transferFailure("cannot store the download: File too large"), .body = std::string(3'000'000, 'b'), .wrapper = kFileSizeLimit},
    {.name = "DiskFullWhileUnpacked", .err = kUnzipFailed, .archive = {{"install", kRecordingAgent}, {"zeros", std::string(5'000'000, '\0')}}, .wrapper = kFileSizeLimit},
    {.name = "SigintDuringTheDownload", .server = {"--rate", "2000"}, .err = {"Downloading", "Installation failed."}, .phase = Phase::kDownload, .signal = SIGINT},
    {.name = "SigtermDuringTheDownload", .server = {"--rate", "2000"}, .err = {"Downloading", "Installation failed."}, .phase = Phase::kDownload, .signal = SIGTERM},
    {.name = "SigintDuringTheUnpack", .err = {"Downloading", "Initializing the installer", "Installation failed."}, .phase = Phase::kUnpack, .signal = SIGINT},
    {.name = "SigtermDuringTheUnpack", .err = {"Downloading", "Initializing the installer", "Failed to unzip the install agent", "Installation failed."}, .phase = Phase::kUnpack, .signal = SIGTERM},
    {.name = "SigtermWhileAShippedArchiveIsUnpacked", .err = {"Failed to unzip the install agent", "Failed to initialize the install agent.", "Installation failed."}, .cache = CacheAfter::kAsItWas, .setup = Setup::kShippedArchive, .phase = Phase::kUnpack, .signal = SIGTERM},
    {.name = "SigintFromTheTerminalWhileTheAgentRuns", .err = kAgentFailed, .cache = CacheAfter::kCurrent, .archive = kSlowAgent, .phase = Phase::kAgentRuns, .signal = -SIGINT},
    {.name = "SigtermWhileTheAgentRuns", .err = kAgentFailed, .cache = CacheAfter::kCurrent, .archive = kSlowAgent, .phase = Phase::kAgentRuns, .signal = SIGTERM},
};
// clang-format on

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.name;
}

// Whether `lines` from `line` on match `patterns` from `pattern` on, "..." standing for any lines.
bool linesMatch(const std::vector<std::string>& lines, size_t line,
                const std::vector<std::string>& patterns, size_t pattern) {
  if (pattern == patterns.size()) {
    return line == lines.size();
  }
  if (patterns[pattern] == "...") {
    return linesMatch(lines, line, patterns, pattern + 1) ||
           (line < lines.size() && linesMatch(lines, line + 1, patterns, pattern));
  }
  return line < lines.size() && ::fnmatch(patterns[pattern].c_str(), lines[line].c_str(), 0) == 0 &&
         linesMatch(lines, line + 1, patterns, pattern + 1);
}

// The command name of the process's first child; empty while it has none.
std::string firstChildCommand(pid_t pid) {
  const std::string id = std::to_string(pid);
  std::istringstream children(readFile("/proc/" + id + "/task/" + id + "/children"));
  std::string child;
  std::string command = children >> child ? readFile("/proc/" + child + "/comm") : "";
  return command.substr(0, command.find('\n'));
}

class FaultTableTest : public ProgramTest, public testing::WithParamInterface<Fault> {
 protected:
  std::string withRoot(std::string text) const {
    return text.starts_with("{ROOT}") ? root_.path() + text.substr(6) : text;
  }

  // As root, the run drops to "nobody", so that permissions apply.
  void runUnprivileged(std::vector<std::string>& wrapper) const {
    if (::geteuid() == 0) {
      wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
      ::chmod(root_.path().c_str(), 0755);
      ::chmod(tmpdir_.c_str(), 0777);
    }
  }

  // Certificates for 127.0.0.1 signed by a test authority (ca.pem) or by themselves.
  void makeCertificates(bool byTheAuthority) const {
    ASSERT_EQ(0, runShell("cd " + root_.path() +
                          " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem"
                          " -days 1 -subj /CN=test-authority 2>/dev/null"
                          " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out cs.pem"
                          " -subj /CN=127.0.0.1 2>/dev/null && echo subjectAltName=IP:127.0.0.1 >x"
                          " && openssl x509 -req -in cs.pem -out server.pem -days 1 -extfile x" +
                          (byTheAuthority ? " -CA ca.pem -CAkey ca.key -CAcreateserial"
                                          : " -signkey server.key") +
                          " 2>/dev/null"));
  }

  void expectCache(CacheAfter expected, const std::string& home, const Server* server) const {
    const std::string cache = home + "/.velmora/app_installer_cache/V3107c/korvex/";
    if (expected == CacheAfter::kAsItWas) {
      EXPECT_EQ("old", readFile(cache + "installagent/old-only"));
      EXPECT_EQ("\"old\"", readFile(cache + ".validatestring"));
    } else if (expected == CacheAfter::kNoAgent) {
      EXPECT_FALSE(exists(cache + "installagent/install"));
      for (const std::string& entry : listDir(cache)) {
        EXPECT_TRUE(entry == "installagent" || entry == ".lock") << entry;
      }
    } else {
      EXPECT_TRUE(exists(cache + "installagent/install"));
      EXPECT_EQ(server->tag(), readFile(cache + ".validatestring"));
      EXPECT_EQ((std::vector<std::string>{".lock", ".validatestring", "installagent"}),
                listDir(cache));
    }
  }
};

}  // namespace

TEST_P(FaultTableTest, Row) {
  const Fault& fault = GetParam();
  // An out-of-date install agent, with a file that no archive of the test holds.
  writeFile(agentDir() + "/install", kRecordingAgent);
  writeFile(agentDir() + "/old-only", "old");
  writeFile(cacheDir() + ".validatestring", "\"old\"");
  makeZip(archive_, fault.archive);
  Env env = {{"HOME", home_}};
  for (const auto& [name, value] : fault.env) {
    env[name] = withRoot(*value);
  }
  std::vector<std::string> wrapper = fault.wrapper;
  std::vector<std::string> serverArgs = fault.server;
  if (!fault.body.empty()) {
    writeFile(root_ / "body", fault.body);
    serverArgs = {"--body-file", root_ / "body"};
  }
  if (fault.phase == Phase::kUnpack) {  // a slow unzip, which leaves a mark, to signal during
    writeFile(root_ / "slow-bin/unzip",
              "touch \"$BI_RECORD.unzip\"\nsleep 2\nexec /usr/bin/unzip \"$@\"\n", 0755);
    env["PATH"] = root_ / "slow-bin:" + std::string(std::getenv("PATH"));
  }
  if (fault.setup == Setup::kUntrustedTls || fault.setup == Setup::kTrustedTls) {
    makeCertificates(fault.setup == Setup::kTrustedTls);
    serverArgs = {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"};
  }
  if (fault.setup == Setup::kTrustedTls) {
    // The test's authority takes the place of the system's trust store, in a mount namespace of
    // the run's own.
    if (runProcess({"/usr/bin/unshare", "-m", "true"}).exitStatus != 0) {
      GTEST_SKIP() << "no mount namespace here to trust a test authority in";
    }
    wrapper = {"/usr/bin/unshare",
               "-m",
               "/bin/sh",
               "-c",
               "mount --bind \"$0\" /etc/ssl/certs/ca-certificates.crt && exec \"$@\"",
               root_ / "ca.pem"};
  } else if (fault.setup == Setup::kReadOnlyHome) {
    runUnprivileged(wrapper);
    ASSERT_EQ(0, runShell("chmod -R a+rX,a-w " + home_));
  } else if (fault.setup == Setup::kShippedArchive) {
    makeZip(resources_ + "/InstallAgent.zip", {{"install", kRecordingAgent}});
  }
  std::unique_ptr<Endpoint> server;
  std::string url;
  if (fault.setup == Setup::kRefused) {
    url = Endpoint(archive_).url();  // stopped: nothing listens there now
  } else {
    server = std::make_unique<Endpoint>(archive_, serverArgs);
    url = server->url(fault.path);
  }
  setEndpointUrl(url);

  ProcessResult result;
  if (fault.phase == Phase::kNone) {
    result = run({"arg"}, env, wrapper);
  } else {
    auto program = start({"arg"}, env, /*ownSession=*/fault.signal < 0);
    const auto phaseReached = [&] {
      if (fault.phase == Phase::kDownload) {  // the first data came: the old agent has gone
        return startedErr().starts_with("Downloading") && !exists(agentDir() + "/install");
      }
      return fault.phase == Phase::kUnpack ? exists(record_ + ".unzip")
                                           : firstChildCommand(program->pid()) == "sleep";
    };
    ASSERT_TRUE(waitUntil(phaseReached)) << startedErr();
    ::kill(fault.signal < 0 ? -program->pid() : program->pid(), std::abs(fault.signal));
    result.exitStatus = program->wait();
    result.err = startedErr();
  }

  std::vector<std::string> patterns = fault.err;
  for (std::string& pattern : patterns) {
    if (pattern.ends_with("{URL}")) {
      pattern.replace(pattern.size() - 5, 5, url);
    }
  }
  std::vector<std::string> lines;
  std::istringstream stream(result.err);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  EXPECT_TRUE(linesMatch(lines, 0, patterns, 0)) << result.err;
  EXPECT_EQ(fault.exitStatus, result.exitStatus) << result.err;
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_)) << "temporary files left behind";
  if (fault.exitStatus == 0) {
    EXPECT_EQ(expectedArgs({"arg"}), recordedArgs());
  } else if (fault.phase != Phase::kAgentRuns) {
    expectFailedRun(result.exitStatus, result.err);
  }
  expectCache(fault.cache, *env["HOME"], server.get());
}

INSTANTIATE_TEST_SUITE_P(Readme, FaultTableTest, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& row) { return row.param.name; });

#include "e2e/fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace testing_support {

namespace {

const char* const kCachePath = "/.velmora/app_installer_cache/V3107c/korvex/";
// Trusts only the authority $0, hiding the libraries that $1 matches.
const char* const kTrustOnly =
    "for f in $1; do mount --bind /dev/null \"$f\"; done; shift; "
    "mount --bind \"$0\" /etc/ssl/certs/ca-certificates.crt && exec \"$@\"";

// Runs "$@" in a network namespace of its own whose packets to port $0 go nowhere.
const char* const kDropping =
    "PATH=$PATH:/usr/sbin:/sbin; ip link set lo up && nft add table inet t && "
    "nft add chain inet t out '{ type filter hook output priority 0; }' && "
    "nft add rule inet t out tcp dport \"$0\" drop && exec \"$@\"";

}  // namespace

const char* const kRecordingAgent =
    "printf '%s\\0' \"$@\" > \"$BI_RECORD\"\n"
    "echo run >> \"$BI_RECORD.runs\"\n"
    "exit \"${BI_AGENT_STATUS:-0}\"\n";

std::string transferFailure(const std::string& cause, const std::string& url) {
  return "Downloading\nDownload failed! Error - " + cause + " " + url +
         "\nError during the download process.\n"
         "See the log in Console app for more information.\nInstallation failed.\n";
}

std::string statusAtFirstData(const std::string& status) {
  return "Downloading\nDownload failed with http error code- " + status +
         "\nDownload failed with error code " + status + "\nInstallation failed.\n";
}

ProgramTest::ProgramTest(Layout layout, const std::string& program)
    : home_(root_ / "home $(touch x) `touch y` *"),
      tmpdir_(root_ / "tmp"),
      record_(root_ / "record"),
      archive_(root_ / "agent.zip") {
  std::filesystem::create_directories(home_);
  std::filesystem::create_directories(tmpdir_);
  const std::string dir = root_ / "Apps \"q\" dir";
  const std::string bundle = dir + "/My \"Setup\".app";
  const std::string executableDir = layout == Layout::kApp ? bundle + "/Contents/MacOS" : dir;
  resources_ = layout == Layout::kApp ? bundle + "/Contents/Resources" : dir;
  directoryOfExecutable_ = layout == Layout::kApp ? dir : root_.path();
  executable_ = executableDir + "/setup";
  if (layout == Layout::kApp) {
    // As a vendor lays it out; each test writes the endpoint file that it needs.
    const ProcessResult made =
        runProcess({BI_MAKE_BUNDLE_PATH, "-n", "setup", program, "http://127.0.0.1:9/", bundle});
    EXPECT_EQ(0, made.exitStatus) << made.err;
    std::filesystem::remove(resources_ + "/installAgentURL.txt");
  } else {
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(program, executable_);
  }
  makeZip(archive_, {{"install", kRecordingAgent}});
}

void ProgramTest::makeCertificates(bool byTheAuthority) const {
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

std::vector<std::string> ProgramTest::trustingTheAuthority(const std::string& hidden) const {
  if (runProcess({"/usr/bin/unshare", "-m", "true"}).exitStatus != 0) {
    return {};
  }
  return {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kTrustOnly, root_ / "ca.pem", hidden};
}

std::vector<std::string> ProgramTest::hidingLibraries(const std::string& hidden) const {
  std::vector<std::string> wrapper = trustingTheAuthority(hidden);
  if (!wrapper.empty()) {
    wrapper[5] = "/etc/ssl/certs/ca-certificates.crt";  // bound onto itself
  }
  return wrapper;
}

std::vector<std::string> ProgramTest::droppingPacketsTo(const std::string& url) {
  const size_t port = url.find(':', url.find("://") + 3) + 1;
  return {"/usr/bin/unshare", "-n",
          "/bin/sh",          "-c",
          kDropping,          url.substr(port, url.find('/', port) - port)};
}

std::string ProgramTest::cacheDir() const {
  return home_ + kCachePath;
}

Env ProgramTest::environment(const Env& extra) const {
  // clang-format off
  Env env = {{"HOME", home_}, {"TMPDIR", tmpdir_}, {"BI_RECORD", record_}, {"DISPLAY", std::nullopt},
             {"ZR_INTERNAL_INSTALL_AGENT_URL", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
             {"__ZR_BOOTSTRAP_INSTALLER_UNITTEST__", std::nullopt}};
  // clang-format on
  // A proxy, trust or language of the machine's own, or its desktop's, is no part of any test.
  // clang-format off
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                           "no_proxy", "NO_PROXY", "CURL_CA_BUNDLE", "SSL_CERT_FILE",
                           "SSL_CERT_DIR", "DESKTOP_SESSION", "XDG_CURRENT_DESKTOP",
                           "GNOME_DESKTOP_SESSION_ID", "GSETTINGS_BACKEND", "XDG_CONFIG_HOME",
                           "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LC_NUMERIC"}) {
    // clang-format on
    env[name] = std::nullopt;
  }
  env["LANG"] = "C.UTF-8";  // and the window English, whatever the machine's language
  // Only a sanitized program reads it: leaks of glibc's own that some rows provoke.
  env["LSAN_OPTIONS"] = "print_suppressions=0:suppressions=" BI_LSAN_PROGRAM_SUPPRESSIONS;
  for (const auto& [name, value] : extra) {
    env[name] = value;
  }
  return env;
}

ProcessResult ProgramTest::run(const std::vector<std::string>& args, const Env& extra,
                               const std::vector<std::string>& wrapper) const {
  std::vector<std::string> argv = wrapper;
  argv.push_back(executable_);
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, environment(extra), root_.path());
}

std::unique_ptr<Child> ProgramTest::start(const std::vector<std::string>& args, const Env& extra,
                                          bool ownSession, const std::string& name) const {
  ::unlink((root_ / (name + ".err")).c_str());
  std::vector<std::string> argv = {executable_};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Child>(argv, environment(extra), root_ / (name + ".out"),
                                 root_ / (name + ".err"), ownSession, root_.path());
}

std::vector<std::string> ProgramTest::recordedArgs() const {
  return splitNul(readFile(record_));
}

int ProgramTest::agentRuns() const {
  const std::string runs = readFile(record_ + ".runs");
  return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
}

std::vector<std::string> ProgramTest::expectedArgs(const std::vector<std::string>& userArgs) const {
  std::vector<std::string> expected = {"-installbundle", resources_ + "/bundle.zip"};
  expected.insert(expected.end(), userArgs.begin(), userArgs.end());
  return expected;
}

void ProgramTest::expectFailedRun(int exitStatus, const std::string& err) const {
  EXPECT_EQ(255, exitStatus) << err;
  EXPECT_TRUE(err.ends_with("Installation failed.\n")) << err;
  EXPECT_EQ(0, agentRuns());
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_)) << "temporary files left behind";
}

void ProgramTest::expectNoInstallAgent(const std::string& home) const {
  const std::string cache = home.empty() ? cacheDir() : home + kCachePath;
  EXPECT_FALSE(exists(cache + "installagent/install"));
  for (const std::string& entry : listDir(cache)) {  // what a broken transfer left to resume
    EXPECT_TRUE(entry == "installagent" || entry == ".lock" || entry.starts_with(".partial"))
        << entry;
  }
}

void ProgramTest::expectCurrentCache(const Endpoint& server, const std::string& home) const {
  const std::string cache = home.empty() ? cacheDir() : home + kCachePath;
  EXPECT_TRUE(exists(cache + "installagent/install"));
  EXPECT_EQ(server.tag(), readFile(cache + ".validatestring"));
  std::vector<std::string> entries = listDir(cache);
  std::erase(entries, ".signedby");  // there when a key file pinned the signer
  std::erase(entries, ".archive");   // the archive installed, when it may be kept
  EXPECT_EQ((std::vector<std::string>{".lock", ".validatestring", "installagent"}), entries);
}

}  // namespace testing_support

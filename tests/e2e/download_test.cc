// The download branch as a user meets it: nothing shipped in the bundle, the archive fetched
// from a real HTTP server on 127.0.0.1, unpacked with the real unzip into a cache under a test
// HOME, and the install agent run through sh.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "e2e/agent_fixture.h"
#include "framework/os/remove_tree.h"
#include "support/endpoint_server.h"
#include "support/files.h"
#include "support/nginx_server.h"

using namespace testing_support;

namespace {

const char* const kTransferFailed =
    "Error during the download process.\nSee the log in Console app for more information.\n";

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

// Whether `expected` appear among the lines of `text` as whole lines, in this order.
testing::AssertionResult hasLinesInOrder(const std::string& text,
                                         const std::vector<std::string>& expected) {
  const std::vector<std::string> lines = linesOf(text);
  auto from = lines.begin();
  for (const std::string& line : expected) {
    from = std::find(from, lines.end(), line);
    if (from == lines.end()) {
      return testing::AssertionFailure() << "no line \"" << line << "\" (in order) in:\n" << text;
    }
    ++from;
  }
  return testing::AssertionSuccess();
}

// The log line of the request that sent this If-None-Match ("-" for none). The server writes a
// line when a response has ended, which need not be in the order of the requests.
EndpointLogLine requestWithCondition(const std::vector<EndpointLogLine>& log,
                                     const std::string& inm) {
  for (const EndpointLogLine& line : log) {
    if (line.inm == inm) {
      return line;
    }
  }
  ADD_FAILURE() << "no request with If-None-Match " << inm;
  return {};
}

class DownloadTest : public testing::Test {
 protected:
  DownloadTest() : sandbox_(root_.path()) {
    program_ = installFlat(root_ / "app");
    archive_ = root_ / "agent.zip";
    makeZip(archive_, {{"install", recordingAgentScript()}, {"lib/marker", "first"}});
  }

  void setEndpointUrl(const std::string& url) {
    writeFile(program_.resources + "/installAgentURL.txt", url + "\n");
  }

  std::string cacheDir() const {
    return sandbox_.home + "/.velmora/app_installer_cache/V3107c/korvex/";
  }
  std::string agentDir() const { return cacheDir() + "installagent"; }
  std::string storedTag() const { return readFile(cacheDir() + ".validatestring"); }

  ProcessResult run(const std::vector<std::string>& args = {},
                    const std::map<std::string, std::optional<std::string>>& env = {}) {
    return sandbox_.run(program_, args, env);
  }

  std::vector<std::string> expectedArgs(const std::vector<std::string>& userArgs) const {
    std::vector<std::string> expected = {"-installbundle", program_.resources + "/bundle.zip"};
    expected.insert(expected.end(), userArgs.begin(), userArgs.end());
    return expected;
  }

  // A failed run: exit 255, the last line "Installation failed.", the agent not run, no
  // temporary directory left, and no install agent in the cache that a later run could trust.
  void expectCleanFailure(const ProcessResult& result) {
    EXPECT_EQ(255, result.exitStatus);
    EXPECT_TRUE(result.err.size() >= 21 &&
                result.err.substr(result.err.size() - 21) == "Installation failed.\n")
        << result.err;
    EXPECT_EQ(0, sandbox_.agentRuns());
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty()) << "temporary directory left behind";
    EXPECT_FALSE(exists(agentDir() + "/install"));
    for (const std::string& entry : listDir(cacheDir())) {
      EXPECT_TRUE(entry == "installagent" || entry == ".validatestring" || entry == ".lock")
          << entry;
    }
  }

  // The ETag that the server sends for the archive now.
  static std::string serverTag(const std::string& url) {
    const ProcessResult head = runProcess("/usr/bin/curl", {"curl", "-sI", url});
    for (const std::string& line : linesOf(head.out)) {
      if (line.rfind("ETag: ", 0) == 0 || line.rfind("etag: ", 0) == 0) {
        std::string tag = line.substr(6);
        if (!tag.empty() && tag.back() == '\r') {
          tag.pop_back();
        }
        return tag;
      }
    }
    return "";
  }

  ScopedTempDir root_;
  ProgramRun sandbox_;
  InstalledProgram program_;
  std::string archive_;
};

}  // namespace

// Tests the road of a first run and of a later one: download, unpack into the cache, run once;
// then a cache hit that costs no body.
TEST_F(DownloadTest, FirstRunDownloadsLaterRunsUseTheCache) {
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const std::vector<std::string> args = {"-v", "my file", "$(touch pwned)", "a\"b"};

  const ProcessResult first = run(args);
  EXPECT_EQ(0, first.exitStatus) << first.err;
  EXPECT_EQ("Downloading\nInitializing the installer\n", first.err);
  EXPECT_EQ(expectedArgs(args), sandbox_.recordedArgs());
  EXPECT_EQ(1, sandbox_.agentRuns());
  EXPECT_EQ("first", readFile(agentDir() + "/lib/marker"));
  EXPECT_EQ(serverTag(server.url("/agent.zip")), storedTag());
  EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
  EXPECT_EQ((std::vector<std::string>{".lock", ".validatestring", "installagent"}),
            listDir(cacheDir()));

  const ProcessResult second = run(args);
  EXPECT_EQ(0, second.exitStatus) << second.err;
  EXPECT_EQ("Downloading\n", second.err);
  EXPECT_EQ(2, sandbox_.agentRuns());
  EXPECT_EQ(expectedArgs(args), sandbox_.recordedArgs());
  const auto log = server.waitForLogLines(2);
  EXPECT_EQ(200, requestWithCondition(log, "-").status);
  const EndpointLogLine hit = requestWithCondition(log, storedTag());
  EXPECT_EQ(304, hit.status);
  EXPECT_EQ(0u, hit.bodyBytes);
  EXPECT_FALSE(exists(root_ / "pwned"));
}

TEST_F(DownloadTest, AChangedTagReplacesTheCache) {
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  ASSERT_EQ(0, run().exitStatus);
  const std::string oldTag = storedTag();

  makeZip(archive_, {{"install", recordingAgentScript()}, {"lib/other", "second"}});
  const ProcessResult second = run({"x"});
  EXPECT_EQ(0, second.exitStatus) << second.err;
  EXPECT_EQ("Downloading\nInitializing the installer\n", second.err);
  EXPECT_NE(oldTag, storedTag());
  EXPECT_EQ(serverTag(server.url("/agent.zip")), storedTag());
  EXPECT_FALSE(exists(agentDir() + "/lib/marker"));  // nothing of the old install agent stays
  EXPECT_EQ("second", readFile(agentDir() + "/lib/other"));
  EXPECT_EQ(expectedArgs({"x"}), sandbox_.recordedArgs());
  EXPECT_EQ((std::vector<std::string>{".lock", ".validatestring", "installagent"}),
            listDir(cacheDir()));
}

// Tests that a server that ignores If-None-Match costs at most one buffer of a large archive.
TEST_F(DownloadTest, ServerIgnoringTheConditionCostsOneBuffer) {
  // A 100 MB archive of random data, stored as it is; its install agent records what the
  // program read (from /proc/<pid>/io of the bootstrap process, which waits for it).
  const std::string stage = root_ / "stage";
  makeDirs(stage);
  writeFile(stage + "/install",
            "p=$$\n"
            "for i in 1 2 3 4 5; do\n"
            "  p=$(awk '/^PPid:/{print $2}' /proc/$p/status)\n"
            "  if [ \"$(readlink /proc/$p/exe)\" = \"$BI_PROGRAM\" ]; then\n"
            "    cat /proc/$p/io > \"$BI_RECORD.io\"; break\n"
            "  fi\n"
            "done\n");
  ASSERT_EQ(0,
            runProcess("/bin/sh", {"sh", "-c",
                                   "rm -f " + archive_ + " && head -c 100000000 /dev/urandom > " +
                                       stage + "/big.dat && cd " + stage + " && zip -q -0 " +
                                       archive_ + " install big.dat"})
                .exitStatus);
  EndpointServer server(archive_, {"--ignore-if-none-match"});
  setEndpointUrl(server.url("/agent.zip"));
  const std::map<std::string, std::optional<std::string>> env = {
      {"BI_PROGRAM", program_.executable}};
  ASSERT_EQ(0, run({}, env).exitStatus);

  const ProcessResult hit = run({}, env);
  EXPECT_EQ(0, hit.exitStatus) << hit.err;
  EXPECT_EQ("Downloading\n", hit.err);
  const EndpointLogLine hitLine = requestWithCondition(server.waitForLogLines(2), storedTag());
  EXPECT_EQ(200, hitLine.status);
  // What the program read, sockets and files together, during the whole cache-hit run.
  const std::string io = readFile(sandbox_.record + ".io");
  ASSERT_NE(std::string::npos, io.find("rchar: ")) << io;
  const unsigned long long readBytes = std::stoull(io.substr(io.find("rchar: ") + 7));
  EXPECT_LT(readBytes, 512u * 1024u + 256u * 1024u);
  std::cout << "[ figures  ] cache hit, server ignoring If-None-Match: server wrote "
            << hitLine.bodyBytes << " body bytes; the program read " << readBytes
            << " bytes in all\n";
  EXPECT_LT(hitLine.bodyBytes, 100000000u / 4);
}

// Tests that a status failure leaves a cached install agent as it was.
TEST_F(DownloadTest, StatusFailureKeepsTheCache) {
  {
    EndpointServer server(archive_);
    setEndpointUrl(server.url("/agent.zip"));
    ASSERT_EQ(0, run().exitStatus);
  }
  const std::string tag = storedTag();
  EndpointServer failing(archive_, {"--status", "404"});
  setEndpointUrl(failing.url("/agent.zip"));
  const ProcessResult result = run();
  EXPECT_EQ(255, result.exitStatus);
  EXPECT_EQ(1, sandbox_.agentRuns());
  EXPECT_TRUE(exists(agentDir() + "/install"));
  EXPECT_EQ(tag, storedTag());
}

TEST_F(DownloadTest, BodyThatIsNotAZip) {
  {
    EndpointServer server(archive_);
    setEndpointUrl(server.url("/agent.zip"));
    ASSERT_EQ(0, run().exitStatus);  // a cached install agent that goes out of date
  }
  writeFile(root_ / "garbage", "this is no zip archive at all");
  EndpointServer server(archive_, {"--body-file", root_ / "garbage"});
  setEndpointUrl(server.url("/agent.zip"));
  const ProcessResult result = run();
  EXPECT_TRUE(hasLinesInOrder(
      result.err, {"Downloading", "Initializing the installer", "Failed to unzip the install agent",
                   "Failed to unzip the installer.", "Installation failed."}));
  EXPECT_EQ(255, result.exitStatus);
  EXPECT_EQ(1, sandbox_.agentRuns());
  EXPECT_FALSE(exists(agentDir() + "/install"));
  EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
  // Neither the install agent nor a staging directory is left; only the lock file.
  EXPECT_EQ(std::vector<std::string>{".lock"}, listDir(cacheDir()));
}

TEST_F(DownloadTest, ZipWithoutTheEntryPoint) {
  makeZip(archive_, {{"setup.sh", "exit 0\n"}});
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const ProcessResult result = run();
  EXPECT_TRUE(
      hasLinesInOrder(result.err, {"Downloading", "Initializing the installer",
                                   "Failed to unzip the installer.", "Installation failed."}));
  expectCleanFailure(result);
  EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
}

// Tests that without an ETag the cache is never taken as current, and holds no stale tag.
TEST_F(DownloadTest, NoEtagMeansOutOfDate) {
  EndpointServer server(archive_, {"--no-etag"});
  setEndpointUrl(server.url("/agent.zip"));
  makeDirs(cacheDir());
  writeFile(cacheDir() + ".validatestring", "\"stale\"");
  for (int runNumber = 1; runNumber <= 2; ++runNumber) {
    const ProcessResult result = run({"n"});
    EXPECT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ("Downloading\nInitializing the installer\n", result.err);
    EXPECT_EQ(runNumber, sandbox_.agentRuns());
    EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
  }
  for (const EndpointLogLine& line : server.waitForLogLines(2)) {
    EXPECT_EQ(200, line.status);
    EXPECT_EQ("-", line.inm);
  }
}

TEST_F(DownloadTest, NoAnnouncedLengthAndRedirects) {
  EndpointServer server(archive_, {"--no-length"});
  setEndpointUrl(server.url("/redirect/3/agent.zip"));
  const ProcessResult result = run({"r"});
  EXPECT_EQ(0, result.exitStatus) << result.err;
  EXPECT_EQ(expectedArgs({"r"}), sandbox_.recordedArgs());
  EXPECT_EQ(serverTag(server.url("/agent.zip")), storedTag());
}

TEST_F(DownloadTest, BrokenTransfersAreReported) {
  const std::vector<std::vector<std::string>> faults = {
      {"--cut-after", "100"},
      {"--announce-extra", "5000"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault[0]);
    fw::removeItemAtPath(sandbox_.home + "/.velmora");
    EndpointServer server(archive_, fault);
    const std::string url = server.url("/agent.zip");
    setEndpointUrl(url);
    const ProcessResult result = run();
    EXPECT_NE(std::string::npos, result.err.find("Download failed! Error - ")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find(" " + url + "\n")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find(kTransferFailed)) << result.err;
    expectCleanFailure(result);
  }
}

TEST_F(DownloadTest, RefusedConnection) {
  int port = 0;
  {
    EndpointServer server(archive_);
    port = server.port();
  }  // stopped: nothing listens there now
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/agent.zip";
  setEndpointUrl(url);
  const ProcessResult result = run();
  EXPECT_TRUE(hasLinesInOrder(result.err, {"Downloading"}));
  EXPECT_NE(std::string::npos, result.err.find("Download failed! Error - ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find(kTransferFailed)) << result.err;
  expectCleanFailure(result);
}

TEST_F(DownloadTest, UntrustedCertificate) {
  const std::string key = root_ / "key.pem";
  const std::string cert = root_ / "cert.pem";
  ASSERT_EQ(0, runProcess("/usr/bin/openssl",
                          {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                           key, "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1"})
                   .exitStatus);
  EndpointServer server(archive_, {"--tls-cert", cert, "--tls-key", key});
  setEndpointUrl(server.url("/agent.zip"));
  ASSERT_EQ("https", server.url().substr(0, 5));
  const ProcessResult result = run();
  EXPECT_NE(std::string::npos, result.err.find("Download failed! Error - ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find(kTransferFailed)) << result.err;
  expectCleanFailure(result);
}

TEST_F(DownloadTest, OverrideVariable) {
  EndpointServer server(archive_);
  setEndpointUrl("http://127.0.0.1:9/not-this-one.zip");
  const ProcessResult set = run({}, {{"ZR_INTERNAL_INSTALL_AGENT_URL", server.url("/agent.zip")}});
  EXPECT_EQ(0, set.exitStatus) << set.err;
  EXPECT_EQ(1, sandbox_.agentRuns());

  // Set but empty: the empty URL is used, and fails as a URL.
  const ProcessResult empty = run({}, {{"ZR_INTERNAL_INSTALL_AGENT_URL", ""}});
  EXPECT_EQ(255, empty.exitStatus);
  EXPECT_NE(std::string::npos, empty.err.find(kTransferFailed)) << empty.err;

  // Unset: the endpoint file's URL.
  setEndpointUrl(server.url("/redirect/1/agent.zip"));
  const ProcessResult unset = run();
  EXPECT_EQ(0, unset.exitStatus) << unset.err;
  EXPECT_EQ(2, sandbox_.agentRuns());
  const auto log = server.waitForLogLines(3);
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const EndpointLogLine& line) {
    return line.path == "/redirect/1/agent.zip";
  }));
}

// Tests that closing the window (here by SIGINT or SIGTERM) during the transfer ends the run
// cleanly: the failure message, exit 255, no temporary directory, nothing half-installed.
TEST_F(DownloadTest, InterruptedDuringTheTransfer) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    EndpointServer server(archive_, {"--rate", "2000"});
    setEndpointUrl(server.url("/agent.zip"));
    const std::string errPath = root_ / "interrupted.err";
    ::unlink(errPath.c_str());
    BackgroundProcess process(
        "/usr/bin/env",
        {"env", "-u", "ZR_INTERNAL_INSTALL_AGENT_URL", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
         "HOME=" + sandbox_.home, "TMPDIR=" + sandbox_.tmpdir, "BI_RECORD=" + sandbox_.record,
         program_.executable},
        root_ / "interrupted.out", errPath);
    ASSERT_TRUE(waitUntil([&] { return !listDir(sandbox_.tmpdir).empty(); }));
    ASSERT_TRUE(
        waitUntil([&] { return readFile(errPath).find("Downloading") != std::string::npos; }));
    EXPECT_EQ(255, process.stop(signal));
    EXPECT_EQ("Downloading\nInstallation failed.\n", readFile(errPath));
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
    EXPECT_FALSE(exists(agentDir() + "/install"));
    EXPECT_EQ(0, sandbox_.agentRuns());
  }
}

// Tests the whole road against a second, independent server that honours If-None-Match.
TEST_F(DownloadTest, AgainstNginx) {
  const std::string webRoot = root_ / "www";
  makeDirs(webRoot);
  copyFile(archive_, webRoot + "/agent.zip", 0644);
  NginxServer nginx(webRoot);
  setEndpointUrl(nginx.url("/agent.zip"));
  const ProcessResult first = run({"one"});
  EXPECT_EQ(0, first.exitStatus) << first.err;
  EXPECT_EQ(expectedArgs({"one"}), sandbox_.recordedArgs());
  EXPECT_EQ(serverTag(nginx.url("/agent.zip")), storedTag());
  const ProcessResult second = run({"two"});
  EXPECT_EQ(0, second.exitStatus) << second.err;
  EXPECT_EQ(expectedArgs({"two"}), sandbox_.recordedArgs());
  EXPECT_EQ(2, sandbox_.agentRuns());
  const auto log = nginx.waitForAccessLog(2);
  const auto hit = std::find_if(log.begin(), log.end(),
                                [&](const NginxLogLine& line) { return line.inm == storedTag(); });
  ASSERT_NE(log.end(), hit);
  EXPECT_EQ(304, hit->status);
  EXPECT_EQ(0u, hit->bodyBytes);
}

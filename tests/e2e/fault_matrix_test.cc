// Faults of the server, the network, the disk and the user's environment, end to end: each
// gives a clear message and status 255, removes the temporary directory, and leaves the cache
// either current and whole or without an install agent. (More faults: download_test.cc and
// termination_test.cc.)

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/agent_fixture.h"
#include "support/endpoint_server.h"
#include "support/files.h"

using namespace testing_support;

namespace {

class FaultMatrixTest : public testing::Test {
 protected:
  FaultMatrixTest() : sandbox_(root_.path()) {
    program_ = installFlat(root_ / "app");
    archive_ = root_ / "agent.zip";
    makeZip(archive_, {{"install", recordingAgentScript()}});
  }

  void setEndpointUrl(const std::string& url) {
    writeFile(program_.resources + "/installAgentURL.txt", url + "\n");
  }
  std::string cacheDir(const std::string& home) const {
    return home + "/.velmora/app_installer_cache/V3107c/korvex/";
  }

  // The end of every failed run.
  void expectCleanFailure(const ProcessResult& result, const std::string& home) {
    EXPECT_EQ(255, result.exitStatus) << result.err;
    EXPECT_TRUE(result.err.size() >= 21 &&
                result.err.compare(result.err.size() - 21, 21, "Installation failed.\n") == 0)
        << result.err;
    EXPECT_EQ(0, sandbox_.agentRuns());
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty()) << "temporary directory left behind";
    EXPECT_FALSE(exists(cacheDir(home) + "installagent/install"));
    for (const std::string& entry : listDir(cacheDir(home))) {
      EXPECT_TRUE(entry == "installagent" || entry == ".lock") << entry;
    }
  }

  ScopedTempDir root_;
  ProgramRun sandbox_;
  InstalledProgram program_;
  std::string archive_;
};

}  // namespace

TEST_F(FaultMatrixTest, StatusFailuresAtTheFirstDataAndAtTheEnd) {
  for (const std::string status : {"400", "401", "403", "404", "500"}) {
    SCOPED_TRACE(status);
    {
      EndpointServer server(archive_, {"--status", status});
      setEndpointUrl(server.url("/agent.zip"));
      const ProcessResult result = sandbox_.run(program_, {});
      EXPECT_EQ("Downloading\nDownload failed with http error code- " + status +
                    "\nDownload failed with error code " + status + "\nInstallation failed.\n",
                result.err);
      expectCleanFailure(result, sandbox_.home);
    }
    {
      EndpointServer server(archive_, {"--status", status, "--empty-body"});
      setEndpointUrl(server.url("/agent.zip"));
      const ProcessResult result = sandbox_.run(program_, {});
      EXPECT_EQ("Downloading\nDownload failed! Error code- " + status +
                    "\nDownload failed with error code " + status + "\nInstallation failed.\n",
                result.err);
      expectCleanFailure(result, sandbox_.home);
    }
  }
}

// Tests that a server that stops sending cannot hold the run for ever: after 60 seconds
// without a byte the transfer fails.
TEST_F(FaultMatrixTest, StalledServer) {
  EndpointServer server(archive_, {"--stall-after", "10"});
  setEndpointUrl(server.url("/agent.zip"));
  const ProcessResult result = sandbox_.run(program_, {});
  EXPECT_NE(std::string::npos,
            result.err.find("Download failed! Error - no data received for 60 seconds " +
                            server.url("/agent.zip") + "\n"))
      << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Error during the download process.\n"));
  expectCleanFailure(result, sandbox_.home);
}

// Tests HTTPS with a certificate that libcurl's own trust store vouches for. The test's
// authority is put in place of the system's bundle in a mount namespace of the run's own.
TEST_F(FaultMatrixTest, TrustedHttps) {
  if (runProcess("/usr/bin/unshare", {"unshare", "-m", "true"}).exitStatus != 0) {
    GTEST_SKIP() << "no mount namespace here to trust a test authority in";
  }
  const std::string script =
      "cd " + root_.path() +
      " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 1"
      " -subj /CN=test-authority 2>/dev/null"
      " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr"
      " -subj /CN=127.0.0.1 2>/dev/null"
      " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
      " -out server.pem -days 1 -extfile san.ext 2>/dev/null";
  ASSERT_EQ(0, runProcess("/bin/sh", {"sh", "-c", script}).exitStatus);
  EndpointServer server(archive_,
                        {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"});
  setEndpointUrl(server.url("/agent.zip"));
  const ProcessResult result = sandbox_.runWrapped(
      {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
       "mount --bind \"$0\" /etc/ssl/certs/ca-certificates.crt && exec \"$@\"", root_ / "ca.pem"},
      program_, {"tls"});
  EXPECT_EQ(0, result.exitStatus) << result.err;
  EXPECT_EQ(1, sandbox_.agentRuns());
  EXPECT_TRUE(exists(cacheDir(sandbox_.home) + "installagent/install"));
}

// Tests a home directory that the user cannot write to, or that is a file: the download works,
// but nothing can be put into the cache.
TEST_F(FaultMatrixTest, UnusableHome) {
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  // The run is an ordinary user's, so that permissions apply.
  ::chmod(root_.path().c_str(), 0755);
  ::chmod(sandbox_.tmpdir.c_str(), 0777);
  makeDirs(root_ / "readonly-home");
  ::chmod((root_ / "readonly-home").c_str(), 0555);
  writeFile(root_ / "file-home", "not a directory");
  // As root, the run drops to "nobody"; any other user meets permissions as it is.
  const std::vector<std::string> asNobody =
      ::geteuid() == 0 ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534",
                                                  "--regid=65534", "--clear-groups"}
                       : std::vector<std::string>{};
  for (const std::string& home : {root_ / "readonly-home", root_ / "file-home"}) {
    SCOPED_TRACE(home);
    const ProcessResult result = sandbox_.runWrapped(asNobody, program_, {}, {{"HOME", home}});
    EXPECT_EQ(
        "Downloading\nInitializing the installer\nFailed to unzip the installer.\n"
        "Installation failed.\n",
        result.err);
    expectCleanFailure(result, home);
  }
  // A home that does not exist yet is made, and the run succeeds.
  const ProcessResult made = sandbox_.run(program_, {}, {{"HOME", root_ / "new-home/deeper"}});
  EXPECT_EQ(0, made.exitStatus) << made.err;
  EXPECT_TRUE(exists(cacheDir(root_ / "new-home/deeper") + "installagent/install"));
}

TEST_F(FaultMatrixTest, UnusableTmpdirFallsBack) {
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const ProcessResult result = sandbox_.run(program_, {"t"}, {{"TMPDIR", root_ / "no-such-dir"}});
  EXPECT_EQ(0, result.exitStatus) << result.err;
  EXPECT_EQ(1, sandbox_.agentRuns());
}

// Tests a disk that fills up (a file-size limit) while the archive is stored, and while it is
// unpacked.
TEST_F(FaultMatrixTest, DiskFull) {
  const std::vector<std::string> limited = {"/usr/bin/prlimit", "--fsize=1000000"};
  {
    SCOPED_TRACE("during the download");
    ASSERT_EQ(0, runProcess("/bin/sh", {"sh", "-c",
                                        "cd " + root_.path() +
                                            " && head -c 3000000 /dev/urandom > big && "
                                            "cp app/../agent.zip big.zip && zip -q -0 big.zip big"})
                     .exitStatus);
    EndpointServer server(root_ / "big.zip");
    setEndpointUrl(server.url("/big.zip"));
    const ProcessResult result = sandbox_.runWrapped(limited, program_, {});
    EXPECT_NE(
        std::string::npos,
        result.err.find("Download failed! Error - cannot store the download: File too large " +
                        server.url("/big.zip")))
        << result.err;
    expectCleanFailure(result, sandbox_.home);
  }
  {
    SCOPED_TRACE("during the unpack");
    // Small to download, large once unpacked.
    makeZip(archive_,
            {{"install", recordingAgentScript()}, {"zeros", std::string(5 * 1000 * 1000, '\0')}});
    EndpointServer server(archive_);
    setEndpointUrl(server.url("/agent.zip"));
    const ProcessResult result = sandbox_.runWrapped(limited, program_, {});
    EXPECT_NE(std::string::npos, result.err.find("Initializing the installer\n")) << result.err;
    EXPECT_NE(
        std::string::npos,
        result.err.find("Failed to unzip the install agent\nFailed to unzip the installer.\n"))
        << result.err;
    expectCleanFailure(result, sandbox_.home);
  }
}

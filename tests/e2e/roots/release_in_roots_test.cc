// The release program where its users are: real Debian roots of the oldest and the newest release
// it runs on, made by debootstrap and kept between runs, with the root's own libc, libcurl, GTK,
// unzip and sh. Each run is chrooted in a mount namespace of its own (support/in-root.sh); the
// servers and the X server are the host's, on 127.0.0.1 and its sockets. Needs root and
// debootstrap: elsewhere the rows skip and say why, but under CI they fail.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <tuple>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

struct Root {
  const char* name;
  std::vector<std::string> packages;  // libcurl both ways and GTK, by the suite's names
};

const Root kRoots[] = {{"bullseye", {"libcurl4", "libcurl3-gnutls", "libgtk-3-0"}},
                       {"trixie", {"libcurl4t64", "libcurl3t64-gnutls", "libgtk-3-0t64"}}};

enum Case : int {
  kShipped,
  kHttps,
  kCacheHit,
  kHttpsToHttp,
  kSigned,
  kTampered,
  kGnutlsOnly,
  kWindow
};
const char* const kCaseNames[] = {"Shipped", "Https",    "CacheHit",   "HttpsToHttp",
                                  "Signed",  "Tampered", "GnutlsOnly", "Window"};

class RootTest : public ProgramTest, public testing::WithParamInterface<std::tuple<Root, Case>> {
 protected:
  RootTest()
      : ProgramTest(Layout::kApp,
                    exists(BI_RELEASE_PROGRAM) ? BI_RELEASE_PROGRAM : BI_PROGRAM_PATH) {}

  void SetUp() override {
    std::string why = ::geteuid() != 0              ? "needs root, to chroot and mount"
                      : !exists(BI_RELEASE_PROGRAM) ? "no " BI_RELEASE_PROGRAM
                                                      ": run scripts/build-release.sh"
                                                    : "";
    if (why.empty()) {
      // Besides: unzip, the trust store, a font, and the session bus that GTK's settings need,
      // which debootstrap cannot choose among its providers itself.
      std::vector<std::string> argv = {BI_DEBIAN_ROOT_PATH,
                                       std::string("program-") + root().name,
                                       root().name,
                                       "ca-certificates",
                                       "unzip",
                                       "fonts-dejavu-core",
                                       "librsvg2-common",
                                       "dbus-x11"};
      argv.insert(argv.end(), root().packages.begin(), root().packages.end());
      const ProcessResult made = runProcess(argv);
      dir_ = made.out.substr(0, made.out.find('\n'));
      why = made.exitStatus == 0
                ? ""
                : "no Debian root: " +
                      made.err.substr(made.err.size() - std::min<size_t>(made.err.size(), 600));
    }
    if (!why.empty() && std::getenv("CI") != nullptr) {
      FAIL() << why;
    }
    if (!why.empty()) {
      GTEST_SKIP() << why;
    }
  }

  const Root& root() const { return std::get<0>(GetParam()); }
  std::vector<std::string> inRoot(const std::string& ca = "",
                                  const std::string& hidden = "") const {
    return {BI_IN_ROOT_PATH, dir_, root_.path(), ca, hidden};
  }

  // Signs the recording install agent with a key of the test's own that the bundle pins.
  void sign() {
    writeFile(root_ / "agent/install", kRecordingAgent);
    ASSERT_EQ(0, runProcess({"/usr/bin/minisign", "-G", "-W", "-p", root_ / "k.pub", "-s",
                             root_ / "k.key"})
                     .exitStatus);
    ASSERT_EQ(0, runProcess({BI_SIGN_AGENT_PATH, "-s", root_ / "k.key", root_ / "agent",
                             root_ / "out", root_ / "k.pub"})
                     .exitStatus);
    writeFile(resources_ + "/installAgentKey.pub", readFile(root_ / "out/installAgentKey.pub"));
    archive_ = root_ / "out/InstallAgent.zip";
  }

  // Shows a failure in red on an X server of the test's own, which Return closes.
  void showFailureInRed() const {
    Child xserver({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp"}, {}, root_ / "x.out",
                  root_ / "x.err");
    ASSERT_TRUE(waitUntil([&] { return readFile(root_ / "x.out").ends_with("\n"); }))
        << readFile(root_ / "x.err");
    const std::string display =
        ":" + readFile(root_ / "x.out").substr(0, readFile(root_ / "x.out").size() - 1);
    const ScopedEnv tools("DISPLAY", display);
    std::vector<std::string> argv = inRoot();
    argv.push_back(executable_);
    Child program(argv, environment({{"DISPLAY", display}}), root_ / "started.out",
                  root_ / "started.err", false, root_.path());
    const std::string window =
        "\"$(xdotool search --onlyvisible --pid " + std::to_string(program.pid()) + ")\"";
    ASSERT_TRUE(waitUntil([&] { return runShell("test -n " + window) == 0; })) << startedErr();
    // The failure's red, Adwaita's error colour, once it shows.
    EXPECT_TRUE(waitUntil([&] {
      return runShell("import -silent -window " + window +
                      " png:- | convert png:- -fuzz 10% -fill black +opaque '#cc0000' -format %@ "
                      "info: | grep -qv '^0x0'") == 0;
    })) << startedErr();
    EXPECT_EQ(0, runShell("xdotool windowfocus --sync " + window + " key Return"));
    const int status = program.wait();  // before its standard error is read
    expectFailedRun(status, startedErr());
  }

  std::string dir_;  // the root
};

}  // namespace

TEST_P(RootTest, Row) {
  const Case row = std::get<1>(GetParam());
  const bool tls = row == kHttps || row == kHttpsToHttp || row == kGnutlsOnly;
  std::vector<std::string> serverArgs;
  std::unique_ptr<Endpoint> plain;
  if (tls) {
    makeCertificates();
    serverArgs = {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"};
  }
  if (row == kHttpsToHttp) {
    plain = std::make_unique<Endpoint>(archive_);
    serverArgs.insert(serverArgs.end(), {"--redirect-to", plain->url()});
  } else if (row == kSigned || row == kTampered) {
    sign();
    serverArgs = {"--signature", archive_ + ".minisig"};
    ASSERT_TRUE(row == kSigned || runShell("printf X | dd of='" + archive_ +
                                           "' bs=1 seek=99 conv=notrunc status=none") == 0);
  } else if (row == kShipped) {
    makeZip(resources_ + "/InstallAgent.zip", {{"install", kRecordingAgent}});
  } else if (row == kWindow) {
    writeFile(root_ / "garbage", "no zip archive");
    serverArgs = {"--body-file", root_ / "garbage"};
  }
  Endpoint server(archive_, serverArgs);
  setEndpointUrl(server.url());
  if (row == kWindow) {
    showFailureInRed();
    return;
  }
  if (row == kCacheHit) {
    ASSERT_EQ(0, run({}, {}, inRoot()).exitStatus);
  }
  const ProcessResult result =
      run({}, {},
          inRoot(tls ? root_ / "ca.pem" : "", row == kGnutlsOnly ? "usr/lib/*/libcurl.so.4" : ""));
  if (row == kHttpsToHttp || row == kTampered) {
    expectFailedRun(result.exitStatus, result.err);
    EXPECT_NE(
        std::string::npos,
        result.err.find(row == kTampered ? "Download not verified! the signature does not match"
                                         : "redirect away from https refused"))
        << result.err;
    return;
  }
  EXPECT_EQ(0, result.exitStatus) << result.err;
  EXPECT_EQ(expectedArgs(), recordedArgs());
  if (row == kCacheHit) {
    EXPECT_EQ("Downloading\n", result.err);
    EXPECT_EQ(304, server.requests(2).back().status);
  } else if (row == kSigned) {
    EXPECT_NE(std::string::npos, result.err.find("Download verified, signed with key"))
        << result.err;
  }
  if (row != kShipped) {
    expectCurrentCache(server);
  }
}

INSTANTIATE_TEST_SUITE_P(Debian, RootTest,
                         testing::Combine(testing::ValuesIn(kRoots),
                                          testing::Range(kShipped, Case(kWindow + 1))),
                         [](const testing::TestParamInfo<std::tuple<Root, Case>>& row) {
                           return std::string(std::get<0>(row.param).name) + "_" +
                                  kCaseNames[std::get<1>(row.param)];
                         });

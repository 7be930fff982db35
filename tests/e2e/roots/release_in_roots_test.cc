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

// Each root's name is its suite's; the packages are libcurl both ways and GTK by its names.
const std::pair<const char*, const char*> kRoots[] = {
    {"bullseye", "libcurl4 libcurl3-gnutls libgtk-3-0"},
    {"trixie", "libcurl4t64 libcurl3t64-gnutls libgtk-3-0t64"}};

// Makes or finds the root of suite $1 with packages $2 and, besides: unzip, the trust store, a
// font, and the session bus that GTK's settings ask for, whose provider debootstrap cannot choose.
const char* const kMakeRoot =
    "exec \"$0\" program-$1 $1 ca-certificates unzip fonts-dejavu-core librsvg2-common dbus-x11 $2";

enum Case : int { kShipped, kHttps, kCacheHit, kToHttp, kSigned, kTampered, kGnutls, kWindow };
// The row's name and a part of what it says on standard error.
// clang-format off
const std::pair<const char*, const char*> kCases[] = {{"Shipped", ""}, {"Https", ""},
    {"CacheHit", ""}, {"HttpsToHttp", "redirect away from https refused"},
    {"Signed", "Download verified, signed with key"},
    {"Tampered", "Download not verified! the signature does not match"}, {"GnutlsOnly", ""},
    {"Window", "Failed to unzip the install agent"}};
// clang-format on

// Signs agent/ with a key that the bundle's resources ($1) pin; then tampers with it if $2 says so.
const char* const kSign =
    "minisign -GW -p k.pub -s k.key && \"$0\" -s k.key agent out k.pub && cp out/*.pub \"$1\" && "
    "{ [ $2 != Tampered ] || printf X | dd of=out/InstallAgent.zip bs=1 seek=99 conv=notrunc; }";

using Row = std::tuple<std::pair<const char*, const char*>, Case>;

class RootTest : public ProgramTest, public testing::WithParamInterface<Row> {
 protected:
  RootTest()
      : ProgramTest(Layout::kApp,
                    exists(BI_RELEASE_PROGRAM) ? BI_RELEASE_PROGRAM : BI_PROGRAM_PATH) {}

  void SetUp() override {
    std::string why =
        exists(BI_RELEASE_PROGRAM) ? "" : "no " BI_RELEASE_PROGRAM ", see build-release.sh";
    why = ::geteuid() == 0 ? why : "needs root, to chroot and mount";
    if (why.empty()) {
      const ProcessResult made =
          runProcess({"/bin/sh", "-c", kMakeRoot, BI_DEBIAN_ROOT_PATH,
                      std::get<0>(GetParam()).first, std::get<0>(GetParam()).second});
      dir_ = made.out.substr(0, made.out.find('\n'));
      why = made.exitStatus == 0 ? "" : "no Debian root: " + made.err;
    }
    ASSERT_TRUE(why.empty() || std::getenv("CI") == nullptr) << why;
    if (!why.empty()) {
      GTEST_SKIP() << why;
    }
  }

  std::vector<std::string> inRoot(const std::string& ca = "", const char* hidden = "") const {
    return {BI_IN_ROOT_PATH, dir_, root_.path(), ca, hidden};
  }

  // Shows a failure in red on an X server of the test's own, which Return closes. The server
  // never resets: a reset, when the last of the test's xdotool calls leaves, would drop the
  // program's connection if it came meanwhile.
  void showFailureInRed() const {
    Child xserver({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset"}, {},
                  root_ / "x.out", root_ / "x.err");
    ASSERT_TRUE(waitUntil([&] { return readFile(root_ / "x.out").ends_with("\n"); }))
        << readFile(root_ / "x.err");
    const std::string display = ":" + std::to_string(std::stoi(readFile(root_ / "x.out")));
    const ScopedEnv tools("DISPLAY", display);
    Child program({BI_IN_ROOT_PATH, dir_, root_.path(), "", "", executable_},
                  environment({{"DISPLAY", display}}), root_ / "started.out", root_ / "started.err",
                  false, root_.path());
    const std::string window =
        "\"$(xdotool search --onlyvisible --pid " + std::to_string(program.pid()) + ")\"";
    // The failure's red, Adwaita's error colour, once the window shows it.
    EXPECT_TRUE(waitUntil([&] {
      return runShell("w=" + window + " && import -silent -window \"$w\" png:- | convert png:- " +
                      "-fuzz 10% -fill black +opaque '#cc0000' -format %@ info: | grep -qv ^0x0") ==
             0;
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
  const bool tls = row == kHttps || row == kToHttp || row == kGnutls;
  std::vector<std::string> serverArgs;
  const Endpoint plain(archive_);  // where the https endpoint of one row redirects to
  if (tls) {
    makeCertificates();
    serverArgs = {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"};
  }
  if (row == kToHttp) {
    serverArgs.insert(serverArgs.end(), {"--redirect-to", plain.url()});
  } else if (row == kSigned || row == kTampered) {
    // Signed with a key that the bundle pins; tampered with after the signing.
    writeFile(root_ / "agent/install", kRecordingAgent);
    ASSERT_EQ(
        0, runProcess({"/bin/sh", "-c", kSign, BI_SIGN_AGENT_PATH, resources_, kCases[row].first},
                      {}, root_.path())
               .exitStatus);
    archive_ = root_ / "out/InstallAgent.zip";
    serverArgs = {"--signature", archive_ + ".minisig"};
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
    EXPECT_NE(std::string::npos, startedErr().find(kCases[row].second)) << startedErr();
    return;
  }
  if (row == kCacheHit) {
    ASSERT_EQ(0, run({}, {}, inRoot()).exitStatus);
  }
  const ProcessResult result = run(
      {}, {}, inRoot(tls ? root_ / "ca.pem" : "", row == kGnutls ? "usr/lib/*/libcurl.so.4" : ""));
  EXPECT_NE(std::string::npos, result.err.find(kCases[row].second)) << result.err;
  if (row == kToHttp || row == kTampered) {
    expectFailedRun(result.exitStatus, result.err);
    return;
  }
  EXPECT_EQ(0, result.exitStatus) << result.err;
  EXPECT_EQ(expectedArgs(), recordedArgs());
  if (row == kCacheHit) {
    EXPECT_EQ("Downloading\n", result.err);
    EXPECT_EQ(304, server.requests(2).back().status);
  }
  if (row != kShipped) {
    expectCurrentCache(server);
  }
}

INSTANTIATE_TEST_SUITE_P(Debian, RootTest,
                         testing::Combine(testing::ValuesIn(kRoots),
                                          testing::Range(kShipped, Case(kWindow + 1))),
                         [](const testing::TestParamInfo<Row>& row) {
                           return std::string(std::get<0>(row.param).first) + "_" +
                                  kCases[std::get<1>(row.param)].first;
                         });

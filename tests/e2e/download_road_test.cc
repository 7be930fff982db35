// The download road as a user meets it: nothing shipped in the bundle, the archive fetched from
// a real HTTP server on 127.0.0.1, unpacked with the real unzip into a cache under a test HOME,
// and the install agent run through sh; then later runs that find the cache current.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/fixture.h"
#include "platform/command_line.h"

using namespace testing_support;

namespace {

class DownloadTest : public ProgramTest {};

}  // namespace

// Tests that whatever the cache's own files hold, a run neither breaks nor sends it as a header:
// the cache is found out of date, replaced, and its validation string put right.
TEST_F(DownloadTest, CacheFilesOfAnyContent) {
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  ASSERT_EQ(0, run().exitStatus);
  const std::string tag = storedTag();
  // clang-format off
  const std::string contents[] = {std::string(50 * 1024 * 1024, 'e'), tag + std::string("\0tail", 5),
      tag + "\x01", tag + "\x7f", "\"a\x1f\"", tag + "\r\nIf-None-Match: *", "\n\n"};
  // clang-format on
  for (const std::string& content : contents) {
    writeFile(cacheDir() + ".validatestring", content);
    const ProcessResult result = run();
    ASSERT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ(tag, storedTag());
  }
  EXPECT_EQ(1 + static_cast<int>(std::size(contents)), agentRuns());
  // A sent condition is a whole, well-formed header value: never one with a control byte.
  for (const Request& request : server.requests(std::size(contents) + 1)) {
    EXPECT_TRUE(request.inm == "-" || request.inm == tag) << request.inm;
  }
  // A lock file that cannot be opened makes no run wait: there is nothing to hold.
  std::filesystem::remove(cacheDir() + ".lock");
  std::filesystem::create_directory(cacheDir() + ".lock");
  EXPECT_EQ(0, run().exitStatus);
  writeFile(cacheDir() + ".validatestring", "\"old\"");
  EXPECT_EQ(0, run().exitStatus);
  EXPECT_EQ(tag, storedTag());
}

// Tests the bar on a terminal: it fills while the archive arrives when its length is known, and
// stays still, without a filled part, when it is not, and the line under it says how much of how
// much has arrived, or how much alone; a run from the cache, over before the window is due, draws
// nothing.
TEST_F(DownloadTest, BarIsIndeterminateWithoutALength) {
  makeZip(archive_, {{"install", kRecordingAgent}, {"padding", std::string(600'000, 'p')}});
  for (const bool announced : {true, false}) {
    std::vector<std::string> args = {"--rate", "1000"};  // about a second: the window shows
    if (!announced) {
      args.emplace_back("--no-length");
    }
    Endpoint server(archive_, args);
    setEndpointUrl(server.url());
    std::filesystem::remove_all(cacheDir());
    // script(1) gives the run a terminal, on which the window is redrawn in place.
    const ProcessResult result = runProcess(
        {"/usr/bin/script", "-qec", smart_quote(executable_), "/dev/null"}, environment());
    EXPECT_EQ(0, result.exitStatus) << result.out;
    const std::string downloading = result.out.substr(0, result.out.find("Initializing"));
    EXPECT_EQ(announced, downloading.find('#') != std::string::npos) << downloading;
    EXPECT_EQ(announced, downloading.find(" bytes of ") != std::string::npos) << downloading;
    EXPECT_NE(std::string::npos, downloading.find(" bytes\033[K")) << downloading;
  }
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  const ProcessResult hit =
      runProcess({"/usr/bin/script", "-qec", smart_quote(executable_), "/dev/null"}, environment());
  EXPECT_EQ(0, hit.exitStatus);
  EXPECT_EQ("", hit.out);
}

// Tests the order in which a new install agent becomes the cache's, as its system calls show it:
// its files on the disk before the swap, and the swap before its validation string, which is
// renamed into place whole and synced.
TEST_F(DownloadTest, DurableBeforeCurrent) {
  if (runProcess({"/usr/bin/strace", "-o", "/dev/null", "/bin/true"}).exitStatus != 0) {
    GTEST_SKIP() << "strace cannot trace here";
  }
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  // A leak check cannot trace a process that strace traces.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const Env noLeakCheck = {{"ASAN_OPTIONS", std::string(asan ? asan : "") + ":detect_leaks=0"}};
  ASSERT_EQ(0, run({}, noLeakCheck,
                   {"/usr/bin/strace", "-f", "-o", root_ / "trace", "-e",
                    "trace=ftruncate,syncfs,fsync,rename,renameat,renameat2"})
                   .exitStatus);
  std::vector<std::string> steps;
  std::istringstream trace(readFile(root_ / "trace"));
  for (std::string line; std::getline(trace, line);) {
    for (const char* step :
         {"ftruncate(", "syncfs(", "fsync(", "installagent.staging-", ".validatestring."}) {
      if (line.find(step) != std::string::npos) {
        steps.emplace_back(step);
        break;
      }
    }
  }
  // From the end of the download on (the archive, which is kept, was handed to the disk as it
  // came): the file system synced, the swap, its directory synced, the record's file synced,
  // renamed into place, and its directory synced.
  const auto sync = std::find(steps.begin(), steps.end(), "syncfs(");
  EXPECT_EQ((std::vector<std::string>{"syncfs(", "installagent.staging-", "fsync(", "fsync(",
                                      ".validatestring.", "fsync("}),
            std::vector<std::string>(sync, steps.end()))
      << readFile(root_ / "trace");
}

// Tests a terminal 28 columns wide as its user sees it (tmux): a failure drawn over the download
// is one drawing of lines cut to the width; the terminal's settings are as they were while it
// waits for a key (so a run killed then leaves them so); and once the window closes, only the
// lines logged above it and the install agent's output remain, after a download as after a run
// from the cache.
TEST_F(DownloadTest, NarrowTerminalIsLeftTidy) {
  makeZip(archive_, {{"install", "echo agent ran"}});
  Endpoint server(archive_);
  Endpoint failing(archive_, {"--status", "404"});
  setEndpointUrl(server.url());
  const ProcessResult result = runProcess(
      {"/bin/sh", "-c",
       "t=\"tmux -S sock\"; $t new-session -d -x 28 -y 12 'stty -g > before; \"$P\";"
       " ZR_INTERNAL_INSTALL_AGENT_URL=$BAD \"$P\"; \"$P\"; tmux -S sock wait -S done; sleep 60' &&"
       " until $t capture-pane -p | grep -A1 'with error' | grep -q Close; do sleep 0.05; done;"
       " stty -g < \"$($t display -p '#{pane_tty}')\" | cmp - before 2>&1; { $t capture-pane -pJ;"
       " $t send-keys Enter; $t wait done; $t capture-pane -pJ; } | grep .; $t kill-server"},
      environment({{"P", executable_}, {"BAD", failing.url()}}), root_.path());
  // The failure's screen, then the last one.
  EXPECT_EQ(
      result.out,
      "agent ran\nDownload failed with http error code- 404\n Installer\n [#######################]"
      "\n Download failed with error\n [ Close ]  Return\nagent ran\nDownload failed with http"
      " error code- 404\nInstallation failed.\nagent ran\n");
}

// Random bytes wherever a user can put them: the user's arguments, the path of the bundle, HOME
// and the endpoint file. The install agent gets its arguments byte for byte, nothing runs that
// the input smuggled in, and a run never crashes: it succeeds, or fails with its message.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

class HostileInputsTest : public ProgramTest {
 protected:
  // Random bytes mixed with shell and unzip syntax; without "/" when `forAName`, and then a
  // command in it would leave its mark in the working directory, which the test checks too.
  std::string randomText(size_t maxLength, bool forAName) {
    const std::string canary = forAName ? "canary" : root_ / "canary";
    const std::vector<std::string> fragments = {"$(touch " + canary + "-a)",
                                                "`touch " + canary + "-b`",
                                                ";touch " + canary + "-c",
                                                "\ntouch " + canary + "-d",
                                                "*",
                                                "?",
                                                "[a-z]",
                                                "~",
                                                "\"",
                                                "'",
                                                "\\",
                                                "$HOME",
                                                " ",
                                                "-d"};
    std::string text = fragments[random_() % fragments.size()];
    for (size_t n = random_() % maxLength; n > 0; --n) {
      text += static_cast<char>(random_() % 255 + 1);
    }
    if (forAName) {
      std::replace(text.begin(), text.end(), '/', '_');
    }
    return text;
  }

  std::mt19937 random_{20261206};
};

}  // namespace

// Tests random byte strings as arguments, in bundle paths and in HOME, through a shipped
// archive (unpacked into the temporary directory) and a download (into a cache below HOME).
TEST_F(HostileInputsTest, RandomArgumentsBundlePathsAndHomes) {
  Endpoint server(archive_);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const std::string dir = root_ / ("b" + std::to_string(round) + randomText(16, true));
    install(round % 2 == 0 ? Layout::kFlat : Layout::kApp, dir);
    if (round % 4 < 2) {
      std::filesystem::copy_file(archive_, resources_ + "/InstallAgent.zip");
    } else {
      setEndpointUrl(server.url());
    }
    std::vector<std::string> args;
    for (int i = 0; i < 20; ++i) {
      args.push_back(randomText(30, false));
    }
    const std::string home = root_ / ("h" + std::to_string(round) + randomText(16, true));
    const ProcessResult result = run(args, {{"HOME", home}});
    ASSERT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ(expectedArgs(args), recordedArgs());
    EXPECT_EQ(round % 4 >= 2,
              exists(home + "/.velmora/app_installer_cache/V3107c/korvex/installagent/install"));
    std::filesystem::remove_all(dir);
    std::filesystem::remove_all(home);
  }
  // Only what the test made: no mark of a command, no file of a word that the shell split.
  EXPECT_EQ((std::vector<std::string>{"Apps \"q\" dir", "agent.zip", "home", "record",
                                      "record.runs", "tmp"}),
            listDir(root_.path()));
}

TEST_F(HostileInputsTest, EndpointFilesOfRandomBytes) {
  std::vector<std::string> contents = {std::string(9'000'000, 'h'),  // longer than any URL
                                       std::string("http://127.0.0.1:1/\0x", 22), "\n\n\n"};
  for (int i = 0; i < 8; ++i) {
    contents.push_back(randomText(300, false));
  }
  for (const std::string& content : contents) {
    writeFile(resources_ + "/installAgentURL.txt", content);
    const ProcessResult result = run();
    expectFailedRun(result.exitStatus, result.err);
  }
}

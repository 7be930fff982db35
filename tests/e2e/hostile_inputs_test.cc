// Random bytes wherever a user or a server can put them: the user's arguments, the path of the
// bundle, HOME, the endpoint file and the validation-string file. The install agent must get
// its arguments byte for byte, nothing outside the test's directories may appear, and a run
// never crashes: it succeeds or fails with its message.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "e2e/agent_fixture.h"
#include "framework/os/remove_tree.h"
#include "support/endpoint_server.h"
#include "support/files.h"

using namespace testing_support;

namespace {

class HostileInputsTest : public testing::Test {
 protected:
  HostileInputsTest() : sandbox_(root_.path()), random_(20261206) {
    makeDirs(canary());
    archive_ = root_ / "agent.zip";
    makeZip(archive_, {{"install", recordingAgentScript()}});
  }

  // Where a command smuggled into an argument or a path would leave its mark.
  std::string canary() const { return root_ / "canary"; }

  std::string randomBytes(size_t minLength, size_t maxLength, bool allowSlash) {
    std::uniform_int_distribution<size_t> length(minLength, maxLength);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string text;
    for (size_t n = length(random_); n > 0; --n) {
      char c = static_cast<char>(byte(random_));
      if (c == '/' && !allowSlash) {
        c = '_';
      }
      text += c;
    }
    return text;
  }

  // A directory name of random bytes, mixed with shell and unzip metacharacters.
  std::string randomName() {
    std::string name = randomBytes(1, 16, false) + hostileFragment(false);
    return name == "." || name == ".." ? name + "x" : name;
  }

  // A piece of shell or unzip syntax; with `allowSlash` false, fit for a file name (a command in
  // it then leaves its mark in the working directory, which the test checks too).
  std::string hostileFragment(bool allowSlash = true) {
    const std::vector<std::string> fragments = {
        "$(touch " + canary() + "/a)",
        "`touch " + canary() + "/b`",
        ";touch " + canary() + "/c",
        "|touch " + canary() + "/d",
        "\ntouch " + canary() + "/e",
        "*",
        "?",
        "[a-z]",
        "~",
        "\"",
        "'",
        "\\",
        "$HOME",
        " ",
        "\t",
        "-d",
        "",
    };
    std::uniform_int_distribution<size_t> pick(0, fragments.size() - 1);
    std::string fragment = fragments[pick(random_)];
    if (!allowSlash) {
      std::replace(fragment.begin(), fragment.end(), '/', '_');
    }
    return fragment;
  }

  ScopedTempDir root_;
  ProgramRun sandbox_;
  std::mt19937 random_;
  std::string archive_;
};

}  // namespace

// Tests thousands of random byte strings as arguments, in bundle paths and in HOME, through
// real runs: a shipped archive (unpacked into the temporary directory) and a download
// (unpacked into a cache below the random HOME).
TEST_F(HostileInputsTest, RandomArgumentsBundlePathsAndHomes) {
  EndpointServer server(archive_);
  int arguments = 0;
  for (int round = 0; round < 80; ++round) {
    SCOPED_TRACE(round);
    const std::string bundleDir = root_ / ("b" + std::to_string(round) + randomName());
    const InstalledProgram program = installFlat(bundleDir);
    const bool download = round % 2 == 1;
    if (download) {
      writeFile(program.resources + "/installAgentURL.txt", server.url("/agent.zip") + "\n");
    } else {
      copyFile(archive_, program.resources + "/InstallAgent.zip", 0644);
    }
    std::vector<std::string> args;
    for (int i = 0; i < 30; ++i) {
      args.push_back(i % 3 == 0 ? hostileFragment() + randomBytes(0, 20, true)
                                : randomBytes(0, 40, true));
    }
    arguments += static_cast<int>(args.size());
    const std::string home = root_ / ("h" + std::to_string(round) + randomName());
    const ProcessResult result = sandbox_.run(program, args, {{"HOME", home}});
    ASSERT_EQ(0, result.exitStatus) << result.err;
    std::vector<std::string> expected = {"-installbundle", program.resources + "/bundle.zip"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(expected, sandbox_.recordedArgs());
    if (download) {
      EXPECT_TRUE(
          exists(home + "/.velmora/app_installer_cache/V3107c/korvex/installagent/install"));
    }
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
    fw::removeItemAtPath(bundleDir);
    fw::removeItemAtPath(home);
  }
  EXPECT_TRUE(listDir(canary()).empty()) << "a command hidden in the input ran";
  // Only what the test made: no stray file from a word that the shell split or expanded.
  EXPECT_EQ(
      (std::vector<std::string>{"agent.zip", "canary", "home", "record", "record.runs", "tmp"}),
      listDir(root_.path()));
  std::cout << "[ figures  ] " << arguments << " random arguments in 80 runs arrived intact\n";
}

TEST_F(HostileInputsTest, EndpointFilesOfRandomBytes) {
  const InstalledProgram program = installFlat(root_ / "app");
  const std::string urlFile = program.resources + "/installAgentURL.txt";
  std::vector<std::string> contents;
  for (int i = 0; i < 12; ++i) {
    contents.push_back(randomBytes(0, 300, true));
  }
  contents.push_back(std::string(9'000'000, 'h'));                // longer than any URL
  contents.push_back(std::string("http://127.0.0.1:1/\0x", 22));  // a NUL in the URL
  contents.push_back("\n\n\n");
  for (const std::string& content : contents) {
    writeFile(urlFile, content);
    const ProcessResult result = sandbox_.run(program, {});
    EXPECT_EQ(255, result.exitStatus) << result.err.substr(0, 300);
    EXPECT_EQ("Installation failed.\n", result.err.substr(result.err.size() - 21));
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
  }
  EXPECT_EQ(0, sandbox_.agentRuns());
}

// Tests that a validation-string file of any content next to a cached install agent never
// breaks a run: the cache is found out of date, replaced, and the file put right.
TEST_F(HostileInputsTest, ValidationFilesOfRandomBytes) {
  EndpointServer server(archive_);
  const InstalledProgram program = installFlat(root_ / "app");
  writeFile(program.resources + "/installAgentURL.txt", server.url("/agent.zip") + "\n");
  ASSERT_EQ(0, sandbox_.run(program, {}).exitStatus);
  const std::string cache = sandbox_.home + "/.velmora/app_installer_cache/V3107c/korvex/";
  const std::string goodTag = readFile(cache + ".validatestring");
  std::vector<std::string> contents;
  for (int i = 0; i < 8; ++i) {
    contents.push_back(randomBytes(1, 200, true));
  }
  contents.push_back(std::string(50 * 1024 * 1024, 'e'));  // huge, no line end
  contents.push_back(goodTag + std::string("\0tail", 5));  // the tag, then a NUL
  contents.push_back(goodTag + "\r\nIf-None-Match: *");    // a header smuggled in
  int runs = 1;
  for (const std::string& content : contents) {
    writeFile(cache + ".validatestring", content);
    const ProcessResult result = sandbox_.run(program, {});
    ASSERT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ(++runs, sandbox_.agentRuns());
    EXPECT_EQ(goodTag, readFile(cache + ".validatestring"));
  }
}

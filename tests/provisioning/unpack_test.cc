#include "provisioning/unpack.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/files.h"
#include "support/scoped_temp_dir.h"

using testing_support::readFile;
using testing_support::ScopedTempDir;

namespace {

std::vector<std::string> reported;

void recordReport(const std::string& message, bool isError) {
  reported.push_back((isError ? "E:" : "I:") + message);
}

class UnpackTest : public testing::Test {
 protected:
  void SetUp() override { reported.clear(); }
  ScopedTempDir dir_;
};

}  // namespace

TEST_F(UnpackTest, MissingArchiveFailsSilently) {
  EXPECT_FALSE(unzipInstallAgent(dir_ / "none.zip", dir_.path(), "unzip", recordReport));
  EXPECT_TRUE(reported.empty());
}

TEST_F(UnpackTest, CorruptArchiveIsReported) {
  testing_support::writeFile(dir_ / "bad.zip", "this is not a zip archive");
  EXPECT_FALSE(unzipInstallAgent(dir_ / "bad.zip", dir_.path(), "unzip", recordReport));
  EXPECT_EQ(std::vector<std::string>{"E:Failed to unzip the install agent"}, reported);
}

// Tests that paths with blanks, quotes and shell or unzip pattern characters reach the tool
// unchanged, and that a second unpack overwrites without asking.
TEST_F(UnpackTest, AwkwardPathsAndRepeatedUnpack) {
  const std::string archive = dir_ / "a \"q\" $x [1]*.zip";
  const std::string target = dir_ / "to `here` ;";
  testing_support::makeDirs(target);
  testing_support::makeZip(archive, {{"install", "echo v1\n"}, {"lib/data", "d"}});
  ASSERT_TRUE(unzipInstallAgent(archive, target, "unzip", recordReport));
  EXPECT_EQ("echo v1\n", readFile(target + "/install"));
  EXPECT_EQ("d", readFile(target + "/lib/data"));
  testing_support::makeZip(archive, {{"install", "echo v2\n"}});
  ASSERT_TRUE(unzipInstallAgent(archive, target, "unzip", recordReport));
  EXPECT_EQ("echo v2\n", readFile(target + "/install"));
  EXPECT_EQ("d", readFile(target + "/lib/data"));  // other files stay
  EXPECT_TRUE(reported.empty());
}

TEST_F(UnpackTest, ToolNotFoundIsReported) {
  testing_support::makeZip(dir_ / "a.zip", {{"install", "x"}});
  EXPECT_FALSE(unzipInstallAgent(dir_ / "a.zip", dir_.path(), "no-such-unzip-tool", recordReport));
  EXPECT_EQ(std::vector<std::string>{"E:Failed to unzip the install agent"}, reported);
}

TEST(PayloadTest, AlwaysZero) {
  EXPECT_EQ(0, extractPayloadToDir("", false, nullptr));
  EXPECT_EQ(0, extractPayloadToDir("/nonexistent", true, nullptr));
}

#include "provisioning/unpack.h"

#include <gtest/gtest.h>

#include "support/files.h"

using namespace testing_support;

// Tests that paths with blanks, quotes and shell or unzip pattern characters reach unzip as they
// are, that a second unpack overwrites without asking, and which failures are reported.
TEST(UnpackTest, UnzipInstallAgent) {
  static std::vector<std::string> reported;
  reported.clear();
  const ReportFn record = [](const std::string& message, bool isError) {
    reported.push_back((isError ? "E:" : "I:") + message);
  };
  const ScopedTempDir dir;
  const std::string archive = dir / "a \"q\" $x [1]*.zip";
  const std::string target = dir / "to `here` ;/";
  EXPECT_FALSE(unzipInstallAgent(archive, target, "unzip", record));  // no archive: silent
  makeZip(archive, {{"install", "v1"}, {"lib/data", "d"}});
  EXPECT_TRUE(unzipInstallAgent(archive, target, "unzip", record));
  makeZip(archive, {{"install", "v2"}});
  EXPECT_TRUE(unzipInstallAgent(archive, target, "unzip", record));
  EXPECT_EQ("v2d", readFile(target + "install") + readFile(target + "lib/data"));
  EXPECT_TRUE(reported.empty());
  EXPECT_FALSE(unzipInstallAgent(archive, target, "no-such-unzip-tool", record));
  writeFile(dir / "bad.zip", "not a zip archive");
  EXPECT_FALSE(unzipInstallAgent(dir / "bad.zip", target, "unzip", record));
  EXPECT_EQ(std::vector<std::string>(2, "E:Failed to unzip the install agent"), reported);
  EXPECT_EQ(0, extractPayloadToDir(target, true, record));  // nothing to extract here
}

#include "provisioning/unpack.h"

#include <gtest/gtest.h>

#include "support/files.h"

using namespace testing_support;

// Tests what the end-to-end suites cannot reach: a missing archive fails silently, a missing
// tool with the report; and that a second unpack overwrites without asking.
TEST(UnpackTest, UnzipInstallAgent) {
  static std::vector<std::string> reported;
  const ReportFn record = [](const std::string& message, bool) { reported.push_back(message); };
  const ScopedTempDir dir;
  EXPECT_FALSE(unzipInstallAgent(dir / "a.zip", dir.path(), "unzip", record));
  EXPECT_TRUE(reported.empty());
  makeZip(dir / "a.zip", {{"install", "v1"}});
  EXPECT_FALSE(unzipInstallAgent(dir / "a.zip", dir.path(), "no-such-unzip-tool", record));
  EXPECT_EQ(std::vector<std::string>{"Failed to unzip the install agent"}, reported);
  EXPECT_TRUE(unzipInstallAgent(dir / "a.zip", dir.path(), "unzip", record));
  makeZip(dir / "a.zip", {{"install", "v2"}});
  EXPECT_TRUE(unzipInstallAgent(dir / "a.zip", dir.path(), "unzip", record));
  EXPECT_EQ("v2", readFile(dir / "install"));
}

#include "provisioning/endpoint_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/scoped_temp_dir.h"

using testing_support::ScopedTempDir;
using testing_support::writeFile;

namespace {

std::vector<std::string> reported;

void recordReport(const std::string& message, bool isError) {
  reported.push_back((isError ? "E:" : "I:") + message);
}

class EndpointFileTest : public testing::Test {
 protected:
  void SetUp() override { reported.clear(); }
  ScopedTempDir dir_;
};

}  // namespace

TEST_F(EndpointFileTest, MissingFileIsSilentlyEmpty) {
  EXPECT_EQ("", readEndpointUrlFile(dir_ / "installAgentURL.txt", recordReport));
  EXPECT_TRUE(reported.empty());
}

TEST_F(EndpointFileTest, FirstLineOnlyAndNothingTrimmed) {
  const std::string path = dir_ / "installAgentURL.txt";
  writeFile(path, "http://a/x.zip\nhttp://b/y.zip\n");
  EXPECT_EQ("http://a/x.zip", readEndpointUrlFile(path, recordReport));
  writeFile(path, "http://a/x.zip\r\n");
  EXPECT_EQ("http://a/x.zip\r", readEndpointUrlFile(path, recordReport));
  writeFile(path, " \thttp://a/x.zip \n");
  EXPECT_EQ(" \thttp://a/x.zip ", readEndpointUrlFile(path, recordReport));
  writeFile(path, "http://no-final-line-feed");
  EXPECT_EQ("http://no-final-line-feed", readEndpointUrlFile(path, recordReport));
  writeFile(path, "\nhttp://second");
  EXPECT_EQ("", readEndpointUrlFile(path, recordReport));
  writeFile(path, std::string("a\0b\n", 4));
  EXPECT_EQ(std::string("a\0b", 3), readEndpointUrlFile(path, recordReport));
  EXPECT_TRUE(reported.empty());
}

TEST_F(EndpointFileTest, UnreadableFileIsReported) {
  const std::string path = dir_ / "installAgentURL.txt";
  ::chmod(dir_.path().c_str(), 0755);
  writeFile(path, "http://secret\n", 0);
  const int status = testing_support::runUnprivileged([&] {
    const std::string url = readEndpointUrlFile(path, recordReport);
    return url.empty() &&
                   reported == std::vector<std::string>{"E:Failed to open install agent URL file"}
               ? 0
               : 1;
  });
  EXPECT_EQ(0, status);
}

TEST_F(EndpointFileTest, ALineLongerThanAnyUrlIsNoUrl) {
  const std::string path = dir_ / "installAgentURL.txt";
  writeFile(path, "http://h/" + std::string(8'000'000, 'a'));
  EXPECT_EQ("", readEndpointUrlFile(path, recordReport));
  const std::string longest = "http://h/" + std::string(8'000'000 - 9, 'a');
  writeFile(path, longest + "\nsecond line");
  EXPECT_EQ(longest, readEndpointUrlFile(path, recordReport));
  EXPECT_TRUE(reported.empty());
}

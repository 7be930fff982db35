#include "provisioning/endpoint_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/files.h"
#include "support/process.h"

TEST(EndpointFileTest, TheFirstLineAsItIsOrAReport) {
  const std::string longest = "http://h/" + std::string(8'000'000 - 9, 'a');
  // clang-format off
  const std::pair<std::string, std::string> rows[] = {  // content, URL
      {"http://a/x.zip\nhttp://b/y.zip\n", "http://a/x.zip"}, {"http://a/x.zip\r\n", "http://a/x.zip\r"},
      {" \thttp://a/x.zip \n", " \thttp://a/x.zip "}, {"http://no-line-feed", "http://no-line-feed"},
      {"\nhttp://second", ""}, {std::string("a\0b\n", 4), std::string("a\0b", 3)},
      {longest + "\nsecond", longest}, {longest + "a", ""}};  // longer than any URL that could be fetched
  // clang-format on
  static std::vector<std::string> reported;
  reported.clear();
  const ReportFn record = [](const std::string& message, bool isError) {
    reported.push_back((isError ? "E:" : "I:") + message);
  };
  const testing_support::ScopedTempDir dir;
  const std::string path = dir / "installAgentURL.txt";
  EXPECT_EQ("", readEndpointUrlFile(path, record));  // no file
  for (const auto& [content, url] : rows) {
    testing_support::writeFile(path, content);
    EXPECT_EQ(url, readEndpointUrlFile(path, record)) << content.substr(0, 40);
  }
  EXPECT_TRUE(reported.empty());
  ::chmod(dir.path().c_str(), 0755);
  testing_support::writeFile(path, "http://secret\n", 0);  // unreadable for an ordinary user
  const std::vector<std::string> failure = {"E:Failed to open install agent URL file"};
  EXPECT_EQ(0, testing_support::runUnprivileged([&] {
              return readEndpointUrlFile(path, record).empty() && reported == failure ? 0 : 1;
            }));
}

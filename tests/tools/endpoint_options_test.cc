#include "endpoint/endpoint_options.h"

#include <gtest/gtest.h>

using endpoint::EndpointOptions;
using endpoint::parseEndpointOptions;

namespace {

bool parse(const std::vector<std::string>& args, EndpointOptions* options, std::string* error) {
  return parseEndpointOptions(args, options, error);
}

}  // namespace

TEST(EndpointOptionsTest, ParsesValuesFlagsAndEqualsForm) {
  EndpointOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--port=8080", "--archive", "a.zip", "--cut-after", "10", "--no-length",
                     "--status=503", "--rate", "1000"},
                    &options, &error))
      << error;
  EXPECT_EQ(8080, options.port);
  EXPECT_EQ("a.zip", options.contentPath());
  EXPECT_EQ(10u, options.cutAfter.value_or(0));
  EXPECT_TRUE(options.noLength);
  EXPECT_EQ(503, options.status.value_or(0));
  EXPECT_EQ(1000u, options.rate);
  EXPECT_FALSE(options.tls());
}

TEST(EndpointOptionsTest, BodyFileWinsOverArchive) {
  EndpointOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--archive", "a.zip", "--body-file", "b.txt"}, &options, &error));
  EXPECT_EQ("b.txt", options.contentPath());
}

// Tests that each kind of failure names the option at fault.
TEST(EndpointOptionsTest, FailuresNameTheOption) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--archive", "a", "--bogus"}, "--bogus"},
      {{"--archive"}, "--archive"},
      {{"--archive", "a", "--port", "70000"}, "--port"},
      {{"--archive", "a", "--cut-after", "x"}, "--cut-after"},
      {{"--archive", "a", "--status", "42"}, "--status"},
      {{"--archive", "a", "--no-etag=1"}, "--no-etag"},
      {{"--archive", "a", "--tls-cert", "c"}, "--tls-key"},
      {{"--archive", "a", "--no-length", "--announce-extra", "1"}, "--announce-extra"},
      {{"--archive", "a", "--cut-after", "1", "--stall-after", "1"}, "--stall-after"},
      {{"--port", "0"}, "--archive"},
  };
  for (const auto& [args, named] : cases) {
    EndpointOptions options;
    std::string error;
    EXPECT_FALSE(parse(args, &options, &error)) << named;
    EXPECT_NE(std::string::npos, error.find(named)) << error;
  }
}

TEST(EndpointOptionsTest, EmptyBodyNeedsNoContent) {
  EndpointOptions options;
  std::string error;
  EXPECT_TRUE(parse({"--empty-body", "--announce-extra", "5"}, &options, &error)) << error;
}

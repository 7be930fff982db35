#include "endpoint/endpoint_options.h"

#include <gtest/gtest.h>

using endpoint::parseEndpointOptions;

// Tests a good command line's values, and that each kind of failure names the option at fault.
TEST(EndpointOptionsTest, ParseEndpointOptions) {
  endpoint::EndpointOptions options;
  std::string error;
  ASSERT_TRUE(parseEndpointOptions({"--port=8080", "--archive", "a", "--body-file=b", "--cut-after",
                                    "10", "--no-length", "--status=503"},
                                   &options, &error))
      << error;
  EXPECT_EQ(std::tuple(8080, std::string("b"), uint64_t{10}, true, 503),
            std::tuple(options.port, options.contentPath(), *options.cutAfter, options.noLength,
                       *options.status));
  EXPECT_TRUE(parseEndpointOptions({"--empty-body", "--announce-extra", "5"}, &options, &error));
  // clang-format off
  const std::pair<std::vector<std::string>, std::string> bad[] = {  // arguments, the option named
      {{"--archive", "a", "--bogus"}, "--bogus"}, {{"--archive"}, "--archive"}, {{"--port", "0"}, "--archive"},
      {{"--archive", "a", "--port", "70000"}, "--port"}, {{"--archive", "a", "--cut-after", "x"}, "--cut-after"},
      {{"--archive", "a", "--status", "42"}, "--status"}, {{"--archive", "a", "--no-etag=1"}, "--no-etag"},
      {{"--archive", "a", "--tls-cert", "c"}, "--tls-key"}, {{"--archive", "a", "--no-length", "--announce-extra", "1"}, "--announce-extra"},
      {{"--archive", "a", "--cut-after", "1", "--stall-after", "1"}, "--stall-after"}};
  // clang-format on
  for (const auto& [args, named] : bad) {
    EXPECT_FALSE(parseEndpointOptions(args, &options, &error)) << named;
    EXPECT_NE(std::string::npos, error.find(named)) << error;
  }
}

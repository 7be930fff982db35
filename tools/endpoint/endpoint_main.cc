// bi-endpoint: a small local HTTP(S) endpoint for examples and tests. It serves one archive
// for GET of any path on 127.0.0.1 with a SHA-256 ETag, answers If-None-Match, and can be told
// to misbehave (wrong status, cut or stalled bodies, slow sends). See endpointUsage().

#include <cstdio>
#include <string>
#include <vector>

#include "endpoint/endpoint_options.h"
#include "endpoint/run_endpoint.h"

int main(int argc, char** argv) {
  endpoint::EndpointOptions options;
  std::string error;
  if (!endpoint::parseEndpointOptions(std::vector<std::string>(argv + 1, argv + argc), &options,
                                      &error)) {
    (void)std::fprintf(stderr, "bi-endpoint: %s\n%s", error.c_str(),
                       endpoint::endpointUsage().c_str());
    return 2;
  }
  if (options.help) {
    (void)std::printf("%s", endpoint::endpointUsage().c_str());
    return 0;
  }
  return endpoint::runEndpoint(options);
}

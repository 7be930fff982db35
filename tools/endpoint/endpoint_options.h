#ifndef TOOLS_ENDPOINT_ENDPOINT_OPTIONS_H_
#define TOOLS_ENDPOINT_ENDPOINT_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace endpoint {

/// How bi-endpoint serves: where it listens, what it sends, and how it misbehaves.
struct EndpointOptions {
  int port = 0;          // 0: any free port
  std::string portFile;  // empty: none
  std::string archive;   // the content served for GET
  std::string bodyFile;  // served instead of the archive when set
  std::string logFile;   // empty: no request log
  std::string tlsCert;   // both set: HTTPS
  std::string tlsKey;
  std::string redirectTo;  // every content request is sent there, when set
  std::string signature;   // served for paths that end in ".minisig", when set
  bool ignoreIfNoneMatch = false;
  std::optional<int> status;  // every content response gets this status
  bool emptyBody = false;
  bool noEtag = false;
  bool noLength = false;  // chunked transfer encoding
  std::optional<uint64_t> cutAfter;
  uint64_t announceExtra = 0;
  uint64_t rate = 0;  // bytes per second; 0: as fast as possible
  std::optional<uint64_t> stallAfter;
  bool help = false;

  bool tls() const { return !tlsCert.empty(); }
  /// The file whose bytes make the body, or empty when there is none.
  const std::string& contentPath() const { return bodyFile.empty() ? archive : bodyFile; }
};

/// Fills `options` from the arguments that follow the program name ("--name value" or
/// "--name=value"). Returns false with a message naming the option in `error` when an option is
/// unknown, lacks its value, has a malformed value or conflicts with another.
bool parseEndpointOptions(const std::vector<std::string>& args, EndpointOptions* options,
                          std::string* error);

/// The usage text, one option a line.
std::string endpointUsage();

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_ENDPOINT_OPTIONS_H_

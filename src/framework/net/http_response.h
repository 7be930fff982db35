#ifndef SRC_FRAMEWORK_NET_HTTP_RESPONSE_H_
#define SRC_FRAMEWORK_NET_HTTP_RESPONSE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw {

/// The final HTTP response of a transfer, after any redirects.
struct HttpResponse {
  /// The URL that the response came from, the last one after redirects.
  std::string url;
  long statusCode = 0;
  /// The announced length of the body, or -1 when the server announced none.
  int64_t expectedContentLength = -1;
  /// The header fields in the order received: names as sent, values without surrounding blanks.
  std::vector<std::pair<std::string, std::string>> headerFields;

  /// The value of the named field, the name compared without regard to case; fields that occur
  /// more than once are joined with ", ". None when the field is absent.
  std::optional<std::string> valueForHeaderField(std::string_view name) const;
};

/// Reads one header line as a transfer delivers it ("Name: value\r\n", a status line, or an
/// obsolete continuation line) into the response being collected. A status line starts a new
/// response: the fields of an earlier one (a redirect, an interim 1xx) are dropped.
void addHeaderLine(HttpResponse& response, std::string_view line);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_HTTP_RESPONSE_H_

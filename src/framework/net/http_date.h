#ifndef SRC_FRAMEWORK_NET_HTTP_DATE_H_
#define SRC_FRAMEWORK_NET_HTTP_DATE_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace fw {

/// The time (seconds since the epoch, UTC) of an HTTP date in any of the three forms that HTTP
/// recipients read: "Sun, 06 Nov 1994 08:49:37 GMT", the obsolete "Sunday, 06-Nov-94 08:49:37
/// GMT" (a two-digit year taken as the latest such year not more than 50 years ahead of
/// `now`) and C's asctime "Sun Nov  6 08:49:37 1994". None for anything else, and for a time
/// before 1970, which no server's clock gives.
std::optional<int64_t> parseHttpDate(std::string_view text, int64_t now);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_HTTP_DATE_H_

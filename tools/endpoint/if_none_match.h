#ifndef TOOLS_ENDPOINT_IF_NONE_MATCH_H_
#define TOOLS_ENDPOINT_IF_NONE_MATCH_H_

#include <string_view>

namespace endpoint {

/// True when the If-None-Match field value `field` is "*" or lists `tag` (a quoted entity tag
/// such as "abc"). Comparison is the weak one the header calls for: W/"abc" matches "abc".
/// Members that are not quoted tags are skipped.
bool ifNoneMatchMatches(std::string_view field, std::string_view tag);

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_IF_NONE_MATCH_H_

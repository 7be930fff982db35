#ifndef SRC_FRAMEWORK_NET_BYTE_RANGES_H_
#define SRC_FRAMEWORK_NET_BYTE_RANGES_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace fw {

/// A Content-Range field's value: "bytes FIRST-LAST/COMPLETE" (COMPLETE may be "*"), or
/// "bytes */COMPLETE" for a range that could not be satisfied.
struct ContentRange {
  bool satisfied = false;
  uint64_t first = 0;
  uint64_t last = 0;
  std::optional<uint64_t> complete;
};

/// The value parsed strictly (digits only, LAST not before FIRST and before COMPLETE, no
/// overflow); none when it is not of that form.
std::optional<ContentRange> parseContentRange(std::string_view value);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_BYTE_RANGES_H_

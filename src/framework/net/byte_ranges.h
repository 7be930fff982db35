#ifndef SRC_FRAMEWORK_NET_BYTE_RANGES_H_
#define SRC_FRAMEWORK_NET_BYTE_RANGES_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

/// The Range field value that asks for the ranges (first and last byte, inclusive):
/// "bytes=0-99,200-299". Empty for no ranges.
std::string rangeHeaderValue(const std::vector<std::pair<uint64_t, uint64_t>>& ranges);

/// The boundary parameter of a Content-Type value of the media type multipart/byteranges, as
/// a token or a quoted string (its escapes undone), the names in any case. None when the type is
/// another or the boundary is missing, empty or longer than 70 characters.
std::optional<std::string> byterangesBoundary(std::string_view contentType);

/// Reads a multipart/byteranges body as it arrives, in pieces split anywhere, and hands each
/// part's data to `onData` at its offset (from the part's Content-Range), in as many calls as
/// the pieces split it into. Holds at most one part's header block (kMaxHeaderBlock) and a
/// boundary line, never a part's data. A preamble before the first boundary and an epilogue
/// after the closing one are skipped; everything else must be exact: each part with one
/// satisfied Content-Range, all of one complete length, and data exactly that long followed by
/// CRLF and the boundary.
class ByterangesParser {
 public:
  using DataFn = std::function<void(uint64_t offset, std::string_view bytes)>;
  /// The longest header block of a part, and line of the preamble, that the parser holds.
  static constexpr size_t kMaxHeaderBlock = size_t{16} << 10;

  ByterangesParser(std::string boundary, DataFn onData);

  /// Reads the next piece of the body. False, with the reason in `error`, once the body is
  /// malformed; every later call fails too.
  bool feed(std::string_view piece, std::string* error);
  /// Whether the body may end here: true after the closing boundary with at least one part
  /// before it, false with the reason in `error` otherwise.
  bool finish(std::string* error);
  /// The complete length that the parts gave, once one has.
  std::optional<uint64_t> completeLength() const { return completeLength_; }

 private:
  enum class State { kPreamble, kHeaders, kData, kDelimiter, kAfterBoundary, kEpilogue, kFailed };

  // Each takes what it can from the front of `piece`; false after setting error_.
  bool readLine(std::string_view& piece, std::optional<std::string_view>* line);
  bool onPreambleLine(std::string_view line);
  bool onHeaderLine(std::string_view line);
  bool onBoundaryLineEnd(std::string_view rest);
  bool fail(const char* why);

  std::string delimiter_;  // CRLF "--" boundary: what follows each part's data
  DataFn onData_;
  State state_ = State::kPreamble;
  std::string line_;  // the line being read (or the start of a header block)
  std::optional<ContentRange> partRange_;
  uint64_t dataLeft_ = 0, dataOffset_ = 0;
  size_t matched_ = 0;  // of delimiter_, after a part's data
  size_t parts_ = 0;
  std::optional<uint64_t> completeLength_;
  std::string error_;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_BYTE_RANGES_H_

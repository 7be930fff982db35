#ifndef SRC_FRAMEWORK_NET_BODY_FILE_WRITER_H_
#define SRC_FRAMEWORK_NET_BODY_FILE_WRITER_H_

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/net/byte_ranges.h"
#include "framework/net/http_response.h"

namespace fw {

/// Where the bytes of a 206 go in the file.
enum class RangePlacement {
  kAfterKept,  ///< one range, which must start where the kept bytes end (a resumed transfer)
  kAtRanges,   ///< each range where its Content-Range says, several as multipart/byteranges
};

/// Writes one response's body into a file, piece by piece as it arrives: a 200's (any 2xx but
/// 206) from the file's start, whatever the file held going; a 206's as `placement` says; no
/// other status's, the file keeping what it held. With `handsToDisk`, what is written is handed
/// to the disk as it comes, without waiting, so that a later sync of the file system finds
/// little of it left. The descriptor is not owned.
class BodyFileWriter {
 public:
  BodyFileWriter(int fd, int64_t keptBytes, RangePlacement placement, bool handsToDisk);
  ~BodyFileWriter();
  BodyFileWriter(const BodyFileWriter&) = delete;
  BodyFileWriter& operator=(const BodyFileWriter&) = delete;

  /// Stores the next piece of the body of `response` (its status and fields known). 0, or the
  /// errno of a failed write; EIO for a body that does not fit the file, with problem() saying
  /// why.
  int write(const HttpResponse& response, std::string_view piece);
  /// At the body's end: none, or why a multipart body was incomplete.
  std::optional<std::string> finish();
  const std::string& problem() const { return problem_; }

 private:
  int start(const HttpResponse& response);
  int writeAt(uint64_t offset, std::string_view bytes);

  enum class Mode { kUndecided, kStream, kParts, kDiscard };
  int fd_;
  int64_t keptBytes_;
  RangePlacement placement_;
  bool handsToDisk_;
  Mode mode_ = Mode::kUndecided;
  uint64_t offset_ = 0;    // where the next streamed byte goes
  uint64_t unhanded_ = 0;  // written since the last hand-over to the disk
  uint64_t handedFrom_ = 0;
  int writeError_ = 0;
  std::unique_ptr<ByterangesParser> parts_;
  std::string problem_;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_BODY_FILE_WRITER_H_

#include "framework/net/body_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace fw {

namespace {

// How much is written before it is handed to the disk: enough for the disk to write it in one
// go, little enough to keep the disk busy while the rest arrives.
constexpr uint64_t kHandOverStep = uint64_t{8} << 20;

}  // namespace

BodyFileWriter::BodyFileWriter(int fd, int64_t keptBytes, RangePlacement placement,
                               bool handsToDisk)
    : fd_(fd), keptBytes_(keptBytes), placement_(placement), handsToDisk_(handsToDisk) {}

BodyFileWriter::~BodyFileWriter() = default;

int BodyFileWriter::start(const HttpResponse& response) {
  const long status = response.statusCode;
  if (status < 200 || status >= 300) {
    mode_ = Mode::kDiscard;
    return 0;
  }
  mode_ = Mode::kStream;
  if (status != 206) {  // a whole body replaces whatever the file held
    return ::ftruncate(fd_, 0) == 0 ? 0 : errno;
  }
  const std::optional<std::string> type = response.valueForHeaderField("Content-Type");
  const std::optional<std::string> boundary = type ? byterangesBoundary(*type) : std::nullopt;
  if (boundary && placement_ == RangePlacement::kAtRanges) {
    mode_ = Mode::kParts;
    parts_ = std::make_unique<ByterangesParser>(
        *boundary, [this](uint64_t offset, std::string_view bytes) {
          writeError_ = writeError_ != 0 ? writeError_ : writeAt(offset, bytes);
        });
    return 0;
  }
  const std::optional<std::string> value = response.valueForHeaderField("Content-Range");
  const std::optional<ContentRange> range = value ? parseContentRange(*value) : std::nullopt;
  if (!range || !range->satisfied ||
      (placement_ == RangePlacement::kAfterKept &&
       range->first != static_cast<uint64_t>(keptBytes_))) {
    problem_ = "the server's range does not start where the kept bytes end";
    return EIO;
  }
  offset_ = range->first;
  return 0;
}

int BodyFileWriter::writeAt(uint64_t offset, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno != EINTR) {
      return errno;
    }
    const auto count = static_cast<size_t>(written < 0 ? 0 : written);
    bytes.remove_prefix(count);
    offset += count;
    unhanded_ += count;
  }
  if (handsToDisk_ && unhanded_ >= kHandOverStep) {
    // Only a head start: nothing waits for it, and a failure costs only the later sync's time.
    (void)::sync_file_range(fd_, static_cast<off_t>(handedFrom_), 0, SYNC_FILE_RANGE_WRITE);
    handedFrom_ = offset;
    unhanded_ = 0;
  }
  return 0;
}

int BodyFileWriter::write(const HttpResponse& response, std::string_view piece) {
  if (mode_ == Mode::kUndecided) {
    if (const int error = start(response); error != 0) {
      return error;
    }
  }
  switch (mode_) {
    case Mode::kStream: {
      const int error = writeAt(offset_, piece);
      offset_ += piece.size();
      return error;
    }
    case Mode::kParts:
      if (!parts_->feed(piece, &problem_)) {
        problem_ = "the server's ranges cannot be read: " + problem_;
        return EIO;
      }
      return writeError_;
    default:
      return 0;
  }
}

std::optional<std::string> BodyFileWriter::finish() {
  std::string error;
  if (mode_ == Mode::kParts && !parts_->finish(&error)) {
    return "the server's ranges cannot be read: " + error;
  }
  return std::nullopt;
}

}  // namespace fw

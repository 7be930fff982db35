#ifndef TOOLS_ENDPOINT_BODY_STREAM_H_
#define TOOLS_ENDPOINT_BODY_STREAM_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "endpoint/content_file.h"

namespace httplib {
class DataSink;
}

namespace endpoint {

/// How much of a body goes out, how fast, and what happens when the limit is reached.
struct BodyPlan {
  uint64_t contentSize = 0;         // bytes of content (0 for an empty body)
  uint64_t sendLimit = UINT64_MAX;  // body bytes sent before the misbehaviour starts
  bool stallAtLimit = false;        // at the limit: send nothing until stopped, then close
  uint64_t rate = 0;                // bytes per second; 0: as fast as the socket takes them
};

/// Feeds one response body from a content file to httplib's content providers in pieces of at
/// most 256 KiB (about a twentieth of a second's worth when paced), read from disk as they go.
/// Counts the body bytes the socket accepted. Used from the one thread writing the response.
class BodyStream {
 public:
  /// `stopping` turns true when the server stops; waits end then.
  BodyStream(ContentFile file, BodyPlan plan, const std::atomic<bool>& stopping);
  BodyStream(const BodyStream&) = delete;
  BodyStream& operator=(const BodyStream&) = delete;

  /// For a response of announced length: sends the next piece of content from `offset`, at
  /// most `length` bytes. Returns false, which makes httplib close the connection, when the
  /// send limit or the end of the content comes before the announced length (after a stall if
  /// planned), when the socket takes no more, when reading fails or when the server stops.
  bool provide(size_t offset, size_t length, httplib::DataSink& sink);

  /// For a chunked response: as provide(), and ends the body at the end of the content.
  bool provideChunked(size_t offset, httplib::DataSink& sink);

  uint64_t bodyBytes() const { return sent_; }

 private:
  uint64_t pieceSize() const;
  bool waitForPace();
  bool endEarly();

  ContentFile file_;
  BodyPlan plan_;
  const std::atomic<bool>& stopping_;
  uint64_t sent_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::vector<char> buffer_;
};

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_BODY_STREAM_H_

#include "endpoint/body_stream.h"

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace endpoint {

namespace {

constexpr uint64_t kMaxPiece = uint64_t{256} * 1024;
constexpr auto kWaitStep = std::chrono::milliseconds(10);

}  // namespace

BodyStream::BodyStream(ContentFile file, BodyPlan plan, const std::atomic<bool>& stopping)
    : file_(std::move(file)), plan_(plan), stopping_(stopping) {}

bool BodyStream::provide(size_t offset, size_t length, httplib::DataSink& sink) {
  if (sent_ >= plan_.sendLimit || offset >= plan_.contentSize) {
    return endEarly();
  }
  if (sent_ == 0) {
    start_ = std::chrono::steady_clock::now();
  }
  const uint64_t piece = std::min({static_cast<uint64_t>(length), pieceSize(),
                                   plan_.sendLimit - sent_, plan_.contentSize - offset});
  if (!waitForPace()) {
    return false;
  }
  buffer_.resize(piece);
  const ssize_t got =
      ::pread(file_.fd(), buffer_.data(), buffer_.size(), static_cast<off_t>(offset));
  if (got != static_cast<ssize_t>(piece) || !sink.write(buffer_.data(), buffer_.size())) {
    return false;
  }
  sent_ += piece;
  return true;
}

bool BodyStream::provideChunked(size_t offset, httplib::DataSink& sink) {
  if (offset >= plan_.contentSize) {
    sink.done();
    return true;
  }
  return provide(offset, SIZE_MAX, sink);
}

uint64_t BodyStream::pieceSize() const {
  if (plan_.rate == 0) {
    return kMaxPiece;
  }
  return std::clamp<uint64_t>(plan_.rate / 20, 1, kMaxPiece);
}

// Sending the bytes sent so far should have taken sent_ / rate seconds; waits until then.
bool BodyStream::waitForPace() {
  if (plan_.rate > 0) {
    const auto due = start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(static_cast<double>(sent_) /
                                                                static_cast<double>(plan_.rate)));
    for (auto now = std::chrono::steady_clock::now(); now < due && !stopping_;
         now = std::chrono::steady_clock::now()) {
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(due - now, kWaitStep));
    }
  }
  return !stopping_;
}

bool BodyStream::endEarly() {
  if (plan_.stallAtLimit && sent_ >= plan_.sendLimit) {
    // Keep the connection open and silent; the server's stop ends the wait.
    while (!stopping_) {
      std::this_thread::sleep_for(kWaitStep);
    }
  }
  return false;
}

}  // namespace endpoint

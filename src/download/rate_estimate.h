#ifndef SRC_DOWNLOAD_RATE_ESTIMATE_H_
#define SRC_DOWNLOAD_RATE_ESTIMATE_H_

#include <chrono>
#include <cstdint>
#include <optional>

/// The rate of a transfer as the time left is worked out from: smoothed over the last few
/// seconds, so that the time left does not jump about with each burst and lull of the network,
/// and known only once a second of data is in, before which a guess would be wild. Times come
/// from the caller, so that a test needs no clock.
class RateEstimate {
 public:
  using Clock = std::chrono::steady_clock;

  /// Notes that `received` bytes in all had arrived at `now`, which never goes back. The first
  /// call marks the first data.
  void add(int64_t received, Clock::time_point now);

  /// Bytes a second; none until a second after the first data.
  std::optional<double> bytesPerSecond() const { return rate_; }

  /// Seconds until `expected` bytes are in at that rate; none while the rate is unknown or nil,
  /// or when `expected` is unknown (negative) or already reached.
  std::optional<double> secondsLeft(int64_t expected) const;

 private:
  std::optional<Clock::time_point> first_;
  Clock::time_point last_{};
  int64_t firstReceived_ = 0;
  int64_t lastReceived_ = 0;
  std::optional<double> rate_;
};

#endif  // SRC_DOWNLOAD_RATE_ESTIMATE_H_

#include "download/rate_estimate.h"


namespace {

using Seconds = std::chrono::duration<double>;

// How long the rate takes to settle before it is shown: less, and the first time left is wild.
constexpr Seconds kWarmUp{1.0};
// How long a burst or a lull takes to fade from the rate (to a third of its weight): long enough
// that the time left changes smoothly, short enough that it follows a lasting change of speed.
constexpr double kSmoothingSeconds = 3.0;

}  // namespace

void RateEstimate::add(int64_t received, Clock::time_point now) {
  if (!first_) {
    first_ = last_ = now;
    firstReceived_ = lastReceived_ = received;
    return;
  }
  const double interval = Seconds(now - last_).count();
  if (interval <= 0) {
    return;
  }
  if (rate_) {
    // Each reading weighs by the time it covers, however irregularly they come.
    const double reading = static_cast<double>(received - lastReceived_) / interval;
    // x / (1 + x) stands for 1 - e^-x, which it follows closely for readings much shorter than
    // the smoothing time: the exp of the systems that the program runs on binds it to a newer
    // glibc (2.29) than they all have.
    const double weight = interval / kSmoothingSeconds;
    *rate_ += weight / (1 + weight) * (reading - *rate_);
  } else if (const Seconds elapsed = now - *first_; elapsed >= kWarmUp) {
    rate_ = static_cast<double>(received - firstReceived_) / elapsed.count();
  }
  last_ = now;
  lastReceived_ = received;
}

std::optional<double> RateEstimate::secondsLeft(int64_t expected) const {
  if (!rate_ || *rate_ <= 0 || expected < 0 || lastReceived_ >= expected) {
    return std::nullopt;
  }
  return static_cast<double>(expected - lastReceived_) / *rate_;
}

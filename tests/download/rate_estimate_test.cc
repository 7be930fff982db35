#include "download/rate_estimate.h"

#include <gtest/gtest.h>

TEST(RateEstimateTest, KnownAfterASecondAndSmooth) {
  const auto at = [](int quarters) {
    return RateEstimate::Clock::time_point{} + std::chrono::milliseconds(250 * quarters);
  };
  RateEstimate rate;
  for (int quarter = 0; quarter < 4; ++quarter) {  // 1000 bytes a second
    rate.add(1000 + 250 * quarter, at(quarter));
    EXPECT_FALSE(rate.secondsLeft(10'000)) << "no guess before a second of data";
  }
  rate.add(2000, at(4));
  EXPECT_DOUBLE_EQ(8, *rate.secondsLeft(10'000));
  rate.add(4500, at(5));  // a quarter second at ten times the rate is no new rate
  EXPECT_LT(*rate.bytesPerSecond(), 2000);
  rate.add(4500, at(6));  // nor is a quarter second of nothing
  EXPECT_GT(*rate.bytesPerSecond(), 1000);
  EXPECT_FALSE(rate.secondsLeft(4500)) << "nothing left";
  EXPECT_FALSE(rate.secondsLeft(-1)) << "no length";
}

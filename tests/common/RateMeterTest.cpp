#include <gtest/gtest.h>

#include "common/RateMeter.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

TEST(RateMeter, MeasuresOverTheLastSecondsOnly) {
  RateMeter meter(3s);
  const auto t0 = RateMeter::Clock::time_point{};
  EXPECT_FALSE(meter.BytesPerSecond());
  meter.Add(0, t0);
  meter.Add(100'000, t0 + 200ms);
  EXPECT_FALSE(meter.BytesPerSecond()) << "too soon to tell";
  meter.Add(1'000'000, t0 + 1s);
  ASSERT_TRUE(meter.BytesPerSecond());
  EXPECT_DOUBLE_EQ(*meter.BytesPerSecond(), 1'000'000);
  // The pace drops: after the window only the slow part counts.
  for (int s = 2; s <= 8; ++s) meter.Add(1'000'000 + (s - 1) * 10'000, t0 + s * 1s);
  ASSERT_TRUE(meter.BytesPerSecond());
  EXPECT_NEAR(*meter.BytesPerSecond(), 10'000, 1);
  meter.Reset();
  EXPECT_FALSE(meter.BytesPerSecond());
}

TEST(RateMeter, SpeedAndTimeLeftTexts) {
  EXPECT_EQ(SpeedText(1'500'000), "1.5 MB/s");
  EXPECT_EQ(SpeedText(820'000), "820 KB/s");
  EXPECT_EQ(SpeedText(0), "0 KB/s");
  EXPECT_EQ(TimeLeftText(3725'000'000, 1'000'000.0), "01:02:05");
  EXPECT_EQ(TimeLeftText(1, 1'000'000.0), "00:00:01");
  EXPECT_EQ(TimeLeftText(0, 1'000'000.0), "00:00:00");
  EXPECT_EQ(TimeLeftText(1000, std::nullopt), "--:--:--");
  EXPECT_EQ(TimeLeftText(1000, 0.0), "--:--:--");
}

}  // namespace
}  // namespace quillon

#include <gtest/gtest.h>

#include <clocale>

#include "common/Clock.h"

namespace quillon {
namespace {

TEST(Clock, UserTimeFormatIsEnglishWhateverTheLocale) {
  std::setlocale(LC_ALL, "");
  TimePoint t = FromLocalTime(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(FormatUserTime(t), "Tue 03/05/2024 02:07:09 PM");
  EXPECT_EQ(FormatLocalTime(t, "_%Y_%m_%d_%H_%M_%S"), "_2024_03_05_14_07_09");
}

TEST(Clock, FixedClockAnswersItsTime) {
  FixedClock clock(FromLocalTime(2000, 1, 1, 0, 0, 0));
  EXPECT_EQ(FormatUserTime(clock.Now()), "Sat 01/01/2000 12:00:00 AM");
}

TEST(Clock, TimesBeyondATimePointAreHeldAtItsEnds) {
  using namespace std::chrono;
  const sys_seconds inside = sys_days(year(2024) / 2 / 29) + hours(13);
  EXPECT_EQ(ClampedTimePoint(inside), inside);
  const TimePoint latest = ClampedTimePoint(sys_days(year(9999) / 12 / 31));
  const TimePoint earliest = ClampedTimePoint(sys_days(year(0) / 1 / 1));
  EXPECT_GT(latest, sys_days(year(2262) / 4 / 10));
  EXPECT_LT(earliest, sys_days(year(1677) / 9 / 22));
  // The ends are whole seconds, so every later conversion to seconds stays exact.
  EXPECT_EQ(ClampedTimePoint(floor<seconds>(latest)), latest);
  EXPECT_EQ(ClampedTimePoint(floor<seconds>(earliest)), earliest);
  EXPECT_FALSE(FormatUserTime(latest).empty());
  // A fraction of a second joins a time inside; the ends stay whole seconds.
  EXPECT_EQ(ClampedTimePoint(inside, milliseconds(250)), inside + milliseconds(250));
  EXPECT_EQ(ClampedTimePoint(floor<seconds>(latest), milliseconds(999)), latest);
}

}  // namespace
}  // namespace quillon

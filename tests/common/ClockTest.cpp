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

}  // namespace
}  // namespace quillon

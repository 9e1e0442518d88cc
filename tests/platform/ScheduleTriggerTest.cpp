// The trigger record: calendar arithmetic, its stored text, next runs and descriptions. The
// suite runs with TZ=UTC so local times are fixed.
#include <gtest/gtest.h>

#include "common/Clock.h"
#include "platform/ScheduleTrigger.h"

namespace quillon {
namespace {

ScheduleTrigger Trigger(TriggerType type, CivilDate begin, int hour, int minute, int interval = 0,
                        int duration = 0) {
  ScheduleTrigger t;
  t.beginYear = begin.year;
  t.beginMonth = begin.month;
  t.beginDay = begin.day;
  t.startHour = hour;
  t.startMinute = minute;
  t.type = type;
  t.minutesInterval = interval;
  t.minutesDuration = duration;
  switch (type) {
    case TriggerType::Daily:
      t.daysInterval = 1;
      break;
    case TriggerType::Weekly:
      t.weeksInterval = 1;
      t.daysOfWeek = 1 << WeekdayOf(begin);
      break;
    case TriggerType::MonthlyDate:
      t.monthDays = 1 << (begin.day - 1);
      t.months = 4095;
      break;
    case TriggerType::Once:
      break;
  }
  return t;
}

TimePoint At(int y, int mo, int d, int h, int mi, int s = 0) {
  return FromLocalTime(y, mo, d, h, mi, s);
}

TEST(CivilDate, WeekdaysAndMonthLengths) {
  EXPECT_EQ(WeekdayOf({1970, 1, 1}), 4);
  EXPECT_EQ(WeekdayOf({1969, 12, 31}), 3);
  EXPECT_EQ(WeekdayOf({2024, 5, 15}), 3);  // a Wednesday
  EXPECT_EQ(WeekdayOf({1601, 1, 1}), 1);
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  for (int64_t day : {-200000, -1, 0, 59, 19858, 3000000}) {
    EXPECT_EQ(DaysFromCivil(CivilFromDays(day)), day);
  }
}

TEST(ScheduleTrigger, StoredTextReadsBackExactlyAndRefusesAnythingElse) {
  ScheduleTrigger t = Trigger(TriggerType::Weekly, {2024, 5, 15}, 9, 30, 90, 360);
  std::string text = TriggerToText(t);
  EXPECT_EQ(text,
            "type=2 year=2024 month=5 day=15 hour=9 minute=30 days-interval=0 weeks-interval=1 "
            "days-of-week=8 month-days=0 months=0 minutes-interval=90 minutes-duration=360");
  EXPECT_EQ(TriggerFromText(text), t);

  std::string without = text.substr(0, text.rfind(' '));
  for (const std::string& bad : {without, text + " extra=1", text + " type=1",
                                 "type=9" + text.substr(6), text + "x", std::string("")}) {
    EXPECT_EQ(TriggerFromText(bad), std::nullopt) << bad;
  }
}

TEST(ScheduleTrigger, NextRunFollowsTheTriggerDaysAndRepetitions) {
  struct Case {
    const char* what;
    ScheduleTrigger trigger;
    TimePoint now;
    std::optional<TimePoint> next;
  };
  const Case cases[] = {
      {"once, ahead", Trigger(TriggerType::Once, {2024, 5, 15}, 9, 30), At(2024, 5, 1, 0, 0),
       At(2024, 5, 15, 9, 30)},
      {"once, past", Trigger(TriggerType::Once, {2024, 5, 15}, 9, 30), At(2024, 5, 15, 9, 30),
       std::nullopt},
      {"daily", Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30), At(2024, 5, 20, 10, 0),
       At(2024, 5, 21, 9, 30)},
      {"daily, begin ahead", Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30),
       At(2024, 5, 1, 10, 0), At(2024, 5, 15, 9, 30)},
      {"every 90 min 4 times, within", Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30, 90, 360),
       At(2024, 5, 20, 12, 0), At(2024, 5, 20, 12, 30)},
      {"every 90 min 4 times, after the last",
       Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30, 90, 360), At(2024, 5, 20, 14, 0, 1),
       At(2024, 5, 21, 9, 30)},
      {"repetitions past midnight", Trigger(TriggerType::Weekly, {2024, 5, 15}, 23, 0, 120, 360),
       At(2024, 5, 16, 0, 30), At(2024, 5, 16, 1, 0)},
      {"weekly on the begin's weekday", Trigger(TriggerType::Weekly, {2024, 5, 15}, 9, 30),
       At(2024, 5, 16, 0, 0), At(2024, 5, 22, 9, 30)},
      {"monthly on the 31st skips short months",
       Trigger(TriggerType::MonthlyDate, {2024, 1, 31}, 6, 0), At(2024, 4, 1, 0, 0),
       At(2024, 5, 31, 6, 0)},
      {"once, repeating over two days",
       Trigger(TriggerType::Once, {2024, 5, 15}, 12, 0, 1440, 2880), At(2024, 5, 15, 12, 0),
       At(2024, 5, 16, 12, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextTriggerRun(c.trigger, c.now), c.next) << c.what;
  }
  ScheduleTrigger unsupported = Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30);
  unsupported.daysInterval = 0;
  EXPECT_EQ(NextTriggerRun(unsupported, At(2024, 5, 1, 0, 0)), std::nullopt);
}

// Intervals above 1: every n-th day from the begin day, every n-th week (from Sunday) from the
// begin's week, tested on the day of a run.
TEST(ScheduleTrigger, DayAndWeekIntervalsCountFromTheBegin) {
  ScheduleTrigger every3 = Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30);
  every3.daysInterval = 3;
  ScheduleTrigger fortnight = Trigger(TriggerType::Weekly, {2024, 5, 15}, 9, 30);  // a Wednesday
  fortnight.weeksInterval = 2;
  fortnight.daysOfWeek = 2 | 32;  // Monday and Friday
  struct Case {
    const char* what;
    ScheduleTrigger trigger;
    TimePoint now;
    TimePoint next;
  } cases[] = {
      {"the begin day", every3, At(2024, 5, 1, 0, 0), At(2024, 5, 15, 9, 30)},
      {"three days on", every3, At(2024, 5, 15, 9, 30), At(2024, 5, 18, 9, 30)},
      {"across a month", every3, At(2024, 5, 31, 10, 0), At(2024, 6, 2, 9, 30)},
      {"Friday of the begin's week", fortnight, At(2024, 5, 15, 10, 0), At(2024, 5, 17, 9, 30)},
      {"Monday two weeks on", fortnight, At(2024, 5, 17, 10, 0), At(2024, 5, 27, 9, 30)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextTriggerRun(c.trigger, c.now), c.next) << c.what;
    // The day test says yes on the run's day and no on the other days around it.
    std::optional<DayCycle> cycle = DayCycleOf(c.trigger);
    ASSERT_TRUE(cycle) << c.what;
    int64_t runDay =
        std::chrono::duration_cast<std::chrono::hours>(c.next.time_since_epoch()).count() /
        24;  // TZ=UTC
    auto passes = [&](int64_t day) {
      return (day + cycle->shift) / cycle->unit % cycle->every == cycle->remainder;
    };
    EXPECT_TRUE(passes(runDay)) << c.what;
  }
  EXPECT_EQ(DescribeTrigger(every3), "At 9:30 AM every 3 days, starting 5/15/2024");
  EXPECT_EQ(DescribeTrigger(fortnight),
            "At 9:30 AM every Mon, Fri of every 2 weeks, starting 5/15/2024");
  EXPECT_EQ(DayCycleOf(Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30)), std::nullopt);
  EXPECT_EQ(DayCycleShellTest({7, 4, 2, 1}),
            "[ $(( ($(date -u -d \"$(date +%F)\" +%s) / 86400 + 4) / 7 % 2 )) -eq 1 ]");

  // A day test cannot place a run past midnight: such a trigger is not taken.
  ScheduleTrigger spilling = every3;
  spilling.startHour = 23;
  spilling.minutesInterval = 60;
  spilling.minutesDuration = 180;
  EXPECT_FALSE(IsSupportedTrigger(spilling));
  spilling.daysInterval = 1;
  EXPECT_TRUE(IsSupportedTrigger(spilling));
  every3.daysInterval = kMaxDaysInterval + 1;
  EXPECT_FALSE(IsSupportedTrigger(every3));
}

TEST(ScheduleTrigger, Descriptions) {
  struct Case {
    ScheduleTrigger trigger;
    const char* text;
  };
  const Case cases[] = {
      {Trigger(TriggerType::Once, {2024, 5, 15}, 0, 5), "At 12:05 AM on 5/15/2024"},
      {Trigger(TriggerType::Daily, {2024, 5, 15}, 13, 30),
       "At 1:30 PM every day, starting 5/15/2024"},
      {Trigger(TriggerType::Weekly, {2024, 5, 15}, 9, 30),
       "At 9:30 AM every Wed of every week, starting 5/15/2024"},
      {Trigger(TriggerType::MonthlyDate, {2024, 1, 31}, 12, 0),
       "At 12:00 PM on day 31 of every month, starting 1/31/2024"},
      {Trigger(TriggerType::Daily, {2024, 5, 15}, 9, 30, 90, 360),
       "Every 1 hour(s) 30 minute(s) from 9:30 AM, 4 times, every day, starting 5/15/2024"},
      {Trigger(TriggerType::Once, {2024, 5, 15}, 9, 30, 120, 240),
       "Every 2 hour(s) from 9:30 AM, 2 times, on 5/15/2024"},
  };
  for (const Case& c : cases) EXPECT_EQ(DescribeTrigger(c.trigger), c.text);
}

TEST(ScheduleTrigger, CalendarEntriesKeepTheFirstDayOfEachRepetition) {
  // Daily at 23:00 every 2 hours 3 times: 23:00 from the begin day, 01:00 and 03:00 from the day
  // after.
  std::vector<CalendarEntry> entries =
      CalendarEntriesOf(Trigger(TriggerType::Daily, {2024, 5, 15}, 23, 0, 120, 360));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].from, (CivilDate{2024, 5, 15}));
  EXPECT_EQ(entries[0].hours, 1u << 23);
  EXPECT_EQ(entries[1].from, (CivilDate{2024, 5, 16}));
  EXPECT_EQ(entries[1].hours, (1u << 1) | (1u << 3));
  EXPECT_EQ(entries[1].minutes, 1u);

  // Every minute of a day: one entry with all hours and minutes.
  entries = CalendarEntriesOf(Trigger(TriggerType::Daily, {2024, 5, 15}, 0, 0, 1, 1440));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].hours, 0xFFFFFFu);
  EXPECT_EQ(entries[0].minutes, (uint64_t{1} << 60) - 1);
}

}  // namespace
}  // namespace quillon

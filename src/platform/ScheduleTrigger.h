#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"

namespace quillon {

// A day of the proleptic Gregorian calendar.
struct CivilDate {
  int32_t year = 0;
  int32_t month = 0;  // 1..12
  int32_t day = 0;    // 1..31
  bool operator==(const CivilDate&) const = default;
  auto operator<=>(const CivilDate&) const = default;
};

int64_t DaysFromCivil(const CivilDate& date);  // 1970-01-01 is day 0
CivilDate CivilFromDays(int64_t days);
int32_t DaysInMonth(int32_t year, int32_t month);
int32_t WeekdayOf(const CivilDate& date);  // 0 = Sunday ... 6 = Saturday
bool IsValidDate(const CivilDate& date);

enum class TriggerType : int32_t { Once = 0, Daily = 1, Weekly = 2, MonthlyDate = 3 };

// The one time trigger of a scheduled work item, as the scheduler stores it. Times are local
// wall-clock times with minute precision. On every trigger day the item runs at the start time
// and, when minutesInterval and minutesDuration are set, every minutesInterval minutes after it
// while less than minutesDuration minutes have passed (duration / interval runs in all).
// Trigger days: Once - the begin date; Daily - every daysInterval-th day from the begin date;
// Weekly - from the begin date on, the days of daysOfWeek in every weeksInterval-th week;
// MonthlyDate - from the begin date on, the days of monthDays in the months of months.
struct ScheduleTrigger {
  int32_t beginYear = 0;
  int32_t beginMonth = 0;
  int32_t beginDay = 0;
  int32_t startHour = 0;
  int32_t startMinute = 0;
  TriggerType type = TriggerType::Once;
  int32_t daysInterval = 0;     // Daily
  int32_t weeksInterval = 0;    // Weekly
  int32_t daysOfWeek = 0;       // Weekly: Sunday 1, Monday 2, Tuesday 4, ..., Saturday 64
  int32_t monthDays = 0;        // MonthlyDate: day d is bit d - 1
  int32_t months = 0;           // MonthlyDate: January 1, February 2, ..., December 2048
  int32_t minutesInterval = 0;  // 0 = no repetition
  int32_t minutesDuration = 0;

  CivilDate BeginDate() const { return {beginYear, beginMonth, beginDay}; }
  bool operator==(const ScheduleTrigger&) const = default;
};

// The most runs one trigger day may make (minutesDuration / minutesInterval).
inline constexpr int32_t kMaxRunsPerTriggerDay = 1440;
// The longest day and week intervals.
inline constexpr int32_t kMaxDaysInterval = 365;
inline constexpr int32_t kMaxWeeksInterval = 52;

// True when the scheduler adapters can carry the trigger: a valid begin date and start time,
// daily intervals of 1 to kMaxDaysInterval and weekly ones of 1 to kMaxWeeksInterval, non-empty
// day and month masks, and a repetition that is either absent or makes 1 to
// kMaxRunsPerTriggerDay runs. An interval above 1 needs every run of a trigger day to fall on
// that day (no repetition past midnight). Weeks start on Sunday.
bool IsSupportedTrigger(const ScheduleTrigger& trigger);

// A daily or weekly interval above 1 as a test on the day of a run: the trigger days are those
// whose ((day + shift) / unit) % every equals `remainder`, with day the days since 1970-01-01
// of the local date (unit 1 counts days; unit 7 with shift 4 counts weeks from Sunday).
struct DayCycle {
  int32_t unit = 1;
  int32_t shift = 0;
  int32_t every = 1;
  int32_t remainder = 0;
  bool operator==(const DayCycle&) const = default;
};
// nullopt when every matching day is a trigger day (intervals of 1, once and monthly).
std::optional<DayCycle> DayCycleOf(const ScheduleTrigger& trigger);

// The test as a /bin/sh command (GNU date), true (status 0) on a trigger day.
std::string DayCycleShellTest(const DayCycle& cycle);

// The stored form, one line of "key=value" words, and its exact reverse. Parsing refuses
// unknown or missing keys and anything that is not a decimal number.
std::string TriggerToText(const ScheduleTrigger& trigger);
std::optional<ScheduleTrigger> TriggerFromText(const std::string& text);

// The first run strictly after `now`, or nullopt when the trigger never runs again (a past
// "once", or no trigger day within eight years). Unsupported triggers never run.
std::optional<TimePoint> NextTriggerRun(const ScheduleTrigger& trigger, TimePoint now);

// The scheduler's one-line description of the trigger, e.g.
// "At 9:30 AM every Wed of every week, starting 5/15/2024" or
// "Every 1 hour(s) 30 minute(s) from 9:30 AM, 4 times, every day, starting 5/15/2024".
std::string DescribeTrigger(const ScheduleTrigger& trigger);

// A run pattern that calendar schedulers (systemd OnCalendar=, crontab) can express: the runs at
// every hour of `hours` and minute of `minutes` on the matching days. `once` matches `from`
// alone; otherwise every day from `from` on whose weekday, month and day of month are in the
// sets (0 = any).
struct CalendarEntry {
  bool once = false;
  CivilDate from;
  uint32_t weekdays = 0;   // Sunday bit 0 ... Saturday bit 6
  uint32_t months = 0;     // January bit 0 ... December bit 11
  uint32_t monthDays = 0;  // day d is bit d - 1
  uint32_t hours = 0;      // hour h is bit h
  uint64_t minutes = 0;    // minute m is bit m
  bool operator==(const CalendarEntry&) const = default;
};

// The trigger as calendar entries whose runs together are the trigger's runs, on the days that
// pass DayCycleOf's test when there is one. Exact except for
// a monthly trigger whose repetitions spill past midnight: the later days are placed by the
// month lengths of a common year (a spill from February 29 and the leap-year shift of a spill
// into March are lost). Empty for an unsupported trigger.
std::vector<CalendarEntry> CalendarEntriesOf(const ScheduleTrigger& trigger);

// The values lo..hi whose bit (value - lo) is set, as schedulers write a set: "*" when all are
// set, else a comma list in which runs of three or more read first + `runSeparator` + last.
// `name` spells one value.
std::string CalendarSetText(uint64_t bits, int lo, int hi, std::string_view runSeparator,
                            const std::function<std::string(int)>& name);

}  // namespace quillon

#include "platform/ScheduleTrigger.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

namespace quillon {
namespace {

constexpr int32_t kMinutesPerDay = 1440;
constexpr int32_t kAllMonths = 0xFFF;

// A common year, for placing the spill of a monthly trigger past midnight.
constexpr int32_t kCommonYear = 2023;

int32_t RunsPerTriggerDay(const ScheduleTrigger& t) {
  return t.minutesDuration > 0 && t.minutesInterval > 0 ? t.minutesDuration / t.minutesInterval : 1;
}

int32_t StepMinutes(const ScheduleTrigger& t) {
  return RunsPerTriggerDay(t) > 1 ? t.minutesInterval : 0;
}

uint32_t RotateWeekdays(uint32_t weekdays, int64_t by) {
  uint32_t rotated = 0;
  for (int w = 0; w < 7; ++w) {
    if (weekdays & (1u << w)) rotated |= 1u << ((w + by) % 7);
  }
  return rotated;
}

// Weeks from Sunday: 1970-01-01 was a Thursday, so day 4 starts week 1.
int64_t WeekOf(int64_t day) { return (day + 4) / 7; }

bool IsTriggerDay(const ScheduleTrigger& t, int64_t day, int64_t begin) {
  if (day < begin) return false;
  CivilDate date = CivilFromDays(day);
  switch (t.type) {
    case TriggerType::Once:
      return day == begin;
    case TriggerType::Daily:
      return (day - begin) % t.daysInterval == 0;
    case TriggerType::Weekly:
      return (t.daysOfWeek & (1 << WeekdayOf(date))) != 0 &&
             (WeekOf(day) - WeekOf(begin)) % t.weeksInterval == 0;
    case TriggerType::MonthlyDate:
      return (t.months & (1 << (date.month - 1))) && (t.monthDays & (1 << (date.day - 1)));
  }
  return false;
}

// The runs of one pattern of days: per minute of the hour the set of hours it runs in; minutes
// with the same hours share one entry.
void AddTimes(const std::bitset<kMinutesPerDay>& times, const CalendarEntry& days,
              std::vector<CalendarEntry>& out) {
  std::vector<std::pair<uint32_t, uint64_t>> groups;  // hours -> minutes, in minute order
  for (int minute = 0; minute < 60; ++minute) {
    uint32_t hours = 0;
    for (int hour = 0; hour < 24; ++hour) {
      if (times[hour * 60 + minute]) hours |= 1u << hour;
    }
    if (!hours) continue;
    auto same = std::find_if(groups.begin(), groups.end(),
                             [hours](const auto& g) { return g.first == hours; });
    if (same == groups.end()) {
      groups.emplace_back(hours, uint64_t{1} << minute);
    } else {
      same->second |= uint64_t{1} << minute;
    }
  }
  for (const auto& [hours, minutes] : groups) {
    CalendarEntry entry = days;
    entry.hours = hours;
    entry.minutes = minutes;
    out.push_back(entry);
  }
}

// The days of a monthly trigger moved `offset` days on, as (months, days of month) patterns.
std::vector<std::pair<uint32_t, uint32_t>> ShiftedMonthDays(const ScheduleTrigger& t,
                                                            int64_t offset) {
  if (offset == 0) {
    return {{static_cast<uint32_t>(t.months), static_cast<uint32_t>(t.monthDays)}};
  }
  std::map<int32_t, uint32_t> daysByMonth;
  for (int32_t month = 1; month <= 12; ++month) {
    if (!(t.months & (1 << (month - 1)))) continue;
    for (int32_t day = 1; day <= DaysInMonth(kCommonYear, month); ++day) {
      if (!(t.monthDays & (1 << (day - 1)))) continue;
      CivilDate moved = CivilFromDays(DaysFromCivil({kCommonYear, month, day}) + offset);
      daysByMonth[moved.month] |= 1u << (moved.day - 1);
    }
  }
  std::vector<std::pair<uint32_t, uint32_t>> patterns;  // months, days
  for (const auto& [month, days] : daysByMonth) {
    auto same = std::find_if(patterns.begin(), patterns.end(),
                             [days = days](const auto& p) { return p.second == days; });
    if (same == patterns.end()) {
      patterns.emplace_back(1u << (month - 1), days);
    } else {
      same->first |= 1u << (month - 1);
    }
  }
  return patterns;
}

std::string TimeOfDayText(int32_t hour, int32_t minute) {
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d %s", hour % 12 == 0 ? 12 : hour % 12, minute,
                hour < 12 ? "AM" : "PM");
  return text;
}

std::string DateText(const CivilDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%d/%d/%d", date.month, date.day, date.year);
  return text;
}

std::string ListOfBits(uint32_t bits, int count, const char* const* names, int first) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    if (!(bits & (1u << i))) continue;
    if (!list.empty()) list += ", ";
    list += names ? names[i] : std::to_string(i + first);
  }
  return list;
}

constexpr const char* kWeekdayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct TextField {
  const char* key;
  int32_t ScheduleTrigger::*field;
};
constexpr TextField kTextFields[] = {
    {"year", &ScheduleTrigger::beginYear},
    {"month", &ScheduleTrigger::beginMonth},
    {"day", &ScheduleTrigger::beginDay},
    {"hour", &ScheduleTrigger::startHour},
    {"minute", &ScheduleTrigger::startMinute},
    {"days-interval", &ScheduleTrigger::daysInterval},
    {"weeks-interval", &ScheduleTrigger::weeksInterval},
    {"days-of-week", &ScheduleTrigger::daysOfWeek},
    {"month-days", &ScheduleTrigger::monthDays},
    {"months", &ScheduleTrigger::months},
    {"minutes-interval", &ScheduleTrigger::minutesInterval},
    {"minutes-duration", &ScheduleTrigger::minutesDuration},
};

std::optional<int32_t> ParseInt(std::string_view text) {
  int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

// Howard Hinnant's days_from_civil / civil_from_days.
int64_t DaysFromCivil(const CivilDate& date) {
  int64_t y = date.year - (date.month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int32_t day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  int32_t month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int32_t>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

int32_t DaysInMonth(int32_t year, int32_t month) {
  static constexpr int32_t kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kLengths[month - 1];
}

int32_t WeekdayOf(const CivilDate& date) {
  int64_t weekday = (DaysFromCivil(date) + 4) % 7;  // 1970-01-01 was a Thursday
  return static_cast<int32_t>(weekday < 0 ? weekday + 7 : weekday);
}

bool IsValidDate(const CivilDate& date) {
  return date.year >= 1601 && date.year <= 9999 && date.month >= 1 && date.month <= 12 &&
         date.day >= 1 && date.day <= DaysInMonth(date.year, date.month);
}

bool IsSupportedTrigger(const ScheduleTrigger& t) {
  if (!IsValidDate(t.BeginDate())) return false;
  if (t.startHour < 0 || t.startHour > 23 || t.startMinute < 0 || t.startMinute > 59) {
    return false;
  }
  if (t.minutesInterval < 0 || t.minutesDuration < 0) return false;
  if (t.minutesDuration > 0) {
    if (t.minutesInterval <= 0 || t.minutesInterval > t.minutesDuration) return false;
    if (t.minutesDuration / t.minutesInterval > kMaxRunsPerTriggerDay) return false;
  }
  // A test on the day of a run cannot tell a run past midnight from one of the day itself.
  bool withinTheDay =
      t.startHour * 60 + t.startMinute + (RunsPerTriggerDay(t) - 1) * int64_t{StepMinutes(t)} <
      kMinutesPerDay;
  switch (t.type) {
    case TriggerType::Once:
      return true;
    case TriggerType::Daily:
      return t.daysInterval == 1 ||
             (t.daysInterval > 1 && t.daysInterval <= kMaxDaysInterval && withinTheDay);
    case TriggerType::Weekly:
      return t.daysOfWeek > 0 && t.daysOfWeek < 128 &&
             (t.weeksInterval == 1 ||
              (t.weeksInterval > 1 && t.weeksInterval <= kMaxWeeksInterval && withinTheDay));
    case TriggerType::MonthlyDate:
      return t.monthDays != 0 && t.months > 0 && t.months <= kAllMonths;
  }
  return false;
}

std::optional<DayCycle> DayCycleOf(const ScheduleTrigger& t) {
  if (!IsSupportedTrigger(t)) return std::nullopt;
  DayCycle cycle;
  if (t.type == TriggerType::Daily && t.daysInterval > 1) {
    cycle.every = t.daysInterval;
  } else if (t.type == TriggerType::Weekly && t.weeksInterval > 1) {
    cycle.unit = 7;
    cycle.shift = 4;
    cycle.every = t.weeksInterval;
  } else {
    return std::nullopt;
  }
  int64_t begin = DaysFromCivil(t.BeginDate());
  cycle.remainder = static_cast<int32_t>((begin + cycle.shift) / cycle.unit % cycle.every);
  return cycle;
}

std::string DayCycleShellTest(const DayCycle& c) {
  // The local date at midnight UTC counts the local days since 1970.
  return "[ $(( ($(date -u -d \"$(date +%F)\" +%s) / 86400 + " + std::to_string(c.shift) + ") / " +
         std::to_string(c.unit) + " % " + std::to_string(c.every) + " )) -eq " +
         std::to_string(c.remainder) + " ]";
}

std::string TriggerToText(const ScheduleTrigger& trigger) {
  std::string text = "type=" + std::to_string(static_cast<int32_t>(trigger.type));
  for (const TextField& f : kTextFields) {
    text += ' ';
    text += f.key;
    text += '=';
    text += std::to_string(trigger.*f.field);
  }
  return text;
}

std::optional<ScheduleTrigger> TriggerFromText(const std::string& text) {
  ScheduleTrigger trigger;
  std::set<std::string> seen;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    size_t equals = word.find('=');
    if (equals == std::string::npos) return std::nullopt;
    std::string key = word.substr(0, equals);
    std::optional<int32_t> value = ParseInt(std::string_view(word).substr(equals + 1));
    if (!value || !seen.insert(key).second) return std::nullopt;
    if (key == "type") {
      if (*value < 0 || *value > 3) return std::nullopt;
      trigger.type = static_cast<TriggerType>(*value);
      continue;
    }
    auto field = std::find_if(std::begin(kTextFields), std::end(kTextFields),
                              [&](const TextField& f) { return key == f.key; });
    if (field == std::end(kTextFields)) return std::nullopt;
    trigger.*field->field = *value;
  }
  if (seen.size() != std::size(kTextFields) + 1) return std::nullopt;
  return trigger;
}

std::optional<TimePoint> NextTriggerRun(const ScheduleTrigger& t, TimePoint now) {
  if (!IsSupportedTrigger(t)) return std::nullopt;
  std::tm local = ToLocalTime(now);
  int64_t today = DaysFromCivil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
  // Wall-clock seconds and minutes counted from 1970-01-01 00:00 local time.
  int64_t nowSeconds = today * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  int64_t begin = DaysFromCivil(t.BeginDate());
  int64_t start = t.startHour * 60 + t.startMinute;
  int64_t runs = RunsPerTriggerDay(t);
  int64_t step = StepMinutes(t);
  int64_t spanDays = (start + (runs - 1) * step) / kMinutesPerDay;

  std::optional<int64_t> best;  // minute
  int64_t first = std::max(begin, today - spanDays - 1);
  int64_t last = t.type == TriggerType::Once ? begin : today + spanDays + 8 * 366;
  for (int64_t day = first; day <= last; ++day) {
    int64_t base = day * kMinutesPerDay + start;
    if (best && base > *best) break;  // later trigger days start later still
    if (!IsTriggerDay(t, day, begin)) continue;
    int64_t k = base * 60 > nowSeconds ? 0
                : step > 0             ? (nowSeconds - base * 60) / (step * 60) + 1
                                       : runs;
    if (k < runs && (!best || base + k * step < *best)) best = base + k * step;
  }
  if (!best) return std::nullopt;
  CivilDate date = CivilFromDays(*best / kMinutesPerDay);
  int32_t minuteOfDay = static_cast<int32_t>(*best % kMinutesPerDay);
  return FromLocalTime(date.year, date.month, date.day, minuteOfDay / 60, minuteOfDay % 60, 0);
}

std::string DescribeTrigger(const ScheduleTrigger& t) {
  std::string at = TimeOfDayText(t.startHour, t.startMinute);
  std::string text;
  if (RunsPerTriggerDay(t) > 1) {
    text = "Every";
    if (t.minutesInterval / 60) text += " " + std::to_string(t.minutesInterval / 60) + " hour(s)";
    if (t.minutesInterval % 60) {
      text += " " + std::to_string(t.minutesInterval % 60) + " minute(s)";
    }
    text += " from " + at + ", " + std::to_string(RunsPerTriggerDay(t)) + " times,";
  } else {
    text = "At " + at;
  }
  std::string starting = ", starting " + DateText(t.BeginDate());
  switch (t.type) {
    case TriggerType::Once:
      return text + " on " + DateText(t.BeginDate());
    case TriggerType::Daily:
      return text +
             (t.daysInterval > 1 ? " every " + std::to_string(t.daysInterval) + " days"
                                 : " every day") +
             starting;
    case TriggerType::Weekly:
      return text + " every " + ListOfBits(t.daysOfWeek, 7, kWeekdayNames, 0) + " of every " +
             (t.weeksInterval > 1 ? std::to_string(t.weeksInterval) + " weeks" : "week") + starting;
    case TriggerType::MonthlyDate:
      return text + " on day " + ListOfBits(t.monthDays, 31, nullptr, 1) + " of " +
             ((t.months & kAllMonths) == kAllMonths ? "every month"
                                                    : ListOfBits(t.months, 12, kMonthNames, 1)) +
             starting;
  }
  return text;
}

std::vector<CalendarEntry> CalendarEntriesOf(const ScheduleTrigger& t) {
  std::vector<CalendarEntry> entries;
  if (!IsSupportedTrigger(t)) return entries;
  int64_t begin = DaysFromCivil(t.BeginDate());
  int64_t start = t.startHour * 60 + t.startMinute;
  int64_t runs = RunsPerTriggerDay(t);
  int64_t step = StepMinutes(t);

  // Run k of trigger day D is at D + offset days, minute of day `time`. For a daily or weekly
  // trigger every later day repeats the pattern, so a (time, weekday shift) needs only the
  // first offset at which it occurs.
  std::map<int64_t, std::bitset<kMinutesPerDay>> timesByOffset;
  std::set<std::pair<int64_t, int64_t>> seen;
  for (int64_t k = 0; k < runs; ++k) {
    int64_t minute = start + k * step;
    int64_t offset = minute / kMinutesPerDay, time = minute % kMinutesPerDay;
    if (t.type == TriggerType::Daily && !seen.insert({time, 0}).second) continue;
    if (t.type == TriggerType::Weekly && !seen.insert({time, offset % 7}).second) continue;
    timesByOffset[offset].set(static_cast<size_t>(time));
  }

  for (const auto& [offset, times] : timesByOffset) {
    CalendarEntry days;
    days.from = CivilFromDays(begin + offset);
    switch (t.type) {
      case TriggerType::Once:
        days.once = true;
        AddTimes(times, days, entries);
        break;
      case TriggerType::Daily:
        AddTimes(times, days, entries);
        break;
      case TriggerType::Weekly:
        days.weekdays = RotateWeekdays(static_cast<uint32_t>(t.daysOfWeek), offset);
        AddTimes(times, days, entries);
        break;
      case TriggerType::MonthlyDate:
        for (const auto& [months, monthDays] : ShiftedMonthDays(t, offset)) {
          days.months = months == kAllMonths ? 0 : months;
          days.monthDays = monthDays;
          AddTimes(times, days, entries);
        }
        break;
    }
  }
  return entries;
}

std::string CalendarSetText(uint64_t bits, int lo, int hi, std::string_view runSeparator,
                            const std::function<std::string(int)>& name) {
  auto has = [&](int v) { return (bits >> (v - lo)) & 1; };
  bool all = true;
  for (int v = lo; v <= hi; ++v) all = all && has(v);
  if (all) return "*";
  std::string text;
  for (int v = lo; v <= hi; ++v) {
    if (!has(v)) continue;
    int end = v;
    while (end + 1 <= hi && has(end + 1)) ++end;
    if (!text.empty()) text += ',';
    if (end - v >= 2) {
      text += name(v);
      text += runSeparator;
      text += name(end);
      v = end;
    } else {
      text += name(v);
    }
  }
  return text;
}

}  // namespace quillon

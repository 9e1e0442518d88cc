#include "tasks/ScheduleSettings.h"

#include <charconv>

namespace quillon {
namespace {

constexpr int32_t kAllMonths = 4095;

// An integer the way the dialog framework reads one: blanks around, an optional sign, digits.
std::optional<int32_t> ReadInteger(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  size_t last = text.find_last_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, last - first + 1);
  if (text.front() == '+') text.remove_prefix(1);
  int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

ScheduleSettings InitialScheduleSettings(TimePoint now) {
  std::tm local = ToLocalTime(now);
  ScheduleSettings settings;
  settings.startDate = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  settings.startHour = local.tm_hour;
  settings.startMinute = local.tm_min;
  settings.startSecond = local.tm_sec;
  return settings;
}

ScheduleTrigger TriggerFromSchedule(const ScheduleSettings& s) {
  ScheduleTrigger t;
  t.beginYear = s.startDate.year;
  t.beginMonth = s.startDate.month;
  t.beginDay = s.startDate.day;
  t.startHour = s.startHour;
  t.startMinute = s.startMinute;
  switch (s.repeat) {
    case 1:
      t.type = TriggerType::Daily;
      t.daysInterval = 1;
      break;
    case 2:
      t.type = TriggerType::Weekly;
      t.weeksInterval = 1;
      t.daysOfWeek = 1 << WeekdayOf(s.startDate);
      break;
    case 3:
      t.type = TriggerType::MonthlyDate;
      t.monthDays = static_cast<int32_t>(1u << (s.startDate.day - 1));
      t.months = kAllMonths;
      break;
    default:
      t.type = TriggerType::Once;
  }
  if (s.every) {
    t.minutesInterval = s.hours * 60 + s.minutes;
    t.minutesDuration = s.times * t.minutesInterval;
  }
  return t;
}

void PresetScheduleFromTrigger(const ScheduleTrigger& t, ScheduleSettings& s) {
  s.startDate = t.BeginDate();
  s.startHour = t.startHour;
  s.startMinute = t.startMinute;
  s.startSecond = 0;
  switch (t.type) {
    case TriggerType::Daily:
      s.repeat = 1;
      break;
    case TriggerType::Weekly:
      s.repeat = 2;
      break;
    case TriggerType::MonthlyDate:
      s.repeat = 3;
      break;
    default:
      s.repeat = 0;
  }
  if (t.minutesDuration > 0) {
    s.every = true;
    s.hours = t.minutesInterval / 60;
    s.minutes = t.minutesInterval % 60;
    if (t.minutesInterval > 0) s.times = t.minutesDuration / t.minutesInterval;
  }
}

std::optional<ScheduleNumberError> TakeScheduleNumbers(std::string_view hours,
                                                       std::string_view minutes,
                                                       std::string_view times,
                                                       ScheduleSettings& settings) {
  struct Field {
    ScheduleNumber field;
    std::string_view text;
    int32_t low, high;
    int32_t value = 0;
  };
  Field fields[] = {{ScheduleNumber::Hours, hours, 0, kMaxEveryHours},
                    {ScheduleNumber::Minutes, minutes, 0, kMaxEveryMinutes},
                    {ScheduleNumber::Times, times, kMinEveryTimes, kMaxEveryTimes}};
  for (Field& f : fields) {
    std::optional<int32_t> value = ReadInteger(f.text);
    if (!value) return ScheduleNumberError{f.field, "Please enter an integer."};
    if (settings.every && (*value < f.low || *value > f.high)) {
      return ScheduleNumberError{f.field, "Please enter an integer between " +
                                              std::to_string(f.low) + " and " +
                                              std::to_string(f.high) + "."};
    }
    f.value = *value;
  }
  settings.hours = fields[0].value;
  settings.minutes = fields[1].value;
  settings.times = fields[2].value;
  return std::nullopt;
}

}  // namespace quillon

#include "common/Clock.h"

#include <locale.h>

namespace quillon {

TimePoint ClampedTimePoint(std::chrono::sys_seconds at, std::chrono::nanoseconds fraction) {
  using std::chrono::floor;
  using std::chrono::seconds;
  static const auto earliest = std::chrono::ceil<seconds>(TimePoint::min());
  static const auto latest = floor<seconds>(TimePoint::max());
  if (at < earliest) return earliest;
  // The last second has no room for a fraction of a second.
  if (at >= latest) return latest;
  return TimePoint(at) + std::chrono::duration_cast<TimePoint::duration>(fraction);
}

std::tm ToLocalTime(TimePoint t) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

TimePoint FromLocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  // Years past 2261 (a date typed or printed by another program) end at the last TimePoint.
  return ClampedTimePoint(std::chrono::sys_seconds(std::chrono::seconds(std::mktime(&local))));
}

std::string FormatLocalTime(TimePoint t, const char* format) {
  std::tm local = ToLocalTime(t);
  // A private C locale keeps day and AM/PM names English whatever LANG says.
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
  char buffer[256];
  size_t n = strftime_l(buffer, sizeof buffer, format, &local, c_locale);
  return std::string(buffer, n);
}

std::string FormatUserTime(TimePoint t) { return FormatLocalTime(t, "%a %m/%d/%Y %I:%M:%S %p"); }

}  // namespace quillon

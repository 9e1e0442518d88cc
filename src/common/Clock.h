#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace quillon {

using TimePoint = std::chrono::system_clock::time_point;

// The time source for stamps and logs, so tests can fix it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint Now() const = 0;
};

class SystemClock : public Clock {
 public:
  TimePoint Now() const override { return std::chrono::system_clock::now(); }
};

// Always answers the time it was given.
class FixedClock : public Clock {
 public:
  explicit FixedClock(TimePoint now) : now_(now) {}
  TimePoint Now() const override { return now_; }
  void Set(TimePoint now) { now_ = now; }

 private:
  TimePoint now_;
};

// `at` (a second from a server, a certificate or a file, any year from 0 to 9999) as a
// TimePoint, which counts nanoseconds and so holds only the years 1678 to 2261: a time beyond
// either end becomes that end instead of wrapping around. `fraction` (below a second) is added
// to a time inside the range.
TimePoint ClampedTimePoint(std::chrono::sys_seconds at, std::chrono::nanoseconds fraction = {});

// Local broken-down time of `t`.
std::tm ToLocalTime(TimePoint t);

// The local time point of a broken-down local time (year 2024, month 1..12, ...).
TimePoint FromLocalTime(int year, int month, int day, int hour, int minute, int second);

// strftime in the C locale, whatever the process locale is.
std::string FormatLocalTime(TimePoint t, const char* format);

// "%a %m/%d/%Y %I:%M:%S %p", the format of every time shown to users and written to logs.
std::string FormatUserTime(TimePoint t);

}  // namespace quillon

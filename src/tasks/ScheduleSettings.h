#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Clock.h"
#include "platform/ScheduleTrigger.h"

namespace quillon {

// The values of the "Schedule" dialog: when a scheduled task first runs and how it repeats.
struct ScheduleSettings {
  // The account fields. The user's own scheduler runs items as the user, so they stay empty
  // and disabled and are never stored.
  std::string password;
  std::string userId;
  CivilDate startDate;  // "Start at:" date
  int32_t startHour = 0;
  int32_t startMinute = 0;
  int32_t startSecond = 0;
  int32_t repeat = 0;  // 0 "Once only", 1 "Daily", 2 "Weekly", 3 "Monthly"
  bool every = false;  // "Every" hours/minutes "for" times
  int32_t hours = 1;
  int32_t minutes = 0;
  int32_t times = 2;
  bool operator==(const ScheduleSettings&) const = default;
};

// The dialog's values for a new item: start date and time now (local), once only, every off
// with 1 hour, 0 minutes, 2 times.
ScheduleSettings InitialScheduleSettings(TimePoint now);

// The trigger the dialog's values make: begin date and start hour and minute from the start;
// "Once only" a once trigger; "Daily" every day; "Weekly" every week on the start date's weekday
// (Sunday 1 ... Saturday 64); "Monthly" on the start date's day in all twelve months. "Every" sets
// the interval to hours * 60 + minutes and the duration to times intervals; off, both are 0.
ScheduleTrigger TriggerFromSchedule(const ScheduleSettings& settings);

// The reverse, for an existing item: start date and time from the trigger (seconds 0), repeat
// from its type (0 for any other type), and, when its duration is above 0, "Every" on with
// hours = interval / 60, minutes = interval % 60 and times = duration / interval. The account
// fields and, without a duration, the three numbers keep their values.
void PresetScheduleFromTrigger(const ScheduleTrigger& trigger, ScheduleSettings& settings);

// The text of the dialog's "?" button (shown with the information icon).
inline constexpr std::string_view kScheduleHelpText =
    "Tasks fail often because of this information.\n\n1. If your task need to access files in "
    "a shared\t\n   drive, make sure the account has the permission.\n\n2. If your account has "
    "admin access to this computer\n   and your task doesn't need to access a network drive,\t\n"
    "   you may leave BOTH boxes blank.";

// What the dialog says when the user's timers run only while the user is logged in, its button,
// and the answers to the button (information icon, warning icon with the reason).
inline constexpr std::string_view kLingerOffNote =
    "Scheduled tasks run only while you are logged in: systemd stops your timers when you log "
    "out, and a run missed then happens at your next log-in. Turn on lingering (loginctl "
    "enable-linger) to let them run at any time.";
inline constexpr std::string_view kLingerButton = "Run While Logged Out";
inline constexpr std::string_view kLingerTurnedOn =
    "Lingering is on: your scheduled tasks also run while you are logged out.";
inline constexpr std::string_view kLingerFailed = "Lingering could not be turned on: ";

// The limits of the "Every" numbers, checked only while "Every" is on.
inline constexpr int32_t kMaxEveryHours = 800;
inline constexpr int32_t kMaxEveryMinutes = 59;
inline constexpr int32_t kMinEveryTimes = 2;
inline constexpr int32_t kMaxEveryTimes = 1440;

enum class ScheduleNumber { Hours, Minutes, Times };
struct ScheduleNumberError {
  ScheduleNumber field;
  std::string message;
};

// Takes the three numbers as typed, in the order hours, minutes, times, the way the dialog's
// OK does: each must read as an integer ("Please enter an integer."), and while `settings.every`
// is on it must lie in its range ("Please enter an integer between 0 and 800."). The first
// failure is returned and `settings` is left unchanged; otherwise the numbers are stored.
std::optional<ScheduleNumberError> TakeScheduleNumbers(std::string_view hours,
                                                       std::string_view minutes,
                                                       std::string_view times,
                                                       ScheduleSettings& settings);

}  // namespace quillon

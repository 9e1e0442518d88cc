// quillon-tool task schedule / unschedule, and the schedule part of task show, set and delete:
// the same entries, through the same code, as the task manager's Schedule dialog.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "common/Clock.h"
#include "common/Text.h"
#include "platform/DesktopIntegration.h"
#include "platform/ScheduleTrigger.h"
#include "profiles/IniFile.h"
#include "tasks/TaskSchedulerLink.h"
#include "tasks/TaskSchedules.h"
#include "tasks/TaskStore.h"
#include "tool/ToolCommands.h"

namespace quillon::tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDayNames[][2] = {
    {"sun", "sunday"},   {"mon", "monday"}, {"tue", "tuesday"}, {"wed", "wednesday"},
    {"thu", "thursday"}, {"fri", "friday"}, {"sat", "saturday"}};
constexpr const char* kMonthNames[][2] = {
    {"jan", "january"},   {"feb", "february"}, {"mar", "march"},    {"apr", "april"},
    {"may", "may"},       {"jun", "june"},     {"jul", "july"},     {"aug", "august"},
    {"sep", "september"}, {"oct", "october"},  {"nov", "november"}, {"dec", "december"}};

std::vector<std::string> CommaList(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream parts(text);
  for (std::string item; std::getline(parts, item, ',');) items.push_back(item);
  if (!text.empty() && text.back() == ',') items.emplace_back();
  return items;
}

// "HH:MM", 0..23 and 00..59.
void ParseTime(const std::string& text, std::string_view option, ScheduleTrigger& t) {
  const size_t colon = text.size() - std::min<size_t>(text.size(), 3);  // "H:MM" or "HH:MM"
  const auto hour = colon >= 1 && colon <= 2 ? DigitsAt(text, 0, colon) : std::nullopt;
  const auto minute = DigitsAt(text, colon + 1, 2);
  if (!hour || !minute || text[colon] != ':' || *hour > 23 || *minute > 59) {
    throw Failure{std::string(option) + " needs a time HH:MM, not '" + text + "'"};
  }
  t.startHour = *hour;
  t.startMinute = *minute;
}

// "DAYS HH:MM" as joined by JoinTwoWordOptions.
std::pair<std::string, std::string> DaysAndTime(const std::string& value, std::string_view option) {
  size_t blank = value.find(' ');
  if (blank == std::string::npos)
    throw Failure{std::string(option) + " needs the days and a time HH:MM"};
  return {value.substr(0, blank), value.substr(blank + 1)};
}

// A comma list of names (short or long, any letter case) as a mask, the first name bit 0.
int32_t NamedMask(const std::string& list, const char* const (*names)[2], int count,
                  std::string_view option, std::string_view what) {
  int32_t mask = 0;
  for (const std::string& item : CommaList(LowerCased(list))) {
    int found = -1;
    for (int i = 0; i < count; ++i)
      if (item == names[i][0] || item == names[i][1]) found = i;
    if (found < 0)
      throw Failure{std::string(option) + ": '" + item + "' is not " + std::string(what)};
    mask |= 1 << found;
  }
  return mask;
}

CivilDate Today() {
  std::tm local = ToLocalTime(SystemClock().Now());
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void Begin(ScheduleTrigger& t, const CivilDate& date) {
  t.beginYear = date.year;
  t.beginMonth = date.month;
  t.beginDay = date.day;
}

// The trigger the options describe, checked.
ScheduleTrigger TriggerFromOptions(const Arguments& a) {
  const char* kinds[] = {"--once", "--daily", "--weekly", "--monthly"};
  int given = 0;
  for (const char* kind : kinds) given += a.Get(kind).has_value();
  if (given != 1) throw Failure{"give one of --once, --daily, --weekly, --monthly"};
  const auto only = [&](std::string_view option, std::string_view with) {
    if (a.Get(option) && !a.Get(with))
      throw Failure{std::string(option) + " goes with " + std::string(with)};
  };
  only("--every-days", "--daily");
  only("--every-weeks", "--weekly");
  only("--months", "--monthly");

  ScheduleTrigger t;
  Begin(t, Today());
  if (const auto once = a.Get("--once")) {
    t.type = TriggerType::Once;
    const size_t blank = once->find(' ');
    const std::string date = once->substr(0, blank);
    const auto year = DigitsAt(date, 0, 4), month = DigitsAt(date, 5, 2),
               day = DigitsAt(date, 8, 2);
    if (blank == std::string::npos || date.size() != 10 || date[4] != '-' || date[7] != '-' ||
        !year || !month || !day || !IsValidDate({*year, *month, *day})) {
      throw Failure{"--once needs \"YYYY-MM-DD HH:MM\", not '" + *once + "'"};
    }
    Begin(t, {*year, *month, *day});
    ParseTime(once->substr(blank + 1), "--once", t);
  } else if (const auto daily = a.Get("--daily")) {
    t.type = TriggerType::Daily;
    ParseTime(*daily, "--daily", t);
    t.daysInterval =
        ParseNumber(a.Get("--every-days").value_or("1"), 1, kMaxDaysInterval, "--every-days");
  } else if (const auto weekly = a.Get("--weekly")) {
    t.type = TriggerType::Weekly;
    auto [days, time] = DaysAndTime(*weekly, "--weekly");
    t.daysOfWeek = NamedMask(days, kDayNames, 7, "--weekly", "a day (sun, mon, ... sat)");
    ParseTime(time, "--weekly", t);
    t.weeksInterval =
        ParseNumber(a.Get("--every-weeks").value_or("1"), 1, kMaxWeeksInterval, "--every-weeks");
  } else {
    t.type = TriggerType::MonthlyDate;
    auto [days, time] = DaysAndTime(*a.Get("--monthly"), "--monthly");
    for (const std::string& day : CommaList(days))
      t.monthDays |= 1 << (ParseNumber(day, 1, 31, "--monthly day") - 1);
    ParseTime(time, "--monthly", t);
    t.months = a.Get("--months") ? NamedMask(*a.Get("--months"), kMonthNames, 12, "--months",
                                             "a month (jan, feb, ... dec)")
                                 : 4095;
  }

  const auto every = a.Get("--repeat-every");
  const auto span = a.Get("--repeat-for");
  if (every.has_value() != span.has_value())
    throw Failure{"--repeat-every and --repeat-for go together"};
  if (every) {
    t.minutesInterval = ParseNumber(*every, 1, 1440 * 31, "--repeat-every");
    t.minutesDuration = ParseNumber(*span, t.minutesInterval,
                                    t.minutesInterval * kMaxRunsPerTriggerDay, "--repeat-for");
  }
  if (!IsSupportedTrigger(t)) {
    throw Failure{
        "this schedule cannot be kept: with --every-days or --every-weeks every repetition must "
        "fall on its own day"};
  }
  return t;
}

// The store as the entry names it: absolute, so the run finds it from any folder.
std::string AbsoluteStore(const std::string& store) {
  std::error_code error;
  fs::path path = fs::absolute(store, error);
  if (error) throw Failure{store + " cannot be made absolute"};
  return path.lexically_normal().string();
}

bool IsProgram(const std::string& path) {
  return !path.empty() && path.front() == '/' && access(path.c_str(), X_OK) == 0;
}

// The quillon program a scheduled run starts: --program, else the one beside quillon-tool, else
// the one on PATH; "" when none is found.
std::string QuillonProgram(const Arguments& a) {
  if (const auto given = a.Get("--program")) {
    std::error_code error;
    std::string path = fs::absolute(*given, error).lexically_normal().string();
    if (error || !IsProgram(path)) throw Failure{"--program " + *given + " is not a program"};
    return path;
  }
  std::string self = ThisProgram();
  if (!self.empty()) {
    std::string beside = fs::path(self).parent_path() / "quillon";
    if (IsProgram(beside)) return beside;
  }
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::string candidate = folder + "/quillon";
    if (IsProgram(candidate)) return candidate;
  }
  return {};
}

std::unique_ptr<SchedulerService> Scheduler() {
  std::unique_ptr<SchedulerService> scheduler = ConnectDefaultScheduler();
  if (!scheduler) throw Failure{"the scheduler cannot be reached"};
  return scheduler;
}

// The task of `slot`, which must exist; its name.
std::string TaskName(const Arguments& a, const std::string& store, int slot) {
  NoPositional(a);
  RequireReadableStore(store);
  std::string name = ReadText(slot, "Profile", store);
  if (name.empty()) throw Failure{NoTask(slot, store)};
  return name;
}

std::string SaveStageText(SaveStage stage) {
  switch (stage) {
    case SaveStage::ProgramName:
      return "the program path cannot be used";
    case SaveStage::Parameters:
      return "the task store path cannot be used";
    case SaveStage::WorkingFolder:
      return "the task store's folder cannot be used";
    case SaveStage::Trigger:
      return "the schedule cannot be kept";
    case SaveStage::Save:
    case SaveStage::Done:
      break;
  }
  return "the scheduler did not take it";
}

}  // namespace

std::vector<std::string> JoinTwoWordOptions(const std::vector<std::string>& args) {
  std::vector<std::string> joined;
  for (size_t i = 0; i < args.size(); ++i) {
    joined.push_back(args[i]);
    if ((args[i] == "--weekly" || args[i] == "--monthly") && i + 2 < args.size() &&
        args[i + 1].find(' ') == std::string::npos && !args[i + 2].starts_with("--")) {
      joined.push_back(args[i + 1] + " " + args[i + 2]);
      i += 2;
    }
  }
  return joined;
}

std::string ScheduleLines(const std::string& store, int slot, const std::string& name) {
  std::string schedule = "Not Set", next = "Never";
  std::unique_ptr<SchedulerService> scheduler = ConnectDefaultScheduler();
  std::optional<ScheduleTrigger> trigger;
  if (scheduler && !name.empty() && scheduler->Find(name, &trigger) == ItemLookup::Found &&
      trigger && EntryRunsTask(scheduler->ReadItem(name), AbsoluteStore(store), slot)) {
    schedule = DescribeTrigger(*trigger);
    if (auto at = scheduler->NextRun(name, *trigger, SystemClock().Now()))
      next = FormatUserTime(*at);
  }
  return "Schedule: " + schedule + "\nNext Run: " + next + "\n";
}

void TaskSchedule(const Arguments& a, std::ostream& out, std::ostream& err) {
  const std::string store = AbsoluteStore(a.Required("--store"));
  const int slot = ParseNumber(a.Required("--slot"), 0, kMaxTasks - 1, "--slot");
  const std::string name = TaskName(a, store, slot);
  const ScheduleTrigger trigger = TriggerFromOptions(a);
  const std::string program = QuillonProgram(a);
  if (program.empty()) throw Failure{"cannot find the quillon program: give --program PATH"};
  if (!TaskStoreIsWritable(store)) throw Failure{"cannot write " + store};

  std::unique_ptr<SchedulerService> scheduler = Scheduler();
  if (std::string why = scheduler->Unavailable(); !why.empty())
    throw Failure{"cannot schedule: " + why};
  switch (scheduler->Find(name, nullptr)) {
    case ItemLookup::Foreign:
      throw Failure{"the name \"" + name + "\" is taken by an entry that is not Quillon's"};
    case ItemLookup::BadName:
      throw Failure{"the name \"" + name + "\" is too long for the scheduler"};
    case ItemLookup::Failed:
      throw Failure{"the scheduler cannot be read"};
    case ItemLookup::Found:
      if (!EntryRunsTask(scheduler->ReadItem(name), store, slot))
        throw Failure{"the name \"" + name + "\" is taken by the entry of another task"};
      break;
    case ItemLookup::Missing:
      break;
  }
  SaveStage stage = SaveTaskEntry(*scheduler, name, program, store, slot, trigger, SystemClock());
  if (stage != SaveStage::Done)
    throw Failure{"task \"" + name + "\" has not been scheduled: " + SaveStageText(stage)};
  if (scheduler->UserLingering() == Lingering::Off)
    err << "quillon-tool: note: " << kLingerOffNote << '\n';
  out << ScheduleLines(store, slot, name);
}

void TaskUnschedule(const Arguments& a) {
  const std::string store = AbsoluteStore(a.Required("--store"));
  const int slot = ParseNumber(a.Required("--slot"), 0, kMaxTasks - 1, "--slot");
  const std::string name = TaskName(a, store, slot);
  std::unique_ptr<SchedulerService> scheduler = Scheduler();
  std::optional<ScheduleTrigger> trigger;
  if (scheduler->Find(name, &trigger) != ItemLookup::Found ||
      !EntryRunsTask(scheduler->ReadItem(name), store, slot)) {
    throw Failure{"task \"" + name + "\" is not scheduled"};
  }
  if (!scheduler->Delete(name))
    throw Failure{"the entry of task \"" + name + "\" cannot be removed"};
}

void MoveSchedule(const Arguments& a, const std::string& store, int slot,
                  const std::string& oldName, const std::string& newName) {
  std::unique_ptr<SchedulerService> scheduler = Scheduler();
  std::string problem;
  if (!MoveTaskEntry(*scheduler, oldName, newName, QuillonProgram(a), AbsoluteStore(store), slot,
                     SystemClock(), &problem)) {
    throw Failure{"the task was renamed, but its schedule was not moved: " + problem};
  }
}

void RemoveSchedule(const std::string& store, int slot, const std::string& name) {
  std::unique_ptr<SchedulerService> scheduler = Scheduler();
  if (!RemoveTaskEntry(*scheduler, name, AbsoluteStore(store), slot))
    throw Failure{"the entry of task \"" + name + "\" cannot be removed; the task is kept"};
}

}  // namespace quillon::tool

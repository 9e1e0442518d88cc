#include "tasks/TaskManagerRules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/FileIo.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "tasks/TaskLog.h"
#include "tasks/TaskStore.h"

namespace quillon {

std::vector<TaskListEntry> TaskListEntries(const std::string& taskFile) {
  std::vector<TaskListEntry> entries;
  for (int32_t slot = 0; slot < kMaxTasks; ++slot) {
    std::string name = ReadText(slot, "Profile", taskFile);
    if (!name.empty()) entries.push_back({slot, std::move(name)});
  }
  return entries;
}

std::string HoursText(float hours) {
  // to_chars rather than printf: the GUI runs under the user's locale, whose decimal comma
  // ParseHours would not read back.
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, static_cast<double>(hours),
                                    std::chars_format::general, 6);
  if (error != std::errc()) return "0";
  return std::string(text, end);
}

std::optional<float> ParseHours(std::string_view typed) {
  size_t first = typed.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  size_t last = typed.find_last_not_of(" \t");
  std::string_view text = typed.substr(first, last - first + 1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  // Only what a decimal number is made of: from_chars would also take "inf", "nan" and hex.
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
    return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
    return std::nullopt;
  return static_cast<float>(value);
}

std::vector<std::string> RunNowArguments(const std::string& taskStorePath, int32_t slot) {
  char session[16];
  std::snprintf(session, sizeof session, "SESSION%02d", slot);
  return {taskStorePath, session, "-Notify", "-ShowWin"};
}

std::string DeleteTaskQuestion(int32_t taskId) {
  std::string question;
  if (taskId > 0) question = taskmanagertext::kShortcutsWarning;
  question += taskmanagertext::kDeleteQuestion;
  return question;
}

bool HasTask(const TaskDefinition& task) { return task.isNew || task.slot >= 0; }

bool IsSavedTask(const TaskDefinition& task) {
  return !task.isNew && task.slot >= 0 && task.slot < kMaxTasks;
}

ScheduleLabels ScheduleLabelsFor(TaskSchedulerLink& link, const TaskDefinition& task) {
  ScheduleLabels labels{std::string(taskmanagertext::kScheduleNotSet),
                        std::string(taskmanagertext::kNeverRuns)};
  if (!IsSavedTask(task)) return labels;
  labels.schedule = link.GetScheduleText(task.name);
  if (!link.NextRunText().empty()) labels.nextRun = link.NextRunText();
  return labels;
}

std::string TaskLogText(const std::string& programFolder, int32_t slot,
                        const std::string& taskFile) {
  std::string text(taskmanagertext::kLogRule);
  std::string name = ReadText(slot, "Profile", taskFile);
  if (!name.empty()) {
    const std::string log =
        ReadWholeFile(TaskLog::PathFor(programFolder, name)).value_or(std::string());
    for (char c : log) {
      if (c == '\n') text += '\r';
      text += c;
    }
  }
  text += taskmanagertext::kLogRule;
  return text;
}

ConnectionProfile TaskConnectionProfile(const TaskDefinition& task, const std::string& profileFile,
                                        const std::string& taskFile) {
  ConnectionProfile profile;
  if (!HasTask(task)) return profile;
  if (!ReadProfile(task.slot, profile, task.isNew ? profileFile : taskFile)) return {};
  return profile;
}

}  // namespace quillon

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/ConnectionProfile.h"
#include "tasks/TaskDefinition.h"
#include "tasks/TaskSchedulerLink.h"

namespace quillon {

// What the task manager dialog (tasks/ui/TaskManagerDialog) decides without a window: its
// texts, the task list, the hours fields, the "Run It Now" arguments, the delete question, the
// task log and the connection its remote folder pickers use.

namespace taskmanagertext {
inline constexpr std::string_view kTitle = "Harbell Task Manager";
inline constexpr std::string_view kNoTask = "Click New Task to create a taks first.";
inline constexpr std::string_view kDiscardNewTask = "The new task has not been saved. Discard it?";
inline constexpr std::string_view kShortcutsWarning =
    "You have created shortcuts pointing to this task.\n\nThose shortcuts will not work if this "
    "task is deleted.    \n\n";
inline constexpr std::string_view kDeleteQuestion = "Are you sure to delete this task?";
inline constexpr std::string_view kNotANumber = "Please enter a number.";
inline constexpr std::string_view kSelectFolder = "Please select a folder:";
inline constexpr std::string_view kUploadToPrompt = "Upload files to which remote folder?";
inline constexpr std::string_view kDownloadFromPrompt = "Download files from which remote folder?";
inline constexpr std::string_view kScheduleNotSet = "Not Set";
inline constexpr std::string_view kNeverRuns = "Never";
inline constexpr std::string_view kLogRule = "=======================\r\n";
}  // namespace taskmanagertext

// One line of the task list: a slot in use and its task name.
struct TaskListEntry {
  int32_t slot = -1;
  std::string name;
  bool operator==(const TaskListEntry&) const = default;
};

// The tasks of the store in slot order 0..19: every slot whose "Profile" is not empty.
std::vector<TaskListEntry> TaskListEntries(const std::string& taskFile);

// An hours field as the dialog shows it: at most six significant digits, no trailing zeros
// ("1.5", "0.03", "0"), always with "." whatever the locale.
std::string HoursText(float hours);

// An hours field as typed: a decimal number ("2", "0.5", ".25", "1e1", blanks around it);
// nullopt for anything else (empty, letters, "1,5", "inf", "nan", out of float range), which
// the dialog answers with kNotANumber.
std::optional<float> ParseHours(std::string_view typed);

// The arguments of a "Run It Now" run, "%s SESSION%02d -Notify -ShowWin" as words.
std::vector<std::string> RunNowArguments(const std::string& taskStorePath, int32_t slot);

// The question before a task is deleted: kShortcutsWarning first when shortcuts to it were made
// (its "TaskID" is greater than 0), then kDeleteQuestion.
std::string DeleteTaskQuestion(int32_t taskId);

// True when the record is a task the buttons may work on: a new one or one in a slot.
bool HasTask(const TaskDefinition& task);

// True when the record is a task saved in the store (not new, in a slot).
bool IsSavedTask(const TaskDefinition& task);

// The "Schedule:" and "Next Run:" texts for the record: kScheduleNotSet and kNeverRuns, or for a
// saved task what the scheduler says about the item of its name.
ScheduleLabels ScheduleLabelsFor(TaskSchedulerLink& link, const TaskDefinition& task);

// The text behind "Task Log" for the task in `slot`: the log named by the slot's "Profile"
// (TaskLog::PathFor) between two kLogRule lines, every "\n" of it as "\r\n"; only the two rules
// when the log cannot be read.
std::string TaskLogText(const std::string& programFolder, int32_t slot,
                        const std::string& taskFile);

// The connection a remote folder picker browses with: for a new record the profile it was
// started from (`profileFile`, its slot), otherwise the task's own section of `taskFile`. A
// section that does not read as a profile gives an empty profile, which cannot connect.
ConnectionProfile TaskConnectionProfile(const TaskDefinition& task, const std::string& profileFile,
                                        const std::string& taskFile);

}  // namespace quillon

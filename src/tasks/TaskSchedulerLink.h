#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Messages.h"
#include "platform/SchedulerService.h"
#include "tasks/ScheduleSettings.h"

namespace quillon {

// The "Schedule" dialog as the link sees it. The GUI opens the real dialog (ScheduleDialog);
// tests answer directly.
class ScheduleEditor {
 public:
  virtual ~ScheduleEditor() = default;
  // Shows the dialog preset with `settings`; true on OK with `settings` holding what was
  // entered, false on Cancel with `settings` unchanged.
  virtual bool Edit(ScheduleSettings& settings) = 0;
};

// What ScheduleTask returns.
enum ScheduleResult : int32_t {
  kScheduleForeign = -1,   // an item of that name exists that is not Quillon's to change
  kScheduleFailed = 0,     // nothing scheduled (the reason has been shown)
  kScheduleDone = 1,       // the item is saved and active
  kScheduleCancelled = 2,  // the dialog was cancelled; nothing changed
};

using SchedulerConnector = std::function<std::unique_ptr<SchedulerService>()>;

// The user's scheduler (systemd user timers, else cron) through the user's real commands.
std::unique_ptr<SchedulerService> ConnectDefaultScheduler();

// The task manager's link to the platform scheduler: one work item per task, named by the
// task's name, that runs the program with the work item's arguments in the working folder.
// Messages are shown with the warning icon. One per task manager dialog; UI thread only.
class TaskSchedulerLink {
 public:
  TaskSchedulerLink(MessagePresenter& messages, ScheduleEditor& editor, const Clock& clock,
                    SchedulerConnector connect = ConnectDefaultScheduler);
  virtual ~TaskSchedulerLink();

  // What the next ScheduleTask registers: the program's full path, its arguments and the
  // working folder (the program folder; "" for none).
  void SetWorkItem(std::string program, std::vector<std::string> parameters,
                   std::string workingFolder);

  // Finds the user's scheduler; false when there is none.
  bool ConnectScheduler();

  // True when Quillon's item of that name exists.
  bool TaskExists(const std::string& name);

  // Creates or edits the item `name`: presets the "Schedule" dialog from the existing item's
  // trigger (or now for a new one), shows it, and saves the item with the work item and the
  // dialog's trigger. Messages: "Bad task or program name." (empty name or program, or a name
  // the scheduler cannot carry), "Err: Access denied" (the scheduler cannot be read),
  // "Err: rTrigger" (an existing item whose trigger cannot be read), "Err: program name",
  // "Err: parameters", "Err: working dir", "Err: Add trigger", and "Task cannot be scheduled.
  // Make sure: ..." when saving fails. Without a scheduler: kScheduleFailed, silently.
  int32_t ScheduleTask(const std::string& name);

  // Removes the item; "Cannot delete task." when that fails.
  bool DeleteScheduledTask(const std::string& name);

  // The description of the item's trigger ("Not Set" without scheduler or item), and as a side
  // effect the next-run text: "%a %m/%d/%Y %I:%M:%S %p", or "Never".
  std::string GetScheduleText(const std::string& name);
  const std::string& NextRunText() const { return nextRunText_; }

  // The scheduler in use, or null before ConnectScheduler succeeded.
  SchedulerService* Scheduler() const { return scheduler_.get(); }

 private:
  MessagePresenter& messages_;
  ScheduleEditor& editor_;
  const Clock& clock_;
  SchedulerConnector connect_;
  std::string program_;
  std::vector<std::string> parameters_;
  std::string workingFolder_;
  std::string nextRunText_;
  std::unique_ptr<SchedulerService> scheduler_;
};

// The arguments of a scheduled run: "%s SESSION%02d" as words, the task store path and the
// slot. A scheduled run carries no "-Notify", "-TaskID" or "-ShowWin": it runs silently.
std::vector<std::string> ScheduledRunArguments(const std::string& taskStorePath, int32_t slot);

// The task manager's "Schedule" button after its save succeeded: sets the work item (program,
// ScheduledRunArguments, program folder), schedules `taskName`, and reports:
// kScheduleForeign - "The task name has been used by other users. Please use a different
// connection profile name."; failed or done but no item afterwards - "Task \"<name>\" has NOT
// been scheduled!". Returns the "Schedule:" and "Next Run:" label texts to show, or nullopt
// after kScheduleForeign (the labels stay).
struct ScheduleLabels {
  std::string schedule;
  std::string nextRun;
};
std::optional<ScheduleLabels> ScheduleSavedTask(TaskSchedulerLink& link, MessagePresenter& messages,
                                                const std::string& taskName, int32_t slot,
                                                const std::string& program,
                                                const std::string& taskStorePath,
                                                const std::string& programFolder);

}  // namespace quillon

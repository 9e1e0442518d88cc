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

// What the "Schedule" dialog says beside the trigger.
struct ScheduleNotes {
  // Set when the scheduler's items run only while the user is logged in (systemd without
  // lingering): the dialog says so and offers to turn lingering on through this, which gives
  // the reason in *error when it fails.
  std::function<bool(std::string* error)> enableLingering;
};

// The "Schedule" dialog as the link sees it. The GUI opens the real dialog (ScheduleDialog);
// tests answer directly.
class ScheduleEditor {
 public:
  virtual ~ScheduleEditor() = default;
  // Shows the dialog preset with `settings`; true on OK with `settings` holding what was
  // entered, false on Cancel with `settings` unchanged.
  virtual bool Edit(ScheduleSettings& settings, const ScheduleNotes& notes) = 0;
};

// What ScheduleTask returns.
enum ScheduleResult : int32_t {
  kScheduleForeign = -1,   // an item of that name exists that is not this task's to change
  kScheduleFailed = 0,     // nothing scheduled (the reason has been shown)
  kScheduleDone = 1,       // the item is saved and active
  kScheduleCancelled = 2,  // the dialog was cancelled; nothing changed
};

using SchedulerConnector = std::function<std::unique_ptr<SchedulerService>()>;

// The user's scheduler (systemd user timers and cron, UserScheduler) through the user's real
// commands.
std::unique_ptr<SchedulerService> ConnectDefaultScheduler();

// The task manager's link to the platform scheduler: one work item per task, named by the
// task's name, that runs the program for the task in the task store's folder. Messages are
// shown with the warning icon. One per task manager dialog; UI thread only.
class TaskSchedulerLink {
 public:
  TaskSchedulerLink(MessagePresenter& messages, ScheduleEditor& editor, const Clock& clock,
                    SchedulerConnector connect = ConnectDefaultScheduler);
  virtual ~TaskSchedulerLink();

  // What the next ScheduleTask registers: the program's full path and the task it runs, the
  // one in `slot` of `taskStorePath` with its "TaskID" (ScheduledRunArguments, in the store's
  // folder).
  void SetTask(std::string program, std::string taskStorePath, int32_t slot, int32_t taskId);

  // Finds the user's scheduler; false when there is none.
  bool ConnectScheduler();

  // True when items can be saved: a scheduler was found and it answers. Otherwise
  // SchedulerProblem() says why, for the user.
  bool CanSchedule() const;
  std::string SchedulerProblem() const;

  // True when Quillon's item of that name exists.
  bool TaskExists(const std::string& name);

  // Creates or edits the item `name`: presets the "Schedule" dialog from the existing item's
  // trigger (or now for a new one), shows it, and saves the item with the work item and the
  // dialog's trigger. What the dialog cannot show of an existing trigger (several weekdays or
  // month days, chosen months, day and week intervals) is kept while its repetition and start
  // date stay. An item of that name that runs another task is kScheduleForeign. The dialog
  // offers lingering when the items would run only while the user is logged in. Messages:
  // "Bad task or program name." (empty name or program, or a name the scheduler cannot carry),
  // "Err: Access denied" (the scheduler cannot be read), "Err: rTrigger" (an existing item
  // whose trigger cannot be read), "Err: program name", "Err: parameters", "Err: working dir",
  // "Err: Add trigger", and "Task cannot be scheduled. Make sure: ..." when saving fails.
  // Without a scheduler that can save: kScheduleFailed, silently.
  int32_t ScheduleTask(const std::string& name);

  // Removes the item; "Cannot delete task." when that fails.
  bool DeleteScheduledTask(const std::string& name);

  // The description of the item's trigger ("Not Set" without scheduler or item), and as a side
  // effect the next-run text: "%a %m/%d/%Y %I:%M:%S %p", or "Never".
  std::string GetScheduleText(const std::string& name);
  const std::string& NextRunText() const { return nextRunText_; }

  // The scheduler in use, or null before ConnectScheduler succeeded.
  SchedulerService* Scheduler() const { return scheduler_.get(); }
  const Clock& ClockInUse() const { return clock_; }

 private:
  MessagePresenter& messages_;
  ScheduleEditor& editor_;
  const Clock& clock_;
  SchedulerConnector connect_;
  std::string program_;
  std::string taskStorePath_;
  int32_t slot_ = -1;
  int32_t taskId_ = -1;
  std::string nextRunText_;
  std::unique_ptr<SchedulerService> scheduler_;
};

// The task manager's "Schedule" button after its save succeeded: gives the task its "TaskID"
// when it has none, sets the task (SetTask), schedules `taskName`, and reports:
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
                                                const std::string& taskStorePath);

}  // namespace quillon

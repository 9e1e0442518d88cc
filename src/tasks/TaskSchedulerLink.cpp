#include "tasks/TaskSchedulerLink.h"

#include <cstdio>

#include "platform/CommandRunner.h"
#include "tasks/TaskSchedules.h"
#include "tasks/TaskShortcuts.h"

namespace quillon {
namespace {

constexpr const char* kCannotSchedule =
    "Task cannot be scheduled. Make sure:\n\n1. User ID/Password is correctly entered on the "
    "Schedule screen.\n2. The task name has not been used by others in this computer.";

}  // namespace

std::unique_ptr<SchedulerService> ConnectDefaultScheduler() {
  return ConnectUserScheduler(SystemCommands(), UserSchedulerFolders());
}

TaskSchedulerLink::TaskSchedulerLink(MessagePresenter& messages, ScheduleEditor& editor,
                                     const Clock& clock, SchedulerConnector connect)
    : messages_(messages), editor_(editor), clock_(clock), connect_(std::move(connect)) {}

TaskSchedulerLink::~TaskSchedulerLink() = default;

void TaskSchedulerLink::SetTask(std::string program, std::string taskStorePath, int32_t slot,
                                int32_t taskId) {
  program_ = std::move(program);
  taskStorePath_ = std::move(taskStorePath);
  slot_ = slot;
  taskId_ = taskId;
}

bool TaskSchedulerLink::ConnectScheduler() {
  scheduler_ = connect_ ? connect_() : nullptr;
  return scheduler_ != nullptr;
}

bool TaskSchedulerLink::CanSchedule() const {
  return scheduler_ && scheduler_->Unavailable().empty();
}

std::string TaskSchedulerLink::SchedulerProblem() const {
  if (!scheduler_) return "There is a problem with your Task Scheduler.";
  return scheduler_->Unavailable();
}

bool TaskSchedulerLink::TaskExists(const std::string& name) {
  return scheduler_ && !name.empty() && scheduler_->Find(name, nullptr) == ItemLookup::Found;
}

namespace {

// What the dialog cannot show of a trigger stays while its repetition and start date do.
void KeepUnseenParts(const ScheduleTrigger& existing, ScheduleTrigger& entered) {
  if (existing.type != entered.type || existing.BeginDate() != entered.BeginDate()) return;
  entered.daysInterval = existing.daysInterval;
  entered.weeksInterval = existing.weeksInterval;
  entered.daysOfWeek = existing.daysOfWeek;
  entered.monthDays = existing.monthDays;
  entered.months = existing.months;
}

}  // namespace

int32_t TaskSchedulerLink::ScheduleTask(const std::string& name) {
  if (!CanSchedule()) return kScheduleFailed;
  auto fail = [this](const char* text) {
    messages_.Show(text, MessageButtons::Ok, MessageIcon::Warning);
    return kScheduleFailed;
  };
  if (name.empty() || program_.empty()) return fail("Bad task or program name.");

  ScheduleSettings settings = InitialScheduleSettings(clock_.Now());
  std::optional<ScheduleTrigger> existing;
  switch (scheduler_->Find(name, &existing)) {
    case ItemLookup::Foreign:
      return kScheduleForeign;
    case ItemLookup::BadName:
      return fail("Bad task or program name.");
    case ItemLookup::Failed:
      return fail("Err: Access denied");
    case ItemLookup::Found:
      if (!EntryRunsTask(scheduler_->ReadItem(name), taskStorePath_, slot_))
        return kScheduleForeign;
      if (!existing) return fail("Err: rTrigger");
      PresetScheduleFromTrigger(*existing, settings);
      break;
    case ItemLookup::Missing:
      break;
  }
  ScheduleNotes notes;
  if (scheduler_->UserLingering() == Lingering::Off) {
    notes.enableLingering = [this](std::string* error) {
      return scheduler_->EnableLingering(error);
    };
  }
  // Nothing is written before the dialog's OK, so a cancelled new item leaves nothing behind.
  if (!editor_.Edit(settings, notes)) return kScheduleCancelled;

  WorkItem item{program_, ScheduledRunArguments(taskStorePath_, slot_, taskId_),
                StoreFolder(taskStorePath_), TriggerFromSchedule(settings)};
  if (existing) KeepUnseenParts(*existing, item.trigger);
  switch (scheduler_->Save(name, item)) {
    case SaveStage::Done:
      return kScheduleDone;
    case SaveStage::ProgramName:
      return fail("Err: program name");
    case SaveStage::Parameters:
      return fail("Err: parameters");
    case SaveStage::WorkingFolder:
      return fail("Err: working dir");
    case SaveStage::Trigger:
      return fail("Err: Add trigger");
    case SaveStage::Save:
      break;
  }
  return fail(kCannotSchedule);
}

bool TaskSchedulerLink::DeleteScheduledTask(const std::string& name) {
  if (scheduler_ && scheduler_->Delete(name)) return true;
  messages_.Show("Cannot delete task.", MessageButtons::Ok, MessageIcon::Warning);
  return false;
}

std::string TaskSchedulerLink::GetScheduleText(const std::string& name) {
  std::string text = "Not Set";
  if (!scheduler_) return text;
  nextRunText_ = "Never";
  std::optional<ScheduleTrigger> trigger;
  if (name.empty() || scheduler_->Find(name, &trigger) != ItemLookup::Found || !trigger) {
    return text;
  }
  TimePoint now = clock_.Now();
  if (std::optional<TimePoint> next = scheduler_->NextRun(name, *trigger, now)) {
    nextRunText_ = FormatUserTime(*next);
  }
  return DescribeTrigger(*trigger);
}

std::optional<ScheduleLabels> ScheduleSavedTask(TaskSchedulerLink& link, MessagePresenter& messages,
                                                const std::string& taskName, int32_t slot,
                                                const std::string& program,
                                                const std::string& taskStorePath) {
  std::optional<int32_t> id = EnsureTaskId(slot, taskStorePath, link.ClockInUse());
  link.SetTask(program, taskStorePath, slot, id.value_or(-1));
  int32_t result = id ? link.ScheduleTask(taskName) : int32_t{kScheduleFailed};
  if (result == kScheduleForeign) {
    messages.Show(
        "The task name has been used by other users. Please use a different connection profile "
        "name.",
        MessageButtons::Ok, MessageIcon::Warning);
    return std::nullopt;
  }
  if ((result == kScheduleFailed || result == kScheduleDone) && !link.TaskExists(taskName)) {
    messages.Show("Task \"" + taskName + "\" has NOT been scheduled!", MessageButtons::Ok,
                  MessageIcon::Warning);
  }
  ScheduleLabels labels;
  labels.schedule = link.GetScheduleText(taskName);
  labels.nextRun = link.NextRunText();
  return labels;
}

}  // namespace quillon

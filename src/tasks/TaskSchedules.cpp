#include "tasks/TaskSchedules.h"

#include <cstdio>

#include "common/Text.h"
#include "tasks/TaskShortcuts.h"

namespace quillon {
namespace {

std::string SessionWord(int32_t slot) {
  char session[16];
  std::snprintf(session, sizeof session, "SESSION%02d", slot);
  return session;
}

}  // namespace

std::vector<std::string> ScheduledRunArguments(const std::string& taskStorePath, int32_t slot,
                                               int32_t taskId) {
  return {taskStorePath, SessionWord(slot), "-TaskID", std::to_string(taskId)};
}

std::string StoreFolder(const std::string& taskStorePath) {
  size_t slash = taskStorePath.rfind('/');
  return slash == std::string::npos ? std::string() : taskStorePath.substr(0, slash + 1);
}

bool EntryRunsTask(const std::optional<WorkItem>& run, const std::string& taskStorePath,
                   int32_t slot) {
  if (!run) return true;
  const std::vector<std::string>& words = run->arguments;
  return words.size() >= 2 && words[0] == taskStorePath &&
         EqualsIgnoringCase(words[1], SessionWord(slot));
}

std::string NotScheduledText(const std::string& taskName) {
  return "Task \"" + taskName + "\" has NOT been scheduled!";
}

SaveStage SaveTaskEntry(SchedulerService& scheduler, const std::string& name,
                        const std::string& program, const std::string& taskStorePath, int32_t slot,
                        const ScheduleTrigger& trigger, const Clock& clock) {
  std::optional<int32_t> id = EnsureTaskId(slot, taskStorePath, clock);
  if (!id) return SaveStage::Save;
  WorkItem item{program, ScheduledRunArguments(taskStorePath, slot, *id),
                StoreFolder(taskStorePath), trigger};
  return scheduler.Save(name, item);
}

bool MoveTaskEntry(SchedulerService& scheduler, const std::string& oldName,
                   const std::string& newName, const std::string& program,
                   const std::string& taskStorePath, int32_t slot, const Clock& clock,
                   std::string* problem) {
  if (oldName == newName) return true;
  std::optional<ScheduleTrigger> trigger;
  if (scheduler.Find(oldName, &trigger) != ItemLookup::Found) return true;
  std::optional<WorkItem> run = scheduler.ReadItem(oldName);
  if (!EntryRunsTask(run, taskStorePath, slot)) return true;  // another store's task of that name

  auto fail = [problem](std::string text) {
    if (problem) *problem = std::move(text);
    return false;
  };
  // The new name must not be another task's entry.
  ItemLookup taken = scheduler.Find(newName, nullptr);
  if (taken == ItemLookup::Foreign ||
      (taken == ItemLookup::Found &&
       !EntryRunsTask(scheduler.ReadItem(newName), taskStorePath, slot))) {
    return fail(NotScheduledText(newName));
  }
  std::string runs = run ? run->program : program;
  if (!trigger || runs.empty() ||
      SaveTaskEntry(scheduler, newName, runs, taskStorePath, slot, *trigger, clock) !=
          SaveStage::Done) {
    return fail(NotScheduledText(newName));
  }
  if (!scheduler.Delete(oldName)) return fail(kCannotDeleteEntry);
  return true;
}

bool RemoveTaskEntry(SchedulerService& scheduler, const std::string& name,
                     const std::string& taskStorePath, int32_t slot) {
  if (name.empty() || scheduler.Find(name, nullptr) != ItemLookup::Found) return true;
  if (!EntryRunsTask(scheduler.ReadItem(name), taskStorePath, slot)) return true;
  return scheduler.Delete(name);
}

}  // namespace quillon

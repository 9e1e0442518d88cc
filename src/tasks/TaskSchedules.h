#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "platform/SchedulerService.h"

namespace quillon {

// A task's scheduled entry, the same for the Schedule dialog and quillon-tool: what it runs, and
// keeping it with its task when the task is renamed or deleted. An entry is named by the task's
// name and runs the program with "<task store> SESSIONnn -TaskID n" in the store's folder, so a
// run it starts after its task is gone or replaced is refused as outdated.

// The arguments of a scheduled run, "%s SESSION%02d -TaskID %d" as words.
std::vector<std::string> ScheduledRunArguments(const std::string& taskStorePath, int32_t slot,
                                               int32_t taskId);

// The folder of a task store with its trailing "/": the program folder of the task's runs.
std::string StoreFolder(const std::string& taskStorePath);

// True when a scheduled entry's stored run (ReadItem) starts the task in `slot` of
// `taskStorePath`. An entry saved without its run (by an older Quillon) counts as the task's.
bool EntryRunsTask(const std::optional<WorkItem>& run, const std::string& taskStorePath,
                   int32_t slot);

// "Task \"<name>\" has NOT been scheduled!"
std::string NotScheduledText(const std::string& taskName);
inline constexpr const char* kCannotDeleteEntry = "Cannot delete task.";

// Saves the entry `name` that runs the task in `slot` of `taskStorePath` with `trigger`, after
// giving the task its "TaskID" when it has none (SaveStage::Save when that cannot be written).
SaveStage SaveTaskEntry(SchedulerService& scheduler, const std::string& name,
                        const std::string& program, const std::string& taskStorePath, int32_t slot,
                        const ScheduleTrigger& trigger, const Clock& clock);

// After the task in `slot` was renamed from `oldName` to `newName`: when an entry of the old
// name runs this task, the same schedule is saved under the new name (with the stored run's
// program; `program` stands in for an entry saved without it) and the old entry is removed.
// True when there was nothing to move or it moved; false with the message for the user in
// *problem otherwise (NotScheduledText of the new name while the old entry stays, or
// kCannotDeleteEntry when the old one could not be removed).
bool MoveTaskEntry(SchedulerService& scheduler, const std::string& oldName,
                   const std::string& newName, const std::string& program,
                   const std::string& taskStorePath, int32_t slot, const Clock& clock,
                   std::string* problem);

// Before the task in `slot` is deleted: removes the entry `name` when it runs this task. True
// when there was none or it was removed.
bool RemoveTaskEntry(SchedulerService& scheduler, const std::string& name,
                     const std::string& taskStorePath, int32_t slot);

}  // namespace quillon

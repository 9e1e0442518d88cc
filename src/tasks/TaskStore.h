#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Messages.h"
#include "tasks/TaskDefinition.h"

namespace quillon {

// The task store: "QvrTask.ini" in the program folder, one "SESSION%02d" section per task slot
// 0..19, each holding a copy of a connection profile's keys plus the task keys. A slot is in
// use when its "Profile" value is not empty. Every call names the file by its full path and
// reads or writes it at once (nothing is cached). Messages are shown with the warning icon.

inline constexpr std::string_view kTaskStoreName = "QvrTask.ini";
inline constexpr int32_t kMaxTasks = 20;

// File ages are whole seconds in the store and hours in the record, rounded to 1/100 hour:
// 5400 s <-> 1.5 h, 100 s -> 0.03 h; a missing key (-1) reads as 0 h.
float AgeHoursFromSeconds(int32_t seconds);
// The seconds stored for `hours`: 0 unless `mode` is 1 and the hours are positive; saturates
// at the largest 32-bit value.
int32_t AgeSecondsFromHours(float hours, int32_t mode);

// Reads the task of `slot` from `file` (a task store, or the profile file when a new task
// starts from the current connection) into `task` and sets its slot. A section that cannot
// be read gives empty texts, cleared flags and 0 hours. In a locked section the remote folders
// and keys are read in locked form, bound to the section's lock password; a value bound to
// another password reads as empty. Folders of a disabled direction are cleared. A slot outside
// 0..19 gives an empty record (slot -1).
void LoadTask(TaskDefinition& task, int32_t slot, const std::string& file);

// The record "New Task" starts with: the connection of `profileSlot` (slot 0, the current
// connection, in the task manager) of `profileFile` loaded as a task, marked new, without a
// name; lockMode set when that profile is locked and imposes an encryption key.
TaskDefinition NewTask(const std::string& profileFile, int32_t profileSlot = 0);

// Writes the task keys of `task` into its slot's section of `file`, key by key, in a fixed
// order; the connection keys of the section (address, user, password, port, ...) are left as
// they are. A locked record writes its remote folders and keys in locked form, bound to the
// section's lock password. True when every key was written.
bool SaveTask(const TaskDefinition& task, const std::string& file);

// Checks the record in order and shows the first failing message:
// "Click 'New Task' to create a new task.", "Invalid task name.",
// "No download or upload checked.", "Invalid download From/To folder.",
// "Invalid download file time.", "Invalid upload From/To folder.", "Invalid upload file time.",
// "Please check the `Encrypt Files' box.", "Please check the `Decrypt Files' box.".
// Trailing white space is trimmed from the name first.
bool ValidateTask(TaskDefinition& task, MessagePresenter& messages);

// True when `slot`'s section of `file` has a non-empty "Profile".
bool IsTaskSlotUsed(int32_t slot, const std::string& file);

// The first slot 0..19 of `file` that is not in use; nullopt when all twenty are.
std::optional<int32_t> FindFreeTaskSlot(const std::string& file);

// False when `file` exists but is not a regular file that can be read and written.
bool TaskStoreIsWritable(const std::string& file);

// Gives a new record its slot: copies the whole section of the record's current slot from
// `profileFile` into the first free slot of `taskFile` (replacing what that section held),
// sets the record's slot there and clears isNew. The task keys are written by SaveTask.
// Messages: "Cannot save: Maximum tasks reached." when no slot is free, "Cannot save task."
// when the copy cannot be written.
bool PlaceNewTask(TaskDefinition& task, const std::string& profileFile, const std::string& taskFile,
                  MessagePresenter& messages);

// The whole save of the task manager: refuses a store that is not readable and writable
// ("Cannot save task."), validates, places a new record, and saves. Returns the task's slot,
// or nullopt after showing why ("Cannot save task." also when a key cannot be written).
std::optional<int32_t> SaveTaskChanges(TaskDefinition& task, const std::string& profileFile,
                                       const std::string& taskFile, MessagePresenter& messages);

// Empties the slot's section (its header stays), so the slot is free again; a task placed there
// later starts without the old "TaskID".
bool DeleteTask(int32_t slot, const std::string& file);

}  // namespace quillon

#pragma once

#include <cstdint>
#include <string>

#include "tasks/TaskDefinition.h"

namespace quillon {

// The text behind the task manager's "Settings" button, with "\r\n" line ends:
//
//   Settings for the selected task.
//   =======================
//   [SESSIONnn]
//   Key=value            (every key of the slot's section in file order, as stored:
//   ...                   protected values appear in their stored form)
//   =======================
//
// The whole section is shown, however long it is. A slot whose section is missing or cannot
// be read shows only the heading, the section name and the closing rule.
std::string TaskSettingsText(int32_t slot, const std::string& taskFile);

// The same for the record the task manager holds: the single line "Task has not been saved."
// (without a line end) for a record that is new or has no slot yet, otherwise the text of its
// slot in `taskFile`.
std::string TaskSettingsText(const TaskDefinition& task, const std::string& taskFile);

}  // namespace quillon

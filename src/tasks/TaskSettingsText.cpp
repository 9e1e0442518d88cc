#include "tasks/TaskSettingsText.h"

#include "profiles/IniFile.h"
#include "tasks/TaskStore.h"

namespace quillon {

namespace {

constexpr const char* kRule = "=======================\r\n";

}  // namespace

std::string TaskSettingsText(int32_t slot, const std::string& taskFile) {
  const std::string section = SessionSection(slot);
  std::string text = "Settings for the selected task.\r\n";
  text += kRule;
  text += "[" + section + "]\r\n";
  // Read whole rather than through a fixed buffer: a cut listing would hide the keys written
  // last (the e-mail settings) without saying so.
  for (const auto& [key, value] : ini::ReadSection(taskFile, section).value_or(ini::KeyValues{})) {
    text.append(key).append("=").append(value).append("\r\n");
  }
  text += kRule;
  return text;
}

std::string TaskSettingsText(const TaskDefinition& task, const std::string& taskFile) {
  if (task.isNew || task.slot < 0 || task.slot >= kMaxTasks) return "Task has not been saved.";
  return TaskSettingsText(task.slot, taskFile);
}

}  // namespace quillon

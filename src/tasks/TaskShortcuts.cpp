#include "tasks/TaskShortcuts.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "common/Paths.h"
#include "platform/SchedulerService.h"
#include "profiles/IniFile.h"
#include "tasks/TaskSchedules.h"

namespace quillon {
namespace {

const std::string* LauncherFolderFor(int32_t place, const LauncherFolders& folders) {
  switch (place) {
    case kShortcutDesktop:
      return &folders.desktop;
    case kShortcutQuickLaunch:
      return &folders.quickLaunch;
    case kShortcutStartMenu:
      return &folders.startMenu;
    case kShortcutPrograms:
      return &folders.programs;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> TakeShortcutName(std::string_view typed, MessagePresenter& messages) {
  size_t first = typed.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    messages.Show("Invalid name.", MessageButtons::Ok, MessageIcon::None);
    return std::nullopt;
  }
  size_t last = typed.find_last_not_of(" \t\r\n");
  return std::string(typed.substr(first, last - first + 1));
}

std::string ShortcutDescription(const std::string& taskName, const std::string& taskStorePath) {
  return "Harbell Task [" + taskName + "] of [" + taskStorePath + "]";
}

std::vector<std::string> ShortcutArguments(const std::string& taskStorePath, int32_t slot,
                                           int32_t taskId) {
  char session[16];
  std::snprintf(session, sizeof session, "SESSION%02d", slot);
  return {taskStorePath, session, "-Notify", "-TaskID", std::to_string(taskId), "-ShowWin"};
}

std::optional<int32_t> EnsureTaskId(int32_t slot, const std::string& taskStorePath,
                                    const Clock& clock) {
  int32_t stored = ReadNumber(slot, "TaskID", taskStorePath);
  if (stored >= 1) return stored;
  auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(clock.Now().time_since_epoch()).count();
  // The key is a 32-bit number; past January 2038 the largest one stands in.
  int32_t id = static_cast<int32_t>(
      std::min<int64_t>(std::max<int64_t>(seconds, 1), std::numeric_limits<int32_t>::max()));
  if (!WriteNumber(slot, "TaskID", id, taskStorePath)) return std::nullopt;
  if (ReadNumber(slot, "TaskID", taskStorePath) != id) return std::nullopt;
  return id;
}

bool CreateTaskShortcuts(const std::string& target, const std::vector<std::string>& arguments,
                         const std::string& name, int32_t places, const std::string& description,
                         const std::string& programFolder, const LauncherFolders& folders) {
  LauncherEntry launcher;
  launcher.name = name;
  launcher.program = target;
  launcher.arguments = arguments;
  launcher.workingFolder = target.find('/') == std::string::npos ? "" : FolderOf(target);
  launcher.comment = description;
  if (std::string home = ProgramHomeFor(programFolder, folders.home); !home.empty())
    launcher.environment.push_back("QUILLON_HOME=" + home);
  std::optional<std::string> text = DesktopEntryText(launcher);

  bool ok = true;
  for (int32_t place :
       {kShortcutDesktop, kShortcutQuickLaunch, kShortcutStartMenu, kShortcutPrograms}) {
    if (!(places & place)) continue;
    const std::string* folder = LauncherFolderFor(place, folders);
    if (!text || !folder || !WriteLauncherFile(*folder, name, *text)) ok = false;
  }
  return ok;
}

bool CreateShortcutsForTask(const ShortcutChoice& choice, const std::string& taskName, int32_t slot,
                            const std::string& program, const std::string& taskStorePath,
                            const LauncherFolders& folders, const Clock& clock,
                            MessagePresenter& messages) {
  if (choice.places == 0) return false;
  std::optional<int32_t> id = EnsureTaskId(slot, taskStorePath, clock);
  // Shortcuts carrying an id the task does not keep would be refused at every start.
  bool ok =
      id && CreateTaskShortcuts(program, ShortcutArguments(taskStorePath, slot, *id), choice.name,
                                choice.places, ShortcutDescription(taskName, taskStorePath),
                                StoreFolder(taskStorePath), folders);
  if (ok) {
    messages.Show("Shortcut(s) created successfully.", MessageButtons::Ok,
                  MessageIcon::Information);
  } else {
    messages.Show("Error in creating shortcut(s).", MessageButtons::Ok, MessageIcon::Warning);
  }
  return ok;
}

}  // namespace quillon

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "common/Messages.h"
#include "platform/LauncherEntry.h"

namespace quillon {

// The places a task shortcut can go to, as bits of a set.
inline constexpr int32_t kShortcutDesktop = 1;
inline constexpr int32_t kShortcutQuickLaunch = 2;
inline constexpr int32_t kShortcutStartMenu = 4;
inline constexpr int32_t kShortcutPrograms = 8;  // no control of the dialog sets it

inline constexpr int32_t kMaxShortcutName = 64;

// What the "Shortcut name" dialog gives on OK.
struct ShortcutChoice {
  std::string name;
  int32_t places = 0;
};

// The name as the dialog's OK takes it: trimmed at both ends; nullopt (and "Invalid name."
// shown) when nothing is left.
std::optional<std::string> TakeShortcutName(std::string_view typed, MessagePresenter& messages);

// "Harbell Task [<task name>] of [<task store path>]"
std::string ShortcutDescription(const std::string& taskName, const std::string& taskStorePath);

// The arguments of a shortcut's run, "%s SESSION%02d -Notify -TaskID %d -ShowWin" as words.
std::vector<std::string> ShortcutArguments(const std::string& taskStorePath, int32_t slot,
                                           int32_t taskId);

// The task's "TaskID": the stored one when it is 1 or more, else the current time in seconds
// since 1970 (UTC), written to the task's section first. nullopt when it cannot be written.
std::optional<int32_t> EnsureTaskId(int32_t slot, const std::string& taskStorePath,
                                    const Clock& clock);

// Writes one launcher per place bit of `places` (1, 2, 4, 8 in this order) named `name` that
// starts `target` with `arguments` in the target's folder, described by `description`, with
// QUILLON_HOME set to `programFolder` when that is not the default folder a run finds by itself
// (so its log lands where the task manager looks). A place that fails (a missing folder, or
// Quick Launch, which Linux has none of) makes the result false; the other places are still
// tried. No folder is ever made.
bool CreateTaskShortcuts(const std::string& target, const std::vector<std::string>& arguments,
                         const std::string& name, int32_t places, const std::string& description,
                         const std::string& programFolder, const LauncherFolders& folders);

// The task manager's "Create Shortcut" after the dialog's OK and the task's save: gives the task
// its "TaskID" when it has none, writes the shortcuts (for the program folder the task store
// lies in), and says "Shortcut(s) created
// successfully." (information icon) or "Error in creating shortcut(s)." (warning icon). No place
// chosen: nothing happens. True when every shortcut was written.
bool CreateShortcutsForTask(const ShortcutChoice& choice, const std::string& taskName, int32_t slot,
                            const std::string& program, const std::string& taskStorePath,
                            const LauncherFolders& folders, const Clock& clock,
                            MessagePresenter& messages);

}  // namespace quillon

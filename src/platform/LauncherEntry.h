#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/CommandRunner.h"

namespace quillon {

// A freedesktop application launcher (".desktop" file), the Linux form of a shell shortcut.
struct LauncherEntry {
  std::string name;                      // Name=: the shortcut's name
  std::string program;                   // the first word of Exec= (after `env` and its words)
  std::vector<std::string> arguments;    // the other words of Exec=
  std::string workingFolder;             // Path=; "" = none
  std::string comment;                   // Comment=: the description
  std::vector<std::string> environment;  // "NAME=value" the program runs with, through `env`
};

// The launcher's file text: Type=Application with Name=, Comment=, Exec= (every word in double
// quotes with the quoting and string escapes that freedesktop desktop entries use, "%" as "%%";
// `env` and the environment words first when there are any), Path=, Icon=quillon and
// Terminal=false. nullopt when a value holds a control character that a desktop file
// cannot carry (a line end or tab in a value is written as an escape). GLib-based desktops look
// for the program with its "%%" undone only at launch, so a program path holding "%" is not
// found there.
std::optional<std::string> DesktopEntryText(const LauncherEntry& launcher);

// Why there is no Quick Launch place on Linux: no desktop shows a folder of launchers as a bar.
inline constexpr std::string_view kNoQuickLaunch =
    "Linux desktops have no Quick Launch bar. Put the shortcut in the Start Menu (your desktop's "
    "application menu) and pin it to a panel or dock from there.";

// The folders launchers go to, one per place of the task shortcuts. Nothing is created by
// resolving them.
struct LauncherFolders {
  std::string desktop;      // `xdg-user-dir DESKTOP`, else $HOME/Desktop
  std::string quickLaunch;  // none on Linux (kNoQuickLaunch): "", and a launcher there fails
  std::string startMenu;    // the user's application menu: $XDG_DATA_HOME/applications
  std::string programs;     // the same menu folder
  std::string home;         // $HOME, which tells whether a program folder is the default one
};
LauncherFolders UserLauncherFolders(CommandRunner& commands);

// True when `name` + ".desktop" is a plain file name: not empty, no "/", no "..", no control
// character, at most 255 bytes with the extension.
bool IsLauncherFileName(const std::string& name);

// Writes `text` as folder/name.desktop (mode 0755, which desktops ask of launchers on the
// desktop), replacing a launcher of that name, through a temporary file and a rename. The
// folder must exist. False when the name is not a plain file name or the write fails.
bool WriteLauncherFile(const std::string& folder, const std::string& name, const std::string& text);

}  // namespace quillon

#pragma once

#include <string>

namespace quillon {

// Quillon's place on the user's desktop: its icon and the launcher of its main window. A system
// install (CMake's install rules) puts both under a data folder of $XDG_DATA_DIRS; a program
// that was not installed puts them under the user's data folder ($XDG_DATA_HOME, default
// ~/.local/share) at start-up. Failures are ignored: the program runs without them.

// The icon in use: "icons/hicolor/scalable/apps/quillon.svg" of a system data folder when one
// has it, else the user's copy, written (or rewritten when it differs) from the built-in icon.
// "" when there is none and it cannot be written.
std::string InstallQuillonIcon();

// The main window's launcher "applications/quillon.desktop" in the user's data folder, starting
// `program`, unless a system data folder has one; rewritten when it differs (the program moved).
// False when it is needed and cannot be written.
bool InstallApplicationLauncher(const std::string& program);

// The launcher text for `program` (Icon=quillon, Categories=Network;FileTransfer;).
std::string ApplicationLauncherText(const std::string& program);

// The full path of the running executable; "" when it cannot be told.
std::string ThisProgram();

}  // namespace quillon

#pragma once

#include <optional>
#include <string>

namespace quillon {

// The folder of the program's files ("Quillon.ini", "QvrTask.ini", task logs): $QUILLON_HOME
// when set, else $XDG_CONFIG_HOME/quillon/, else ~/.config/quillon/. Created (with its parents)
// when missing. Always ends in "/". nullopt when it cannot be made.
[[nodiscard]] std::optional<std::string> ProgramFolder();

}  // namespace quillon

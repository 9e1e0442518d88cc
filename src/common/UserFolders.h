#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// The user's folders as freedesktop.org (XDG) desktops define them, read from the environment at
// every call. Paths come without a trailing "/" (except "/" itself). Safe from any thread, as
// long as no thread changes the environment meanwhile.

// The process owner's entry in the password database (getpwuid_r), or nullopt.
struct UserAccount {
  std::string name;
  std::string home;
};
std::optional<UserAccount> ProcessOwnerAccount();

// $HOME when it is an absolute path, else the owner's home folder from the password database,
// else "/".
std::string UserHomeFolder();

// $XDG_DATA_HOME when it is an absolute path (a relative one is ignored, as XDG asks), else
// UserHomeFolder() + "/.local/share".
std::string UserDataFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else UserHomeFolder() + "/.config".
std::string UserConfigFolder();

// The absolute entries of $XDG_DATA_DIRS in their order; "/usr/local/share" and "/usr/share"
// when it is unset or empty.
std::vector<std::string> SystemDataFolders();

}  // namespace quillon

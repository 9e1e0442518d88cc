#pragma once

#include <string>

#include "common/Clock.h"

namespace quillon {

// Moves files and folders to the user's trash the way freedesktop.org desktops do, so that
// their file managers list them and can put them back.
//
// An item on the file system of the home trash ($XDG_DATA_HOME/Trash, by default
// ~/.local/share/Trash) goes there; an item on another file system goes to that file system's
// own trash ($topdir/.Trash/$uid when $topdir/.Trash is a sticky folder, else $topdir/.Trash-$uid).
// Each item is renamed into "files/" beside a "info/NAME.trashinfo" record holding its original
// path and deletion time. Nothing is ever copied or deleted: when no trash on the item's file
// system can take it, the item stays where it is and the call fails. A symbolic link is moved
// itself, never the folder or file it points to.
class FreedesktopTrash {
 public:
  // `homeTrash` empty: the home trash is found from the environment at every call.
  explicit FreedesktopTrash(const Clock& clock, std::string homeTrash = {})
      : clock_(clock), homeTrash_(std::move(homeTrash)) {}

  struct Result {
    bool ok = false;
    std::string error;    // why not, one line without a final period ("No such file ...")
    std::string trashed;  // where the item is now (".../files/NAME")
    std::string info;     // its record (".../info/NAME.trashinfo")
  };

  // Moves the item at absolute path `path` to the trash. Trailing "/" are ignored (a link
  // given as "link/" is still the link). Fails for "/", a relative path, a missing item, and
  // when the trash cannot be made or written; the item is then untouched and no record stays.
  [[nodiscard]] Result MoveToTrash(const std::string& path) const;

  // "$XDG_DATA_HOME/Trash" when XDG_DATA_HOME is an absolute path, else
  // "$HOME/.local/share/Trash" (the home folder from the password database when HOME is unset).
  static std::string HomeTrashFolder();

  // The value of a "Path=" line: the bytes of `path` with everything except letters, digits,
  // "-", "_", ".", "~" and "/" written as "%XX".
  static std::string EscapePath(const std::string& path);

 private:
  const Clock& clock_;
  std::string homeTrash_;
};

}  // namespace quillon

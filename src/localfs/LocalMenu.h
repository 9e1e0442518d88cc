#pragma once

#include <string>
#include <vector>

#include "localfs/LocalFolders.h"

namespace quillon {

// The context menu of the local file list.
enum class LocalCommand {
  Open,       // open each selected item with the desktop's program for it
  Explore,    // show the first selected folder in the list (as a double click does)
  Delete,     // move the selected items to the trash
  Rename,     // edit the name of the first selected item
  NewFolder,  // make "New Folder" in the shown folder and edit its name
  Refresh,    // show the folder again
};

struct LocalMenuEntry {
  LocalCommand command;
  std::string text;  // with "&" before the mnemonic letter
  bool separatorBefore = false;
};

// With a selection: "&Open", "E&xplore" when the first selected item is shown as a folder, a
// separator, "&Delete" and "Rename" right after it. Without one: "New Folder" and "Refresh".
std::vector<LocalMenuEntry> LocalMenuEntries(const std::vector<LocalEntry>& selection);

}  // namespace quillon

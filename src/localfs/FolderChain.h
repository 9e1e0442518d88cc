#pragma once

#include <string>
#include <vector>

namespace quillon {

// The items of the local folder combo: the top folder "/", the folders directly under it, and
// the chain of folders down to the one shown, each indented one step deeper than its parent.

struct FolderComboItem {
  std::string text;  // the display name: "/" for the top, else the folder's own name
  std::string path;  // the kept path (see LocalPaths.h)
  int indent = 0;
};

struct FolderComboContent {
  std::vector<FolderComboItem> items;
  int selected = 0;  // the index of the shown folder
};

// The combo reset to the top: "/" at indent 0, then each of `topFolderNames` at indent 1, in
// the given order; the top is selected.
FolderComboContent TopFolderCombo(const std::vector<std::string>& topFolderNames);

// The combo showing `folder` (a kept path): starting from `top`, each level of the path from
// the top down is taken where an item has exactly that path, otherwise inserted right after
// the previous level one step deeper; the last level is selected ("/" selects the top).
FolderComboContent FolderChain(FolderComboContent top, const std::string& folder);

}  // namespace quillon

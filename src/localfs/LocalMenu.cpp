#include "localfs/LocalMenu.h"

#include "localfs/DirListing.h"

namespace quillon {

std::vector<LocalMenuEntry> LocalMenuEntries(const std::vector<LocalEntry>& selection) {
  if (selection.empty())
    return {{LocalCommand::NewFolder, "New Folder"}, {LocalCommand::Refresh, "Refresh"}};
  std::vector<LocalMenuEntry> entries{{LocalCommand::Open, "&Open"}};
  if (IsShownAsFolder(selection.front())) entries.push_back({LocalCommand::Explore, "E&xplore"});
  entries.push_back({LocalCommand::Delete, "&Delete", true});
  entries.push_back({LocalCommand::Rename, "Rename"});
  return entries;
}

}  // namespace quillon

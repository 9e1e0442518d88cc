#include "localfs/DirListing.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillon {

bool IsShownAsFolder(const LocalEntry& entry) { return entry.isFolder || entry.linkToFolder; }

FileRowKey RowKey(const LocalEntry& entry) {
  return {entry.name, IsShownAsFolder(entry), entry.size, entry.lastWrite};
}

std::string LocalSizeText(const LocalEntry& entry) {
  return entry.size == 0 ? std::string() : HumanSizeText(entry.size);
}

void SortDirEntries(std::vector<LocalEntry>& entries, FileColumn column, bool ascending) {
  SortRows(
      entries, [](const LocalEntry& entry) { return RowKey(entry); }, column, ascending);
}

namespace {

// Why a folder cannot be listed, in the system's words.
std::string ReasonFolderUnreadable(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::strerror(errno);
  closedir(dir);
  return "Cannot read the folder";
}

}  // namespace

std::optional<std::vector<LocalEntry>> ListShownEntries(const std::string& folder,
                                                        std::string* error) {
  auto entries = ListLocalFolder(folder);
  if (!entries) {
    if (error) *error = ReasonFolderUnreadable(folder);
    return std::nullopt;
  }
  std::erase_if(*entries, [](const LocalEntry& e) { return e.name[0] == '.'; });
  SortDirEntries(*entries, FileColumn::Name, true);
  return entries;
}

}  // namespace quillon

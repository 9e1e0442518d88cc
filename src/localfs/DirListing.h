#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "transfer/LocalFolders.h"

namespace quillon {

// What the local file list shows of a folder and in which order. The list's items are the
// transfer engine's LocalEntry records, so a selection goes to an upload as it stands.

// The list's columns, in display order.
enum class DirColumn { Name = 0, Size = 1, Date = 2 };

// The column of the last sort and its direction.
struct DirSortState {
  DirColumn column = DirColumn::Name;
  bool ascending = true;

  // A click on a column header: the same column again turns the direction round, another
  // column sorts ascending.
  void Click(DirColumn clicked);
};

// Folders and links to folders are shown, sorted and opened as folders (a link is still
// never followed by a delete or an upload).
bool IsShownAsFolder(const LocalEntry& entry);

// The "Size" column: empty for 0 (folders, empty files), else "%d KB" with the size rounded up
// to whole units of 1000 bytes (1 and 1000 bytes give "1 KB", 1001 bytes "2 KB").
std::string SizeText(uint64_t size);

// The "Date Modified" column: empty when the time is unknown (the zero time point), else the
// local time as "%m/%d/%Y %I:%M %p".
std::string DateText(TimePoint lastWrite);

// The list's order, <0 when `a` comes before `b`. By name: folders before files, then names
// without regard to letter case. By size: files by size, folders by name, folders before
// files. By date: by last write time, folders and files mixed. Descending turns every result
// round except that folders stay before files. Ties are broken by the names' bytes, so the
// order is always the same.
int CompareDirEntries(const LocalEntry& a, const LocalEntry& b, const DirSortState& sort);

void SortDirEntries(std::vector<LocalEntry>& entries, const DirSortState& sort);

// The entries of `folder` the list shows (hidden "." names left out), by name ascending;
// nullopt when the folder cannot be read.
[[nodiscard]] std::optional<std::vector<LocalEntry>> ListShownEntries(const std::string& folder);

}  // namespace quillon

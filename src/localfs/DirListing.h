#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/FileRows.h"
#include "localfs/LocalFolders.h"

namespace quillon {

// What the local file list shows of a folder and in which order. The list's items are the
// transfer engine's LocalEntry records, so a selection goes to an upload as it stands. Cell
// texts and the order of rows are those of every file list (common/FileRows.h).

// Folders and links to folders are shown, sorted and opened as folders (a link is still
// never followed by a delete or an upload).
bool IsShownAsFolder(const LocalEntry& entry);

// The sort key of an entry.
FileRowKey RowKey(const LocalEntry& entry);

// The "Size" cell: empty for 0 (folders, empty files), else HumanSizeText.
std::string LocalSizeText(const LocalEntry& entry);

// Stable sort by CompareFileRows.
void SortDirEntries(std::vector<LocalEntry>& entries, FileColumn column, bool ascending);

// The entries of `folder` the list shows (hidden "." names left out), by name ascending;
// nullopt when the folder cannot be read, with the reason (e.g. "Permission denied") in
// `*error` when given.
[[nodiscard]] std::optional<std::vector<LocalEntry>> ListShownEntries(const std::string& folder,
                                                                      std::string* error = nullptr);

}  // namespace quillon

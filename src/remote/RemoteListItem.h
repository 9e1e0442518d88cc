#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "remote/FtpConnection.h"

namespace quillon {

// One row of the remote file list: what the list shows and sorts by, and what transfers take
// from a selection.
struct RemoteListItem {
  std::string path;     // folder + "/" + name
  uint64_t size = 0;    // bytes
  TimePoint time{};     // last write; the epoch means "not known"
  bool folder = false;

  std::string Name() const;  // the text after the last "/" of the path
};

// The rows of a listed folder: first every folder, then every file, each in listing order.
std::vector<RemoteListItem> MakeRemoteListRows(const std::vector<RemoteEntry>& entries,
                                               std::string_view folder);

// The "Size" cell: empty for a folder of size 0, otherwise "%d KB" with the size in thousands
// of bytes rounded up (1 and 1000 bytes give "1 KB", 1001 give "2 KB", an empty file "0 KB").
std::string RemoteSizeText(const RemoteListItem& item);

// The "Date Modified" cell: empty for an unknown time, otherwise the local time as
// "%m/%d/%Y %I:%M %p".
std::string RemoteTimeText(const RemoteListItem& item);

enum class RemoteColumn { Name = 0, Size = 1, Date = 2 };

// Compares two rows for the given column and direction (<0: a first, 0: equal, >0: b first).
// Name: folders before files, then names without regard to ASCII case. Size: two files by
// size, otherwise as Name. Date: by time, folders and files mixed. Descending reverses every
// result except folder against file: folders stay in front in both directions.
int CompareRemoteListItems(const RemoteListItem& a, const RemoteListItem& b, RemoteColumn column,
                           bool ascending);

// Stable sort of rows by CompareRemoteListItems.
void SortRemoteListItems(std::vector<RemoteListItem>& rows, RemoteColumn column, bool ascending);

// The column last used for sorting and the direction. Clicking the same column again reverses
// the direction, another column (or the first click ever) sorts ascending. Listing a folder
// resets the direction to ascending and keeps the column.
class RemoteSortOrder {
 public:
  void Click(RemoteColumn column);
  void FolderListed() { ascending_ = true; }

  std::optional<RemoteColumn> column() const { return column_; }
  bool ascending() const { return ascending_; }

 private:
  std::optional<RemoteColumn> column_;
  bool ascending_ = true;
};

}  // namespace quillon

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "common/FileRows.h"
#include "remote/FtpConnection.h"

namespace quillon {

// One row of the remote file list: what the list shows and sorts by, and what transfers take
// from a selection.
struct RemoteListItem {
  std::string path;   // folder + "/" + name
  uint64_t size = 0;  // bytes
  TimePoint time{};   // last write; the epoch means "not known"
  bool folder = false;

  std::string Name() const;  // the text after the last "/" of the path
};

// The rows of a listed folder: first every folder, then every file, each in listing order.
std::vector<RemoteListItem> MakeRemoteListRows(const std::vector<RemoteEntry>& entries,
                                               std::string_view folder);

// The sort key of a row.
FileRowKey RowKey(const RemoteListItem& item);

// The "Size" cell: empty for a folder of size 0, otherwise HumanSizeText ("0 KB" for an empty
// file, "1 KB" for 1 to 1000 bytes, "2 KB" for 1001).
std::string RemoteSizeText(const RemoteListItem& item);

// The "Date Modified" cell: empty for an unknown time, otherwise the time as the server listed
// it, "%m/%d/%Y %I:%M %p".
std::string RemoteTimeText(const RemoteListItem& item);

// Stable sort of rows by CompareFileRows.
void SortRemoteListItems(std::vector<RemoteListItem>& rows, FileColumn column, bool ascending);

}  // namespace quillon

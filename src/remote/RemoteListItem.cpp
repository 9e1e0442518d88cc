#include "remote/RemoteListItem.h"

#include <algorithm>

#include "remote/RemoteListing.h"
#include "remote/RemotePaths.h"

namespace quillon {

std::string RemoteListItem::Name() const { return RemoteBaseName(path); }

std::vector<RemoteListItem> MakeRemoteListRows(const std::vector<RemoteEntry>& entries,
                                               std::string_view folder) {
  std::vector<RemoteListItem> folders;
  std::vector<RemoteListItem> files;
  for (const auto& entry : entries) {
    if (!IsSafeRemoteName(entry.name)) continue;  // "." and ".." among them
    RemoteListItem item{JoinRemotePath(folder, entry.name), entry.size, entry.lastWrite,
                        entry.isFolder};
    (entry.isFolder ? folders : files).push_back(std::move(item));
  }
  folders.insert(folders.end(), std::make_move_iterator(files.begin()),
                 std::make_move_iterator(files.end()));
  return folders;
}

FileRowKey RowKey(const RemoteListItem& item) {
  // A view into the path itself: the key lives no longer than the item.
  std::string_view name = item.path;
  if (size_t slash = name.rfind('/'); slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  return {name, item.folder, item.size, item.time};
}

std::string RemoteSizeText(const RemoteListItem& item) {
  if (item.folder && item.size == 0) return {};
  return HumanSizeText(item.size);
}

std::string RemoteTimeText(const RemoteListItem& item) { return FileDateText(item.time, true); }

void SortRemoteListItems(std::vector<RemoteListItem>& rows, FileColumn column, bool ascending) {
  SortRows(
      rows, [](const RemoteListItem& row) { return RowKey(row); }, column, ascending);
}

}  // namespace quillon

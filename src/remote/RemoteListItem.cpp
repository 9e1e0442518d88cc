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

std::string RemoteSizeText(const RemoteListItem& item) {
  if (item.folder && item.size == 0) return {};
  // Whole thousands rounded up, in 64 bits: sizes beyond 2 GiB keep their value.
  return std::to_string((item.size + 999) / 1000) + " KB";
}

std::string RemoteTimeText(const RemoteListItem& item) {
  if (item.time == TimePoint{}) return {};
  return FormatLocalTime(item.time, "%m/%d/%Y %I:%M %p");
}

namespace {

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int CompareRemoteListItems(const RemoteListItem& a, const RemoteListItem& b, RemoteColumn column,
                           bool ascending) {
  const int direction = ascending ? 1 : -1;
  if (column == RemoteColumn::Date) return direction * Order(a.time, b.time);
  // A folder against a file is settled before the direction applies, so folders keep their
  // place in front whichever way the column is sorted.
  if (a.folder != b.folder) return a.folder ? -1 : 1;
  if (column == RemoteColumn::Size && !a.folder) return direction * Order(a.size, b.size);
  return direction * CompareNoCase(a.Name(), b.Name());
}

void SortRemoteListItems(std::vector<RemoteListItem>& rows, RemoteColumn column, bool ascending) {
  std::stable_sort(rows.begin(), rows.end(), [&](const RemoteListItem& a, const RemoteListItem& b) {
    return CompareRemoteListItems(a, b, column, ascending) < 0;
  });
}

void RemoteSortOrder::Click(RemoteColumn column) {
  ascending_ = column == column_ ? !ascending_ : true;
  column_ = column;
}

}  // namespace quillon

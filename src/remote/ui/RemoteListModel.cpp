#include "remote/ui/RemoteListModel.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QStyle>
#include <mutex>
#include <thread>

#include "remote/RemotePaths.h"

namespace quillon {

namespace {

// The MIME database reads its files on first use, a tenth of a second or more: done once, on a
// thread of its own (the database may be used from any thread), so the first folder shown
// does not wait for it.
void WarmUpMimeDatabase() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::thread([] {
      QMimeDatabase().mimeTypeForFile(QStringLiteral("A.txt"), QMimeDatabase::MatchExtension);
    }).detach();
  });
}

}  // namespace

RemoteListModel::RemoteListModel(QObject* parent) : FileListModel(parent) {
  WarmUpMimeDatabase();
  QFileIconProvider icons;
  folderIcon_ = icons.icon(QFileIconProvider::Folder);
  openFolderIcon_ = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
  if (openFolderIcon_.isNull()) openFolderIcon_ = folderIcon_;
  plainFileIcon_ = icons.icon(QFileIconProvider::File);
}

void RemoteListModel::SetRows(std::vector<RemoteListItem> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void RemoteListModel::Sort(FileColumn column, bool ascending) {
  beginResetModel();
  SortRemoteListItems(rows_, column, ascending);
  endResetModel();
}

void RemoteListModel::SetPath(int row, std::string path) {
  rows_[static_cast<size_t>(row)].path = std::move(path);
  emit dataChanged(index(row, 0), index(row, kFileColumnCount - 1));
}

int RemoteListModel::RowOf(const std::string& path) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].path == path) return static_cast<int>(i);
  return -1;
}

QIcon RemoteListModel::FileIcon(const std::string& name) const {
  const QString iconName = QString::fromStdString(RemoteIconName(name));
  if (auto found = fileIcons_.constFind(iconName); found != fileIcons_.constEnd()) return *found;
  // MatchExtension decides by the name alone; the made-up name never exists on disk.
  const QMimeType type = QMimeDatabase().mimeTypeForFile(iconName, QMimeDatabase::MatchExtension);
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = plainFileIcon_;
  fileIcons_.insert(iconName, icon);
  return icon;
}

QString RemoteListModel::SizeTextAt(int row) const {
  return QString::fromStdString(RemoteSizeText(RowAt(row)));
}

QString RemoteListModel::DateTextAt(int row) const {
  return QString::fromStdString(RemoteTimeText(RowAt(row)));
}

QIcon RemoteListModel::IconAt(int row) const {
  const RemoteListItem& item = RowAt(row);
  return item.folder ? folderIcon_ : FileIcon(item.Name());
}

}  // namespace quillon

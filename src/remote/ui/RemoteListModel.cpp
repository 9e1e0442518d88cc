#include "remote/ui/RemoteListModel.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QStyle>

#include "remote/RemotePaths.h"

namespace quillon {

RemoteListModel::RemoteListModel(QObject* parent) : FileListModel(parent) {
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

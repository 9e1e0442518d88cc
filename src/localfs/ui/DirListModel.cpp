#include "localfs/ui/DirListModel.h"

#include <QFileIconProvider>

namespace quillon {

DirListModel::DirListModel(QObject* parent) : FileListModel(parent) {
  // Icons by kind only: asking the desktop per file would make large folders slow to show.
  QFileIconProvider icons;
  folderIcon_ = icons.icon(QFileIconProvider::Folder);
  fileIcon_ = icons.icon(QFileIconProvider::File);
  connect(this, &FileListModel::nameEdited, this, [this](int row, const QString& text) {
    emit renameRequested(QByteArray::fromStdString(EntryAt(row).name), text);
  });
}

void DirListModel::SetEntries(std::vector<LocalEntry> entries) {
  beginResetModel();
  entries_ = std::move(entries);
  endResetModel();
}

void DirListModel::Sort(FileColumn column, bool ascending) {
  beginResetModel();
  SortDirEntries(entries_, column, ascending);
  endResetModel();
}

int DirListModel::RowOf(const std::string& name) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].name == name) return static_cast<int>(i);
  return -1;
}

QString DirListModel::SizeTextAt(int row) const {
  return QString::fromStdString(LocalSizeText(EntryAt(row)));
}

QString DirListModel::DateTextAt(int row) const {
  return QString::fromStdString(FileDateText(EntryAt(row).lastWrite, false));
}

QIcon DirListModel::IconAt(int row) const {
  return IsShownAsFolder(EntryAt(row)) ? folderIcon_ : fileIcon_;
}

}  // namespace quillon

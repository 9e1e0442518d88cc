#include "localfs/ui/DirListModel.h"

#include <QFileIconProvider>

namespace quillon {

DirListModel::DirListModel(QObject* parent) : QAbstractTableModel(parent) {
  // Icons by kind only: asking the desktop per file would make large folders slow to show.
  QFileIconProvider icons;
  folderIcon_ = icons.icon(QFileIconProvider::Folder);
  fileIcon_ = icons.icon(QFileIconProvider::File);
}

void DirListModel::SetEntries(std::vector<LocalEntry> entries) {
  beginResetModel();
  entries_ = std::move(entries);
  endResetModel();
}

void DirListModel::Sort(const DirSortState& sort) {
  beginResetModel();
  SortDirEntries(entries_, sort);
  endResetModel();
}

int DirListModel::RowOf(const std::string& name) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].name == name) return static_cast<int>(i);
  return -1;
}

int DirListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int DirListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant DirListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const LocalEntry& entry = EntryAt(index.row());
  auto column = static_cast<DirColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      switch (column) {
        case DirColumn::Name:
          return QString::fromStdString(entry.name);
        case DirColumn::Size:
          return role == Qt::DisplayRole ? QString::fromStdString(SizeText(entry.size)) : QVariant();
        case DirColumn::Date:
          return role == Qt::DisplayRole ? QString::fromStdString(DateText(entry.lastWrite))
                                         : QVariant();
      }
      break;
    case Qt::DecorationRole:
      if (column == DirColumn::Name) return IsShownAsFolder(entry) ? folderIcon_ : fileIcon_;
      break;
    case Qt::TextAlignmentRole:
      if (column == DirColumn::Size) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      break;
  }
  return {};
}

QVariant DirListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    switch (static_cast<DirColumn>(section)) {
      case DirColumn::Name:
        return QStringLiteral("Name");
      case DirColumn::Size:
        return QStringLiteral("Size");
      case DirColumn::Date:
        return QStringLiteral("Date Modified");
    }
  }
  if (role == Qt::TextAlignmentRole && section == static_cast<int>(DirColumn::Size))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags DirListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == static_cast<int>(DirColumn::Name))
    flags |= Qt::ItemIsEditable;
  return flags;
}

bool DirListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() ||
      index.column() != static_cast<int>(DirColumn::Name) || index.row() >= rowCount())
    return false;
  emit renameRequested(QByteArray::fromStdString(EntryAt(index.row()).name), value.toString());
  // The row changes only when the list is shown again after the rename.
  return false;
}

}  // namespace quillon

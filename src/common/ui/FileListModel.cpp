#include "common/ui/FileListModel.h"

#include <algorithm>
#include <vector>

namespace quillon {

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowTotal();
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kFileColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowTotal()) return {};
  const int row = index.row();
  const auto column = static_cast<FileColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case FileColumn::Name: {
          const FileRowKey key = KeyAt(row);
          return QString::fromUtf8(key.name.data(), static_cast<qsizetype>(key.name.size()));
        }
        case FileColumn::Size:
          return SizeTextAt(row);
        case FileColumn::Date:
          return DateTextAt(row);
      }
      break;
    case Qt::EditRole:
      if (column == FileColumn::Name) {
        const FileRowKey key = KeyAt(row);
        return QString::fromUtf8(key.name.data(), static_cast<qsizetype>(key.name.size()));
      }
      break;
    case Qt::DecorationRole:
      if (column == FileColumn::Name) return IconAt(row);
      break;
    case Qt::TextAlignmentRole:
      if (column == FileColumn::Size) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      break;
    default:
      break;
  }
  return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    switch (static_cast<FileColumn>(section)) {
      case FileColumn::Name:
        return QStringLiteral("Name");
      case FileColumn::Size:
        return QStringLiteral("Size");
      case FileColumn::Date:
        return QStringLiteral("Date Modified");
    }
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(
        (section == static_cast<int>(FileColumn::Size) ? Qt::AlignRight : Qt::AlignLeft) |
        Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == static_cast<int>(FileColumn::Name))
    flags |= Qt::ItemIsEditable;
  return flags;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() ||
      index.column() != static_cast<int>(FileColumn::Name) || index.row() >= RowTotal())
    return false;
  emit nameEdited(index.row(), value.toString());
  // The row changes only when the folder is shown again after the rename.
  return false;
}

int FileListModel::ContentWidth(FileColumn column, const QFontMetrics& metrics) const {
  const int rows = RowTotal();
  int width = metrics.horizontalAdvance(
      headerData(static_cast<int>(column), Qt::Horizontal, Qt::DisplayRole).toString());
  switch (column) {
    case FileColumn::Name: {
      // The longest names by length are measured; a few more than one, as letters differ in
      // width.
      constexpr size_t kMeasured = 24;
      std::vector<std::pair<size_t, int>> longest;
      longest.reserve(static_cast<size_t>(rows));
      for (int row = 0; row < rows; ++row) longest.emplace_back(KeyAt(row).name.size(), row);
      const size_t n = std::min(kMeasured, longest.size());
      std::partial_sort(longest.begin(), longest.begin() + static_cast<std::ptrdiff_t>(n),
                        longest.end(),
                        [](const auto& a, const auto& b) { return a.first > b.first; });
      for (size_t i = 0; i < n; ++i)
        width = std::max(width, metrics.horizontalAdvance(
                                    data(index(longest[i].second, 0), Qt::DisplayRole).toString()));
      break;
    }
    case FileColumn::Size: {
      // Digits are equally wide: the longest texts are those of the largest size in each unit.
      int largest = -1;
      int largestInKilobytes = -1;
      for (int row = 0; row < rows; ++row) {
        const uint64_t size = KeyAt(row).size;
        if (largest < 0 || size > KeyAt(largest).size) largest = row;
        if (size < 999'001 && (largestInKilobytes < 0 || size > KeyAt(largestInKilobytes).size))
          largestInKilobytes = row;
      }
      for (int row : {largest, largestInKilobytes})
        if (row >= 0) width = std::max(width, metrics.horizontalAdvance(SizeTextAt(row)));
      break;
    }
    case FileColumn::Date:
      // Every date has the same form; only AM and PM differ.
      for (int row = 0; row < rows; ++row) {
        if (!DateTextAt(row).isEmpty()) {
          width = std::max({width, metrics.horizontalAdvance(QStringLiteral("12/28/2028 12:58 AM")),
                            metrics.horizontalAdvance(QStringLiteral("12/28/2028 12:58 PM"))});
          break;
        }
      }
      break;
  }
  return width;
}

}  // namespace quillon

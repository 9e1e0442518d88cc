#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

#include "localfs/DirListing.h"

namespace quillon {

// The rows of the local file list: one LocalEntry each, in display order, with the columns
// "Name", "Size" and "Date Modified". Only the name can be edited; an edit does not rename by
// itself but asks for it with renameRequested, which the list carries out. UI thread only.
class DirListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit DirListModel(QObject* parent = nullptr);

  void SetEntries(std::vector<LocalEntry> entries);
  void Sort(const DirSortState& sort);
  const std::vector<LocalEntry>& Entries() const { return entries_; }
  const LocalEntry& EntryAt(int row) const { return entries_[static_cast<size_t>(row)]; }
  // The row of the entry named `name`, or -1.
  int RowOf(const std::string& name) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // The name of `oldName` (the item's own bytes, which need not be UTF-8) was edited to
  // `newName` (which may be empty or unchanged).
  void renameRequested(const QByteArray& oldName, const QString& newName);

 private:
  std::vector<LocalEntry> entries_;
  QIcon folderIcon_;
  QIcon fileIcon_;
};

}  // namespace quillon

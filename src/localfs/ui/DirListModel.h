#pragma once

#include <QIcon>
#include <vector>

#include "common/ui/FileListModel.h"
#include "localfs/DirListing.h"

namespace quillon {

// The rows of the local file list: one LocalEntry each, in display order. An edited name asks
// for a rename with renameRequested (the item's own bytes, which need not be UTF-8, and the new
// text), which the list carries out. UI thread only.
class DirListModel : public FileListModel {
  Q_OBJECT

 public:
  explicit DirListModel(QObject* parent = nullptr);

  void SetEntries(std::vector<LocalEntry> entries);
  void Sort(FileColumn column, bool ascending);
  const std::vector<LocalEntry>& Entries() const { return entries_; }
  const LocalEntry& EntryAt(int row) const { return entries_[static_cast<size_t>(row)]; }
  // The row of the entry named `name`, or -1.
  int RowOf(const std::string& name) const;

 signals:
  void renameRequested(const QByteArray& oldName, const QString& newName);

 protected:
  int RowTotal() const override { return static_cast<int>(entries_.size()); }
  FileRowKey KeyAt(int row) const override { return RowKey(EntryAt(row)); }
  QString SizeTextAt(int row) const override;
  QString DateTextAt(int row) const override;
  QIcon IconAt(int row) const override;

 private:
  std::vector<LocalEntry> entries_;
  QIcon folderIcon_;
  QIcon fileIcon_;
};

}  // namespace quillon

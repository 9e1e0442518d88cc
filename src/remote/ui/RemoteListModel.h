#pragma once

#include <QHash>
#include <QIcon>
#include <vector>

#include "common/ui/FileListModel.h"
#include "remote/RemoteListItem.h"

namespace quillon {

// The rows of the remote file list: one RemoteListItem each, in display order. Files get the
// desktop's icon for the made-up name "A.<ext>" (looked up by name only, once per extension);
// times are shown as listed. GUI thread only.
class RemoteListModel : public FileListModel {
  Q_OBJECT

 public:
  explicit RemoteListModel(QObject* parent = nullptr);

  void SetRows(std::vector<RemoteListItem> rows);
  void Sort(FileColumn column, bool ascending);
  const std::vector<RemoteListItem>& Rows() const { return rows_; }
  const RemoteListItem& RowAt(int row) const { return rows_[static_cast<size_t>(row)]; }
  void SetPath(int row, std::string path);
  // The row whose path is `path`, or -1.
  int RowOf(const std::string& path) const;

  QIcon FolderIcon() const { return folderIcon_; }
  QIcon OpenFolderIcon() const { return openFolderIcon_; }
  QIcon FileIcon(const std::string& name) const;

 protected:
  int RowTotal() const override { return static_cast<int>(rows_.size()); }
  FileRowKey KeyAt(int row) const override { return RowKey(RowAt(row)); }
  QString SizeTextAt(int row) const override;
  QString DateTextAt(int row) const override;
  QIcon IconAt(int row) const override;

 private:
  std::vector<RemoteListItem> rows_;
  QIcon folderIcon_;
  QIcon openFolderIcon_;
  QIcon plainFileIcon_;
  mutable QHash<QString, QIcon> fileIcons_;
};

}  // namespace quillon

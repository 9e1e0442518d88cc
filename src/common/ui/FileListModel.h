#pragma once

#include <QAbstractTableModel>
#include <QFontMetrics>
#include <QIcon>
#include <QString>

#include "common/FileRows.h"

namespace quillon {

// The rows of a file list, local or remote, in the columns "Name", "Size" (right-aligned) and
// "Date Modified". A side says what its rows are (RowTotal, KeyAt, SizeTextAt, DateTextAt,
// IconAt); the texts are made only for the rows the view shows, so a folder of any size is
// shown at once. Only the name can be edited: an edit renames nothing by itself but is
// reported with nameEdited, and the side renames. GUI thread only.
class FileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit FileListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The width `column` needs for the widest text of its rows (and its header) in `metrics`,
  // without padding. Found from the longest texts rather than by measuring every row.
  int ContentWidth(FileColumn column, const QFontMetrics& metrics) const;

 signals:
  void nameEdited(int row, const QString& text);

 protected:
  virtual int RowTotal() const = 0;
  virtual FileRowKey KeyAt(int row) const = 0;
  virtual QString SizeTextAt(int row) const = 0;
  virtual QString DateTextAt(int row) const = 0;
  virtual QIcon IconAt(int row) const = 0;
};

}  // namespace quillon

#pragma once

#include <QHeaderView>
#include <QString>
#include <QTableView>

namespace quillon {

class FileListModel;

// What the local and the remote file list share as views: report rows with several selected
// at once, a header whose clicks sort, names edited in place (F2 or a click on a selected
// name), columns sized to their texts, and the keys a desktop user expects:
//   Enter (or a double click) opens the current item, Delete deletes the selection, BackSpace
//   and Alt+Up go up one folder, Alt+Left and Alt+Right go back and forward, F5 shows the
//   folder again.
// The view reports them; the list or its panel acts. A text can stand in the empty list (a
// folder that cannot be read says so). A table without grid lines rather than a tree: its rows
// are laid out from their count, so a folder of any size shows at once. GUI thread only.
class FileListView : public QTableView {
  Q_OBJECT

 public:
  explicit FileListView(QWidget* parent = nullptr);

  // Sets the model; the view does not own it.
  void SetFileModel(FileListModel* model);

  // The column header.
  QHeaderView* header() const { return horizontalHeader(); }

  // Sizes every column to its texts, the name column at most half the view wide (at least the
  // classic 180, 50 and 120 pixels).
  void FitColumns();

  // Shown in the middle of the list while it has no rows; empty for none.
  void SetPlaceholder(const QString& text);
  const QString& Placeholder() const { return placeholder_; }

  // The rows selected, in list order.
  QList<int> SelectedRows() const;

 signals:
  void openRequested(int row);
  void deleteRequested();
  void upRequested();
  void backRequested();
  void forwardRequested();
  void refreshRequested();
  void headerClicked(int column);
  // A mouse click anywhere in the list, and the list getting the focus (button enabling).
  void listClicked();
  void focusEntered();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  FileListModel* model_ = nullptr;
  QString placeholder_;
};

}  // namespace quillon

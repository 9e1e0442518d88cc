#pragma once

#include <QWidget>
#include <string>

#include "common/FolderHistory.h"

class QHBoxLayout;
class QToolButton;
class QVBoxLayout;

namespace quillon {

// What a browser of folders is, local or remote: a Back/Forward/Up toolbar and a folder combo
// above a file list, and the history of folders visited (FolderHistory: 15 entries, a visit
// appends after the last one). The sides say how a folder is shown (at once on the disk, later
// over the network) and report each visit with Visited; the history, the toolbar and its rules
// live here once. GUI thread only.
//
// Controls by object name: "backButton", "forwardButton", "upButton".
class BrowserPanel : public QWidget {
  Q_OBJECT

 public:
  const FolderHistory& History() const { return history_; }

 public slots:
  // Back and Forward move in the history and show that folder without a new visit; Up shows
  // the parent folder as a visit. Each does nothing while the side cannot navigate.
  void Back();
  void Forward();
  void Up();

 signals:
  // The history was emptied and the folder shown made its only entry (after a rename, a new
  // folder or a delete, whose paths may be stale).
  void historyReset();

 protected:
  explicit BrowserPanel(QWidget* parent);

  // Puts the toolbar and `combo` in a row, `list` below, then `bottom` (may be null).
  void Assemble(QWidget* combo, QWidget* list, QLayout* bottom);

  // Whether navigation may start now (connected, not waiting for the network).
  virtual bool CanNavigate() const = 0;
  // Whether the shown folder has a parent the side may show.
  virtual bool CanGoUp() const = 0;
  // Shows `folder`, the history's new current entry (no visit); calls UpdateToolbar when done.
  virtual void ShowFromHistory(const std::string& folder) = 0;
  // Shows the parent folder; calls Visited when done.
  virtual void ShowParent() = 0;
  // Enables what the side adds to the toolbar's rules (the combo, a folder field).
  virtual void UpdateSideControls() {}

  // A folder was shown as a visit: it becomes the newest history entry.
  void Visited(const std::string& folder);
  // The history starts again with `folder` alone.
  void ResetHistory(const std::string& folder);
  void ClearHistory();
  // Enables Back, Forward and Up by the rules, then the side's controls.
  void UpdateToolbar();

  QHBoxLayout* TopRow() const { return top_; }

 private:
  FolderHistory history_;
  QToolButton* back_;
  QToolButton* forward_;
  QToolButton* up_;
  QHBoxLayout* top_;
  QVBoxLayout* layout_;
};

}  // namespace quillon

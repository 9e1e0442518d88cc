#pragma once

#include <QColor>
#include <QIcon>
#include <functional>
#include <string>
#include <vector>

#include "common/ActivityLog.h"
#include "common/FileRows.h"
#include "common/Messages.h"
#include "common/ui/FileListView.h"
#include "profiles/ConnectionProfile.h"
#include "remote/FtpConnection.h"
#include "remote/RemoteListItem.h"
#include "remote/ui/RemoteSession.h"

namespace quillon {

class RemoteListModel;

// The detailed list of one remote folder ("Name", "Size", "Date Modified"), with its own
// browsing connection (a RemoteSession: every network call runs on the connection's worker, so
// the window never waits), column sorting, in-place renaming and the context menu (Explore,
// Rename, Delete; NewFolder, Refresh). The keys of every file list work here too (see
// FileListView). GUI thread only.
//
// Signals to the host:
// - remoteRefresh(): after a successful rename and after a delete; the host shows the current
//   folder again and resets its history.
// - rowOpened(path, isFolder): a row was double-clicked, chosen with Enter, or Explore was
//   chosen for it.
// - busyChanged(busy): the connection is working for the list (connecting, listing, ...).
class CFTPList : public FileListView {
  Q_OBJECT

 public:
  // `connector` opens the browsing connection (from the connection's worker thread); `messages`
  // shows the list's message boxes. Both must outlive the list.
  CFTPList(FtpConnector& connector, MessagePresenter& messages, QWidget* parent = nullptr);
  ~CFTPList() override;

  // Where "Delete: ..." lines go; none drops them.
  void SetActivityLog(ActivityLog* log) { session_->SetActivityLog(log); }
  // The colour of the rows' text (the main window uses dark red 136, the picker 170).
  void SetTextColour(const QColor& colour);

  RemoteSession& Session() { return *session_; }
  bool IsConnected() const { return session_->IsConnected(); }
  bool IsBusy() const { return session_->IsBusy(); }

  // Shows a folder listed by the session: its rows (folders first, then files, in listing
  // order), the sort direction ascending. A failed listing changes nothing.
  void ShowListing(RemoteFolderListing listing);
  // Lists `folder` and shows it; `done(ok)` afterwards (false: rows and folder unchanged).
  void Browse(const std::string& folder, std::function<void(bool)> done = {});
  // The folder shown: without trailing "/", "/" for the top; empty before the first listing.
  const std::string& CurrentFolder() const { return currentFolder_; }

  void RemoveAllRows();
  int RowCount() const;
  // The row's item (rows count from the top as shown), null when out of range.
  const RemoteListItem* ItemAt(int row) const;
  // The row showing `name`, or -1.
  int RowNamed(const std::string& name) const;
  // The selected rows' items, in the order shown.
  std::vector<RemoteListItem> SelectedItems() const;

  // As a click on the column's header.
  void SortByColumn(FileColumn column);
  const FileSortOrder& SortOrder() const { return sortOrder_; }

  // The context menu's commands (also reachable from the menu and the keys).
  void Explore();
  void StartRename();
  void DeleteSelected();
  void NewFolder();
  void Refresh();

  QIcon FileIcon(const std::string& name) const;
  QIcon FolderIcon() const;
  QIcon OpenFolderIcon() const;

 signals:
  void remoteRefresh();
  void rowOpened(const QString& path, bool isFolder);
  void busyChanged(bool busy);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Called when label editing of `path` ends with `text`; the rename runs on the next turn of
  // the event loop, after the editor has closed.
  void LabelEdited(const std::string& path, const QString& text);
  void FinishRename(const std::string& path, const std::string& text);
  int FirstSelectedRow() const;
  void ShowMessage(const std::string& text);
  void EditRow(int row);

  MessagePresenter& messages_;
  RemoteSession* session_;
  RemoteListModel* model_;
  std::string currentFolder_;
  FileSortOrder sortOrder_;
};

}  // namespace quillon

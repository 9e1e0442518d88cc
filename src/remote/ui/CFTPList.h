#pragma once

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "common/ActivityLog.h"
#include "common/Messages.h"
#include "profiles/ConnectionProfile.h"
#include "remote/FtpConnection.h"
#include "remote/RemoteListItem.h"

namespace quillon {

// The detailed list of one remote folder ("Name", "Size", "Date Modified"), with its own
// browsing connection, column sorting, in-place renaming and the context menu (Explore, Rename,
// Delete; NewFolder, Refresh). Everything runs on the GUI thread; FTP calls block it (the FTP
// layer has time-outs).
//
// The list owns the browsing connection. Job builders borrow it through LiveConnection() for
// the length of one call on the GUI thread; a transfer closes it (Disconnect) and reconnects
// afterwards (Connect), the current folder staying as it was.
//
// Signals to the host window:
// - remoteRefresh(): after a successful rename and after a delete; the host shows the current
//   folder again and resets its history.
// - rowOpened(path, isFolder): a row was double-clicked, or Explore was chosen for it.
// - focused(): the list received the keyboard focus (the host's button enabling).
class CFTPList : public QTreeWidget {
  Q_OBJECT

 public:
  // `connector` opens the browsing connection (MainApp's in the program); `messages` shows the
  // list's message boxes. Both must outlive the list.
  CFTPList(FtpConnector& connector, MessagePresenter& messages, QWidget* parent = nullptr);
  ~CFTPList() override;

  // Where "Delete: ..." lines go; none drops them.
  void SetActivityLog(ActivityLog* log) { log_ = log; }
  // The colour of the rows' text (the main window uses dark red 136, the picker 170).
  void SetTextColour(const QColor& colour);

  // Closes any previous connection and opens one for `profile`. False when it cannot be made;
  // ConnectError() then holds the connector's text.
  bool Connect(const ConnectionProfile& profile);
  // Closes the connection (rows and current folder stay; see RemoveAllRows).
  void Disconnect();
  bool IsConnected() const { return connection_ != nullptr; }
  const std::string& ConnectError() const { return connectError_; }

  // The browsing connection, or null; not tested for liveness.
  FtpConnection* Connection() const { return connection_.get(); }
  // The connection when the server still answers for its current folder, else null.
  FtpConnection* LiveConnection();

  // Lists `folder` into the list: folders first, then files, each in listing order; the sort
  // direction becomes ascending. The server's current folder is set back afterwards. False
  // (rows and current folder unchanged) without a connection, when the folder cannot be
  // entered or when its listing fails.
  bool Browse(const std::string& folder);
  // Browses the parent of the current folder ("/" from a top-level folder). False when the
  // current folder has no "/" or cannot be listed.
  bool Up();
  // The folder shown: without trailing "/", "/" for the top; empty before the first Browse.
  const std::string& CurrentFolder() const { return currentFolder_; }

  void RemoveAllRows() { clear(); }
  int RowCount() const { return topLevelItemCount(); }
  // The row's item (rows count from the top as shown), null when out of range.
  const RemoteListItem* ItemAt(int row) const;
  // The selected rows' items, in the order shown.
  std::vector<RemoteListItem> SelectedItems() const;

  // As a click on the column's header.
  void SortByColumn(RemoteColumn column);
  const RemoteSortOrder& SortOrder() const { return sortOrder_; }

  // The context menu's commands (also reachable from the menu).
  void Explore();
  void StartRename();
  void DeleteSelected();
  void NewFolder();
  void Refresh();

  // The made-up file name "A.<ext>" looked up by name only, never by touching a file.
  QIcon FileIcon(const std::string& name);
  QIcon FolderIcon() const { return folderIcon_; }
  QIcon OpenFolderIcon() const { return openFolderIcon_; }

 signals:
  void remoteRefresh();
  void rowOpened(const QString& path, bool isFolder);
  void focused();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  using QTreeWidget::edit;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  friend class RemoteRow;
  void ReplaceRows(std::vector<RemoteListItem> rows);
  // Called when label editing of the row with `path` ends with `text`; the rename runs on the
  // next turn of the event loop, after the editor has closed.
  void LabelEdited(const std::string& path, const QString& text);
  void FinishRename(const std::string& path, const std::string& text);
  QTreeWidgetItem* FirstSelectedRow() const;
  void ShowMessage(const std::string& text);

  FtpConnector& connector_;
  MessagePresenter& messages_;
  ActivityLog* log_ = nullptr;
  // Shared so that an operation that waits on a message box keeps its connection object alive
  // when a keep-alive check disconnects the list meanwhile.
  std::shared_ptr<FtpConnection> connection_;
  std::string connectError_;
  std::string currentFolder_;
  RemoteSortOrder sortOrder_;
  QIcon folderIcon_;
  QIcon openFolderIcon_;
  QIcon plainFileIcon_;
  QHash<QString, QIcon> fileIcons_;
};

}  // namespace quillon

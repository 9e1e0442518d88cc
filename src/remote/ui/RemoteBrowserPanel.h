#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <string>

#include "common/Messages.h"
#include "profiles/ConnectionProfile.h"
#include "common/FolderHistory.h"
#include "remote/FtpConnection.h"

class QLineEdit;
class QToolButton;

namespace quillon {

class CFTPComboEx;
class CFTPList;

// A complete remote browser over one connection profile: a Back/Forward/Up toolbar and a
// CFTPComboEx on top, a CFTPList, and the read-only "Current Remote Folder:" field. It keeps its
// own history (15 folders), checks its connection every keep-alive interval (15 s unless set)
// and disconnects when the server no longer answers. Browsing never leaves the profile's
// remote root ("RMTROOT"). GUI thread only; disconnects when destroyed.
//
// Controls by object name: "backButton", "forwardButton", "upButton", "remoteCombo",
// "remoteList", "currentFolderField".
class RemoteBrowserPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kKeepAliveInterval{15'000};

  RemoteBrowserPanel(FtpConnector& connector, MessagePresenter& messages,
                     ConnectionProfile profile, QWidget* parent = nullptr);
  ~RemoteBrowserPanel() override;

  // Connects with the profile and navigates to its "RemoteDir" ("/" when empty). A connection
  // that cannot be made gives false with nothing shown; a start folder that cannot be shown
  // (nor the root) shows "Cannot navigate to the remote folder..." and disconnects (false).
  // On success the keep-alive check starts.
  bool ConnectAndShow();

  // Shows `folder`, or the profile's remote root when it cannot be shown (or lies outside the
  // root); false when neither can be shown (nothing changes). The combo is rebuilt and follows
  // the folder shown, which is added to the history.
  bool Navigate(const std::string& folder);

  // Stops the keep-alive check, closes the connection, empties the list, the combo ("Not
  // connected") and the history.
  void Disconnect();

  bool IsConnected() const;
  // The folder the list shows (the last one shown after a disconnect).
  std::string CurrentFolder() const;
  const ConnectionProfile& Profile() const { return profile_; }

  void SetKeepAliveInterval(std::chrono::milliseconds interval);
  std::chrono::milliseconds KeepAliveInterval() const;

  CFTPList& List() { return *list_; }
  CFTPComboEx& Combo() { return *combo_; }
  const FolderHistory& History() const { return history_; }

 public slots:
  void Back();
  void Forward();
  void Up();

 private:
  void ShowHistoryEntry(const std::string& folder);
  void FolderChosen(const QString& folder);
  void RowOpened(const QString& path, bool isFolder);
  void RemoteRefresh();
  void KeepAlive();
  void FollowList();  // combo rebuilt and on the list's folder, which is pushed
  void UpdateToolbar();
  bool AtRoot() const;

  MessagePresenter& messages_;
  ConnectionProfile profile_;
  CFTPList* list_;
  CFTPComboEx* combo_;
  QToolButton* back_;
  QToolButton* forward_;
  QToolButton* up_;
  QLineEdit* folderField_;
  QTimer keepAlive_;
  FolderHistory history_;
};

}  // namespace quillon

#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "common/Messages.h"
#include "common/ui/BrowserPanel.h"
#include "profiles/ConnectionProfile.h"
#include "remote/FtpConnection.h"
#include "remote/ui/RemoteSession.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace quillon {

class CFTPComboEx;
class CFTPList;

// A complete remote browser over one connection profile: the Back/Forward/Up toolbar and a
// CFTPComboEx on top, a CFTPList, and (when shown) the read-only "Current Remote Folder:" field.
// Every network call runs on the list's connection worker: the panel asks, shows a busy bar and
// takes the answer when it comes, so the window stays responsive; navigation waits (toolbar and
// combo disabled) while the connection is busy. While connected it checks the connection every
// keep-alive interval (15 s unless set), allowing the server a short time to answer
// (kKeepAliveReplyTime); when the server is gone it disconnects and says connectionLost().
// Browsing never leaves the profile's remote root ("RMTROOT"). GUI thread only; disconnects
// when destroyed.
//
// Controls by object name: those of BrowserPanel, "remoteCombo", "remoteList",
// "currentFolderField", "busyBar".
class RemoteBrowserPanel : public BrowserPanel {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kKeepAliveInterval{15'000};
  static constexpr std::chrono::milliseconds kKeepAliveReplyTime{10'000};

  RemoteBrowserPanel(FtpConnector& connector, MessagePresenter& messages, ConnectionProfile profile,
                     QWidget* parent = nullptr);
  ~RemoteBrowserPanel() override;

  // The profile to connect with (its root and start folder), for the next Connect.
  void SetProfile(ConnectionProfile profile);
  const ConnectionProfile& Profile() const { return profile_; }
  // The "Current Remote Folder:" field (shown unless set otherwise).
  void SetFolderFieldShown(bool shown);
  // When the root is shown in place of a folder that cannot be, the history records the folder
  // asked for (the main window's rule) rather than the root (the picker's).
  void SetHistoryKeepsRequested(bool keeps) { historyKeepsRequested_ = keeps; }

  // Connects with the profile; `done(ok, error)` later. Disconnect() cancels a connect.
  void Connect(std::function<void(bool ok, const std::string& error)> done);
  // Connects and navigates to the profile's "RemoteDir" ("/" when empty); `done(ok)` later. A
  // connection that cannot be made gives false with nothing shown; a start folder that cannot
  // be shown (nor the root) shows "Cannot navigate to the remote folder..." and disconnects
  // (false). On success the keep-alive check starts.
  void ConnectAndShow(std::function<void(bool ok)> done);

  // Shows `folder`, or the profile's remote root when it cannot be shown (or lies outside the
  // root); `done(false)` when neither can be shown (nothing changes). The combo is rebuilt and
  // follows the folder shown, which is visited.
  void Navigate(const std::string& folder, std::function<void(bool ok)> done = {});
  // Lists the shown folder again, the combo following; `done(ok)`.
  void Refresh(std::function<void(bool ok)> done = {});

  // Stops the keep-alive check, drops the connection (whatever it was doing), empties the
  // list, the combo ("Not connected") and the history.
  void Disconnect();
  void StartKeepAlive();
  void StopKeepAlive();
  // Checks the connection now, as the keep-alive timer does: a server that does not answer
  // within the reply time counts as gone. Skipped while the connection is at work.
  void CheckConnection();

  bool IsConnected() const;
  bool IsConnecting() const;
  bool IsBusy() const;
  // The folder the list shows (the last one shown after a disconnect).
  std::string CurrentFolder() const;

  void SetKeepAliveInterval(std::chrono::milliseconds interval);
  std::chrono::milliseconds KeepAliveInterval() const;
  void SetKeepAliveReplyTime(std::chrono::milliseconds time) { replyTime_ = time; }

  CFTPList& List() { return *list_; }
  CFTPComboEx& Combo() { return *combo_; }

 signals:
  // The keep-alive check found the server gone; the panel has disconnected.
  void connectionLost();
  // The connection is working (connecting, listing, ...) or has finished.
  void busyChanged(bool busy);

 protected:
  bool CanNavigate() const override;
  bool CanGoUp() const override;
  void ShowFromHistory(const std::string& folder) override;
  void ShowParent() override;
  void UpdateSideControls() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Shows a listing, the combo rebuilt for `root` and following; with `visit` the folder (or,
  // after a fall-back, the one asked for where the history keeps it) is visited. False when
  // the listing failed (nothing changes).
  bool ShowListed(RemoteFolderListing listing, const std::string& root, bool visit);
  void FolderChosen(const QString& folder);
  void RowOpened(const QString& path, bool isFolder);
  void RemoteRefresh();
  void Lost();
  bool AtRoot() const;
  void PlaceBusyBar();

  MessagePresenter& messages_;
  ConnectionProfile profile_;
  bool historyKeepsRequested_ = false;
  CFTPList* list_;
  CFTPComboEx* combo_;
  QLabel* folderLabel_;
  QLineEdit* folderField_;
  QProgressBar* busyBar_;
  QTimer keepAlive_;
  QTimer replyDeadline_;
  std::chrono::milliseconds replyTime_ = kKeepAliveReplyTime;
};

}  // namespace quillon

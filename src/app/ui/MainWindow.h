#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "app/MainApp.h"
#include "app/MainWindowLayout.h"
#include "common/Clock.h"
#include "remote/ServerTrust.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace quillon {

class ActivityLogWidget;
class CDirList;
class CFTPList;
class CFTPMgr;
class FtpConnection;
class LocalBrowserPanel;
class RemoteBrowserPanel;

// The program's window in interactive mode: the local browser on the left, the connected server
// on the right (one browser panel each), the buttons between them and the activity log across
// the bottom. It connects to a profile of "Quillon.ini" (slot 0 with "Connect", any slot from
// the connection manager), uploads and downloads the selection through the transfer manager,
// switches encryption and decryption, and keeps the program-wide window options.
//
// No network call runs on the window's thread: connecting, listing and the keep-alive check run
// on the browsing connection's worker (RemoteSession) and report back; while connecting,
// "Cancel" stands in place of "Connect". A transfer takes the browsing connection over for
// building its jobs (checked alive first, held until the jobs are built), runs under its
// progress window and connects again afterwards.
//
// Shown and run under the application's event loop, not exec(): a transfer with the minimize
// option hides the window, which would end an exec() of its own. GUI thread only. Controls are
// found by object name ("connectButton", "uploadButton", ...).
class MainWindow : public QDialog {
  Q_OBJECT

 public:
  MainWindow(MainApp& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The task manager, opened by "Schedule" and the options menu (modal).
  void SetTaskManagerOpener(std::function<void(QWidget* parent)> open) {
    openTaskManager_ = std::move(open);
  }

  // Connecting and disconnecting. ConnectProfile starts with the current profile; the result
  // comes later (IsConnecting until then).
  void ConnectClicked();
  void ConnectProfile();
  void CancelConnect();
  void DisconnectProfile(bool save);
  bool IsConnected() const;
  bool IsConnecting() const;
  // The browsing connection is at work (connecting, listing, taken over by a transfer).
  bool IsBusy() const;
  // Checks the connection now, as the keep-alive timer does.
  void KeepAliveCheck();

  // Who is asked whether to trust a server whose certificate or host key is not trusted (the
  // trust dialog unless replaced; tests answer for the user). Null: never asked, the connect
  // fails.
  void SetTrustAsker(TrustAsker* asker);

  // The connection manager; choosing a profile there connects to it.
  void OpenConnectionManager();

  // Shows a local folder as a visit; false (nothing changes) when it cannot be read.
  bool GoToLocalPath(const std::string& path);
  // Shows a remote folder, else the profile's root; `done(ok)` later.
  void GoToRemotePath(const std::string& path, std::function<void(bool)> done = {});

  // The transfer buttons.
  void Upload();
  void Download();
  // Runs a built job under its progress window, then connects again and brings both sides up
  // to date.
  void RunTransferJob(CFTPMgr& job, bool minimize, bool upload);

  ActivityLogWidget& ActivityLog() { return *log_; }
  LocalBrowserPanel& LocalPanel() { return *localPanel_; }
  RemoteBrowserPanel& RemotePanel() { return *remotePanel_; }
  CDirList& LocalList();
  CFTPList& RemoteList();
  bool Minimize() const { return minimize_; }

  // The options menu's two entries, as choosing them does.
  void ToggleWarnings();
  void ToggleMinimize();

 public slots:
  void accept() override;    // "Exit"
  void reject() override {}  // Escape does nothing

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  std::unique_ptr<TrustAsker> trustDialog_;

  void BuildControls();
  void ApplyLayout();
  void StoreSize();
  void UpdateButtons();
  void ConnectFailed(const std::string& error);
  void Connected();
  void Browsed(bool ok);
  void ConnectTo(int slot, const std::string& typedPassword);
  bool AskPasswordIfNeeded(ConnectionProfile& profile);
  void Reconnected(bool ok, const std::string& error);
  // Builds `job` (`addSelection` adds the selected items) on the handed-over `connection`, which
  // it holds until the jobs are built, then runs it.
  void BuildAndRun(CFTPMgr& job, std::shared_ptr<FtpConnection> connection, bool upload,
                   const std::function<void()>& addSelection);
  void EncryptClicked();
  void DecryptClicked();
  bool EncryptionKeyPrompt();
  bool DecryptionKeyPrompt();
  void UpdateIndicator();
  void SessionOptions();
  void ShowActivityText();
  void OpenTaskManager();
  void AddLine(const std::string& text, int32_t colour);
  // A red log line: a setting could not be written to "Quillon.ini" (`what` names it).
  void NotSaved(const std::string& what);

  MainApp& app_;
  std::string profileFile_;
  bool minimize_ = false;
  bool transferring_ = false;
  RepaintThreshold repaint_;
  SystemClock clock_;
  std::function<void(QWidget*)> openTaskManager_;

  LocalBrowserPanel* localPanel_;
  RemoteBrowserPanel* remotePanel_;
  QPushButton* connect_;
  QPushButton* cancelConnect_;
  QPushButton* disconnect_;
  QPushButton* connectionManager_;
  QCheckBox* encrypt_;
  QCheckBox* decrypt_;
  QPushButton* upload_;
  QPushButton* download_;
  QPushButton* schedule_;
  QPushButton* exit_;
  QPushButton* logText_;
  QPushButton* options_;
  QLabel* indicator_;
  ActivityLogWidget* log_;
};

}  // namespace quillon

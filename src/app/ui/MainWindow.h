#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <string>

#include "common/FolderHistory.h"
#include "app/MainApp.h"
#include "common/Clock.h"
#include "app/MainWindowLayout.h"

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QToolBar;

namespace quillon {

class ActivityLogWidget;
class CDirComboEx;
class CDirList;
class CFTPComboEx;
class CFTPList;
class CFTPMgr;

// The program's window in interactive mode: the local side on the left, the connected server
// on the right, the buttons between them and the activity log across the bottom. It connects
// to the profile of session slot 0, uploads and downloads the selection through the transfer
// manager, switches encryption and decryption, and keeps the program-wide window options.
// GUI thread only. Controls are found by object name ("connectButton", "uploadButton", ...).
class MainWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kKeepAliveMs = 15000;

  MainWindow(MainApp& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The task manager, opened by "Schedule" and the options menu (modal).
  void SetTaskManagerOpener(std::function<void(QWidget* parent)> open) {
    openTaskManager_ = std::move(open);
  }

  // Connecting and disconnecting.
  void ConnectClicked();
  void ConnectProfile();
  void DisconnectProfile(bool save);
  bool IsConnected() const;
  void KeepAliveCheck();

  // Showing folders; each pushes what it showed onto its history.
  bool GoToLocalPath(const std::string& path);
  bool GoToRemotePath(const std::string& path);

  // The transfer buttons.
  void Upload();
  void Download();
  // Runs a built job under its progress window and brings both sides up to date afterwards.
  void RunTransferJob(CFTPMgr& job, bool minimize, bool upload);

  ActivityLogWidget& ActivityLog() { return *log_; }
  CDirList& LocalList() { return *localList_; }
  CFTPList& RemoteList() { return *remoteList_; }
  const FolderHistory& LocalHistory() const { return localHistory_; }
  const FolderHistory& RemoteHistory() const { return remoteHistory_; }
  bool Minimize() const { return minimize_; }

  // The options menu's two entries, as choosing them does.
  void ToggleWarnings();
  void ToggleMinimize();

 public slots:
  void accept() override;  // "Exit"
  void reject() override {}  // Escape does nothing

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildControls();
  void ApplyLayout();
  void StoreSize();
  void UpdateLocalButtons();
  void UpdateRemoteButtons();
  void ShowLocal(const std::string& folder);   // list and combo, no push
  void ShowRemote(const std::string& folder);  // list and combo, no push
  void LocalBack(), LocalForward(), LocalUp();
  void RemoteBack(), RemoteForward(), RemoteUp();
  void OnLocalRefresh();
  void OnRemoteRefresh();
  void EncryptClicked();
  void DecryptClicked();
  bool EncryptionKeyPrompt();
  bool DecryptionKeyPrompt();
  void UpdateIndicator();
  void SessionOptions();
  void ShowActivityText();
  void OpenTaskManager();
  void AddLine(const std::string& text, int32_t colour);

  MainApp& app_;
  std::string profileFile_;
  bool minimize_ = false;
  FolderHistory localHistory_;
  FolderHistory remoteHistory_;
  RepaintThreshold repaint_;
  SystemClock clock_;
  QTimer keepAlive_;
  std::function<void(QWidget*)> openTaskManager_;

  CDirComboEx* localCombo_;
  CDirList* localList_;
  CFTPComboEx* remoteCombo_;
  CFTPList* remoteList_;
  QToolBar* localBar_;
  QToolBar* remoteBar_;
  QAction* localBack_;
  QAction* localForward_;
  QAction* localUp_;
  QAction* remoteBack_;
  QAction* remoteForward_;
  QAction* remoteUp_;
  QPushButton* connect_;
  QPushButton* disconnect_;
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

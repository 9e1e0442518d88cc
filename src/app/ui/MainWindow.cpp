#include "app/ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <memory>

#include "app/ConnectRules.h"
#include "app/ui/ActivityLogWidget.h"
#include "common/ui/InformationDialog.h"
#include "crypto/ui/KeyDialog.h"
#include "localfs/ui/CDirComboEx.h"
#include "localfs/ui/CDirList.h"
#include "localfs/ui/LocalBrowserPanel.h"
#include "profiles/IniFile.h"
#include "profiles/KeyPrompts.h"
#include "profiles/ProfileEditor.h"
#include "profiles/ProfileStore.h"
#include "profiles/SessionOptions.h"
#include "profiles/ui/ConnectionManagerDialog.h"
#include "profiles/ui/SessionOptionsDialog.h"
#include "remote/ConnectionWorker.h"
#include "remote/RemotePaths.h"
#include "remote/ui/CFTPComboEx.h"
#include "remote/ui/CFTPList.h"
#include "remote/ui/RemoteBrowserPanel.h"
#include "remote/ui/TrustDialog.h"
#include "tasks/ProgramTransferSettings.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"
#include "transfer/ui/TransferProgressDialog.h"

namespace quillon {
namespace {

void Place(QWidget* widget, const Rect& r) { widget->setGeometry(r.x, r.y, r.width, r.height); }

QString Q(const std::string& text) { return QString::fromStdString(text); }

RemoteEntry ToRemoteEntry(const RemoteListItem& item) {
  RemoteEntry entry;
  entry.path = item.path;
  entry.name = item.Name();
  entry.isFolder = item.folder;
  entry.size = item.size;
  entry.lastWrite = item.time;
  return entry;
}

}  // namespace

MainWindow::MainWindow(MainApp& app, QWidget* parent)
    : QDialog(parent), app_(app), profileFile_(app.ProfileFile()) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  minimize_ = ReadProgramNumber(profileFile_, kMinimizeWndDuringTransfer) == 1;
  BuildControls();

  // Failed connections of the transfer lanes land here as red lines, from any thread.
  QPointer<ActivityLogWidget> log = log_;
  app_.SetConnectFailedPoster([log](std::string text, int32_t colour) {
    if (log) log->AddLine(text, colour);
  });

  log_->AddLine("Ready", colour::kBlack);
  int width = std::max(ReadProgramNumber(profileFile_, kWinW), kMinClientWidth);
  int height = std::max(ReadProgramNumber(profileFile_, kWinH), kMinClientHeight);
  resize(width, height);
  if (QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  setWindowTitle(kCaptionNeverConnected);
  log_->AddLine(
      "Click 'Connect' to get connected, or click 'Schedule' to create an automatic file transfer "
      "task......",
      colour::kBlack);

  // The local side starts at the top folder.
  localPanel_->GoTo("/");

  int32_t autoConnect = ReadProgramNumber(profileFile_, kAutoConnect);
  if (autoConnect >= 0 && autoConnect <= 19 &&
      ReadProfile(autoConnect, app_.currentProfile, profileFile_)) {
    // Connect once the window is up, as a user would see it.
    QTimer::singleShot(0, this, &MainWindow::ConnectProfile);
  } else if (!HasAnyProfile(profileFile_)) {
    // A newcomer starts by telling the program about a server.
    QTimer::singleShot(0, this, &MainWindow::OpenConnectionManager);
  }
  UpdateButtons();
}

MainWindow::~MainWindow() {
  app_.SetConnectFailedPoster(nullptr);
  remotePanel_->List().SetActivityLog(nullptr);
  remotePanel_->Disconnect();
}

CDirList& MainWindow::LocalList() { return localPanel_->List(); }

void MainWindow::SetTrustAsker(TrustAsker* asker) {
  remotePanel_->List().Session().SetTrust(&app_.Trust(), asker);
}
CFTPList& MainWindow::RemoteList() { return remotePanel_->List(); }

void MainWindow::BuildControls() {
  MessagePresenter& messages = app_.Messages();

  localPanel_ = new LocalBrowserPanel(messages, this);
  // Connections are made with the session itself, so that this window words their failures in
  // its own order; the lanes go through MainApp, which reports them as they happen.
  FtpConnector& connector = app_.Session() ? *app_.Session() : app_.Connector();
  remotePanel_ = new RemoteBrowserPanel(connector, messages, app_.currentProfile, this);
  remotePanel_->setObjectName(QStringLiteral("remotePanel"));
  remotePanel_->SetFolderFieldShown(false);
  remotePanel_->SetHistoryKeepsRequested(true);
  remotePanel_->List().SetTextColour(QColor(136, 0, 0));
  log_ = new ActivityLogWidget(this);
  remotePanel_->List().SetActivityLog(log_);
  trustDialog_ = std::make_unique<DialogTrustAsker>(this);
  SetTrustAsker(trustDialog_.get());

  auto button = [this](const QString& text, const QString& name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  connect_ = button(QStringLiteral("Connect"), QStringLiteral("connectButton"));
  cancelConnect_ = button(QStringLiteral("Cancel"), QStringLiteral("cancelConnectButton"));
  cancelConnect_->setToolTip(QStringLiteral("Stop connecting"));
  disconnect_ = button(QStringLiteral("Disconnect"), QStringLiteral("disconnectButton"));
  connectionManager_ =
      button(QStringLiteral("Sites..."), QStringLiteral("connectionManagerButton"));
  connectionManager_->setToolTip(
      QStringLiteral("Connection manager: add, edit and choose servers"));
  upload_ = button(QString(), QStringLiteral("uploadButton"));
  upload_->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  upload_->setIconSize(QSize(32, 32));
  upload_->setToolTip(QStringLiteral("Upload"));
  download_ = button(QString(), QStringLiteral("downloadButton"));
  download_->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
  download_->setIconSize(QSize(32, 32));
  download_->setToolTip(QStringLiteral("Download"));
  schedule_ = button(QStringLiteral("Schedule"), QStringLiteral("scheduleButton"));
  exit_ = button(QStringLiteral("Exit"), QStringLiteral("exitButton"));
  exit_->setDefault(true);
  logText_ = button(QStringLiteral("L"), QStringLiteral("logTextButton"));
  options_ = button(QStringLiteral("..."), QStringLiteral("optionsButton"));
  encrypt_ = new QCheckBox(QStringLiteral("Encrypt"), this);
  encrypt_->setObjectName(QStringLiteral("encryptBox"));
  decrypt_ = new QCheckBox(QStringLiteral("Decrypt"), this);
  decrypt_->setObjectName(QStringLiteral("decryptBox"));
  indicator_ = new QLabel(this);
  indicator_->setObjectName(QStringLiteral("cryptIndicator"));
  indicator_->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(32, 32));
  indicator_->setToolTip(QStringLiteral("Transfers are encrypted"));
  indicator_->hide();
  cancelConnect_->hide();
  disconnect_->hide();

  connect(connect_, &QPushButton::clicked, this, &MainWindow::ConnectClicked);
  connect(cancelConnect_, &QPushButton::clicked, this, &MainWindow::CancelConnect);
  connect(disconnect_, &QPushButton::clicked, this, [this] { DisconnectProfile(true); });
  connect(connectionManager_, &QPushButton::clicked, this, &MainWindow::OpenConnectionManager);
  connect(upload_, &QPushButton::clicked, this, &MainWindow::Upload);
  connect(download_, &QPushButton::clicked, this, &MainWindow::Download);
  connect(encrypt_, &QCheckBox::clicked, this, &MainWindow::EncryptClicked);
  connect(decrypt_, &QCheckBox::clicked, this, &MainWindow::DecryptClicked);
  connect(options_, &QPushButton::clicked, this, &MainWindow::SessionOptions);
  connect(logText_, &QPushButton::clicked, this, &MainWindow::ShowActivityText);
  connect(schedule_, &QPushButton::clicked, this, &MainWindow::OpenTaskManager);
  connect(exit_, &QPushButton::clicked, this, &MainWindow::accept);

  // Button enabling: the side that has the focus or was clicked decides.
  CDirList& local = localPanel_->List();
  connect(&local, &FileListView::listClicked, this, [this] {
    upload_->setEnabled(IsConnected() && !transferring_ && LocalList().HasSelection());
  });
  connect(&local, &FileListView::focusEntered, this, [this] {
    upload_->setEnabled(IsConnected() && !transferring_ && LocalList().HasSelection());
    download_->setEnabled(false);
  });
  connect(&local, &CDirList::selectedItemsChanged, this, [this] {
    if (LocalList().hasFocus())
      upload_->setEnabled(IsConnected() && !transferring_ && LocalList().HasSelection());
  });
  connect(localPanel_, &BrowserPanel::historyReset, this, [this] { upload_->setEnabled(false); });

  CFTPList& remote = remotePanel_->List();
  auto remoteSelection = [this] {
    download_->setEnabled(IsConnected() && !transferring_ && !RemoteList().SelectedItems().empty());
  };
  connect(&remote, &FileListView::listClicked, this, remoteSelection);
  connect(&remote, &FileListView::focusEntered, this, [this, remoteSelection] {
    remoteSelection();
    upload_->setEnabled(false);
  });
  connect(remote.selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this, remoteSelection] {
            if (RemoteList().hasFocus()) remoteSelection();
          });
  connect(remotePanel_, &BrowserPanel::historyReset, this,
          [this] { download_->setEnabled(false); });
  connect(remotePanel_, &RemoteBrowserPanel::connectionLost, this,
          [this] { DisconnectProfile(true); });
  connect(remotePanel_, &RemoteBrowserPanel::busyChanged, this, [this] { UpdateButtons(); });
}

// ----------------------------------------------------------------------------------------------
// Layout

void MainWindow::ApplyLayout() {
  MainWindowLayout l = MainWindowLayout::For(width(), height());
  Place(localPanel_, l.localPanel);
  Place(connect_, l.connect);
  Place(cancelConnect_, l.connect);
  Place(disconnect_, l.connect);
  Place(connectionManager_, l.connectionManager);
  Place(encrypt_, l.encrypt);
  Place(upload_, l.upload);
  Place(download_, l.download);
  Place(decrypt_, l.decrypt);
  Place(remotePanel_, l.remotePanel);
  Place(schedule_, l.schedule);
  Place(exit_, l.exit);
  Place(logText_, l.logText);
  Place(options_, l.options);
  Place(indicator_, l.indicator);
  Place(log_, l.activityLog);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ApplyLayout();
  if (repaint_.Resized(width(), height())) update();
}

void MainWindow::StoreSize() {
  if (!WriteProgramNumber(profileFile_, kWinW, width()) ||
      !WriteProgramNumber(profileFile_, kWinH, height()))
    NotSaved("the window size");
}

void MainWindow::NotSaved(const std::string& what) {
  // The setting holds for this session; the log says that it will not be there next time.
  AddLine("Cannot write " + profileFile_ + ": " + what + " is not saved.", colour::kRed);
}

// ----------------------------------------------------------------------------------------------
// Connecting

bool MainWindow::IsConnected() const { return remotePanel_->IsConnected(); }
bool MainWindow::IsConnecting() const { return remotePanel_->IsConnecting(); }
bool MainWindow::IsBusy() const { return remotePanel_->IsBusy() || transferring_; }

void MainWindow::AddLine(const std::string& text, int32_t colour) { log_->AddLine(text, colour); }

void MainWindow::UpdateButtons() {
  const bool connected = IsConnected();
  const bool connecting = IsConnecting();
  connect_->setVisible(!connected && !connecting && !transferring_);
  cancelConnect_->setVisible(connecting && !transferring_);
  disconnect_->setVisible(connected || transferring_);
  disconnect_->setEnabled(!transferring_);
  connectionManager_->setEnabled(!transferring_);
  if (!connected || transferring_) {
    upload_->setEnabled(false);
    download_->setEnabled(false);
  }
  options_->setEnabled(connected &&
                       ReadNumber(app_.currentProfile.slot, "DisableOptions", profileFile_) != 1);
}

void MainWindow::ConnectClicked() {
  if (!ReadProfile(0, app_.currentProfile, profileFile_)) {
    // Nothing in slot 0 yet: the connection manager is where a server is added.
    if (ReadText(0, "Address", profileFile_).empty()) {
      OpenConnectionManager();
      return;
    }
    app_.Messages().Show("Invalid configuration.");
    return;
  }
  if (!AskPasswordIfNeeded(app_.currentProfile)) return;
  ConnectProfile();
}

bool MainWindow::AskPasswordIfNeeded(ConnectionProfile& profile) {
  if (profile.locked || profile.savePassword || profile.userName.empty() ||
      !profile.password.empty() || profile.userName == "anonymous")
    return true;
  QInputDialog prompt(this);
  prompt.setObjectName(QStringLiteral("passwordPrompt"));
  prompt.setWindowTitle(QStringLiteral("Harbell"));
  prompt.setLabelText(Q("Password of " + profile.userName + " on " + DisplayName(profile) + ":"));
  prompt.setTextEchoMode(QLineEdit::Password);
  if (prompt.exec() != QDialog::Accepted) return false;
  profile.password = prompt.textValue().toStdString();
  return true;
}

void MainWindow::ConnectTo(int slot, const std::string& typedPassword) {
  if (IsConnected() || IsConnecting()) DisconnectProfile(true);
  if (!ReadProfile(slot, app_.currentProfile, profileFile_)) {
    app_.Messages().Show("Invalid configuration.");
    return;
  }
  if (!typedPassword.empty() && !app_.currentProfile.locked)
    app_.currentProfile.password = typedPassword;
  if (!AskPasswordIfNeeded(app_.currentProfile)) return;
  ConnectProfile();
}

void MainWindow::OpenConnectionManager() {
  if (transferring_) return;
  const int current = IsConnected() ? app_.currentProfile.slot : -1;
  ConnectionManagerDialog dialog(profileFile_, app_.Messages(), this);
  dialog.SelectSlot(current >= 0 ? current : 0);
  if (dialog.exec() != QDialog::Accepted) return;
  if (auto chosen = dialog.ChosenConnection()) ConnectTo(chosen->slot, chosen->password);
}

void MainWindow::ConnectProfile() {
  ConnectionProfile& profile = app_.currentProfile;
  app_.encryptMode = EncryptModeFor(profile) ? 1 : 0;
  app_.decryptMode = DecryptModeFor(profile) ? 1 : 0;
  encrypt_->setChecked(app_.encryptMode);
  decrypt_->setChecked(app_.decryptMode);
  encrypt_->setEnabled(!profile.encryptionKeyBound);
  decrypt_->setEnabled(!profile.decryptionKeyBound);

  AddLine(" ", colour::kBlack);
  AddLine("Starting a new session.", colour::kBlack);
  AddLine(DisplayName(profile) + ": Trying to connect......", colour::kBlack);
  remotePanel_->SetProfile(profile);
  remotePanel_->Connect([this](bool ok, const std::string& error) {
    if (ok)
      Connected();
    else
      ConnectFailed(error);
  });
  UpdateButtons();
}

void MainWindow::ConnectFailed(const std::string& error) {
  const ConnectionProfile& profile = app_.currentProfile;
  UpdateButtons();
  app_.SetLastConnectionError(error);
  AddLine(profile.name + ": Cannot be connected.", colour::kBlack);
  AddLine(error, colour::kRed);
  app_.Messages().Show("Cannot connect to the server.");
}

void MainWindow::CancelConnect() {
  if (!IsConnecting()) return;
  remotePanel_->Disconnect();
  AddLine(DisplayName(app_.currentProfile) + ": Connecting canceled.", colour::kDarkRed);
  UpdateButtons();
}

void MainWindow::Connected() {
  const ConnectionProfile& profile = app_.currentProfile;
  if (!WriteProgramNumber(profileFile_, kLastSessionID, profile.slot)) NotSaved("the last server");
  UpdateButtons();
  AddLine(DisplayName(profile) + ": Connected.", colour::kBlack);
  remotePanel_->StartKeepAlive();

  const std::string start = StartFolder(profile);
  AddLine(BrowsingLine(profile, start), colour::kBlack);
  GoToRemotePath(start, [this](bool ok) { Browsed(ok); });
}

void MainWindow::Browsed(bool ok) {
  const ConnectionProfile& profile = app_.currentProfile;
  if (!ok) {
    app_.Messages().Show("Connection refused.    ", MessageButtons::Ok, MessageIcon::Information);
    DisconnectProfile(false);
    return;
  }
  // A folder that cannot be shown leaves the local side where it was.
  if (!profile.localDir.empty()) GoToLocalPath(profile.localDir);
  UpdateButtons();
  UpdateIndicator();
  setWindowTitle(Q(ConnectedCaption(profile)));
  if (ReadNumber(profile.slot, "DisableEncryption", profileFile_) == 1) encrypt_->setEnabled(false);
  if (ReadNumber(profile.slot, "DisableDecryption", profileFile_) == 1) decrypt_->setEnabled(false);
}

void MainWindow::DisconnectProfile(bool save) {
  const std::string remotePath = remotePanel_->CurrentFolder();
  remotePanel_->Disconnect();
  ConnectionProfile& profile = app_.currentProfile;
  if (!SaveFolders(profile, localPanel_->CurrentFolder(), remotePath, save, profileFile_))
    NotSaved("the last folders");
  AddLine(profile.name + ": Disconnected.", colour::kBlack);

  app_.encryptMode = app_.decryptMode = 0;
  profile.slot = -1;
  profile.address.clear();
  encrypt_->setChecked(false);
  decrypt_->setChecked(false);
  encrypt_->setEnabled(true);
  decrypt_->setEnabled(true);
  indicator_->hide();
  UpdateButtons();
  setWindowTitle(kCaptionDisconnected);
}

void MainWindow::KeepAliveCheck() { remotePanel_->CheckConnection(); }

// ----------------------------------------------------------------------------------------------
// Folders

bool MainWindow::GoToLocalPath(const std::string& path) { return localPanel_->GoTo(path); }

void MainWindow::GoToRemotePath(const std::string& path, std::function<void(bool)> done) {
  remotePanel_->Navigate(path, std::move(done));
}

// ----------------------------------------------------------------------------------------------
// Encryption switches

bool MainWindow::EncryptionKeyPrompt() {
  ConnectionProfile& profile = app_.currentProfile;
  auto entered =
      KeyDialog::Ask(quillon::EncryptionKeyPrompt(profile, profileFile_), app_.Messages(), this);
  if (!entered) return false;
  if (!StoreEncryptionKey(*entered, profile, profileFile_)) NotSaved("the encryption key");
  return true;
}

bool MainWindow::DecryptionKeyPrompt() {
  ConnectionProfile& profile = app_.currentProfile;
  auto entered =
      KeyDialog::Ask(quillon::DecryptionKeyPrompt(profile, profileFile_), app_.Messages(), this);
  if (!entered) return false;
  if (!StoreDecryptionKey(*entered, profile, profileFile_)) NotSaved("the decryption key");
  return true;
}

void MainWindow::EncryptClicked() {
  if (!IsConnected()) {
    encrypt_->setChecked(false);
    return;
  }
  bool switchedOn = encrypt_->isChecked() && !app_.encryptMode;
  app_.encryptMode = encrypt_->isChecked();
  if (switchedOn && !EncryptionKeyPrompt()) {
    encrypt_->setChecked(false);
    app_.encryptMode = 0;
  }
  UpdateIndicator();
}

void MainWindow::DecryptClicked() {
  if (!IsConnected()) {
    decrypt_->setChecked(false);
    return;
  }
  bool switchedOn = decrypt_->isChecked() && !app_.decryptMode;
  app_.decryptMode = decrypt_->isChecked();
  if (switchedOn && !DecryptionKeyPrompt()) {
    decrypt_->setChecked(false);
    app_.decryptMode = 0;
  }
  UpdateIndicator();
}

void MainWindow::UpdateIndicator() { indicator_->setVisible(app_.encryptMode || app_.decryptMode); }

// ----------------------------------------------------------------------------------------------
// Transfers

void MainWindow::Upload() {
  if (transferring_ || !IsConnected()) return;
  if (!app_.encryptMode) {
    if (!EncryptionKeyPrompt()) return;
    app_.encryptMode = 1;
    encrypt_->setChecked(true);
    UpdateIndicator();
  }
  const std::string local = localPanel_->CurrentFolder();
  if (local.empty()) {
    app_.Messages().Show("Cannot access this folder.");
    return;
  }
  std::vector<LocalEntry> selected = LocalList().SelectedEntries();
  if (!selected.empty() && app_.warningLevel < 1 && !app_.currentProfile.backupRemoteFile &&
      app_.Messages().Show(
          "All files and folders in remote computer will be overwritten without asking.\n\n"
          "If you don't want this to happen, Click Cancel and rename the files or folders first.",
          MessageButtons::OkCancel) != MessageAnswer::Ok)
    return;
  // While the question was open the keep-alive check may have found the server gone.
  if (!IsConnected()) {
    app_.Messages().Show("Not connected or connection lost.");
    return;
  }

  // The browsing connection builds the jobs: taken over, checked alive, held to the end.
  transferring_ = true;
  remotePanel_->StopKeepAlive();
  UpdateButtons();
  const std::string target = remotePanel_->CurrentFolder();
  RemoteList().Session().HandOver(
      [this, local, target, selected](std::shared_ptr<FtpConnection> connection) {
        UploadManager job(MakeTransferSettings(app_, profileFile_), app_.Connector(),
                          app_.Messages(), clock_);
        job.SetSourceBase(local);
        job.SetDestinationBase(target);
        BuildAndRun(job, std::move(connection), true, [&] {
          for (const LocalEntry& entry : selected) job.AddSelectedItem(entry);
        });
      });
}

void MainWindow::Download() {
  if (transferring_) return;
  if (!app_.decryptMode && DecryptionKeyPrompt()) {
    app_.decryptMode = 1;
    decrypt_->setChecked(true);
    UpdateIndicator();
  }
  if (!IsConnected()) {
    app_.Messages().Show("Not connected or connection lost.");
    DisconnectProfile(true);
    return;
  }
  std::string local = localPanel_->CurrentFolder();
  if (local.empty()) {
    app_.Messages().Show("Cannot download to this folder.");
    return;
  }
  while (local.size() > 1 && local.back() == '/') local.pop_back();
  const std::vector<RemoteListItem> selected = RemoteList().SelectedItems();

  transferring_ = true;
  remotePanel_->StopKeepAlive();
  UpdateButtons();
  const std::string source = remotePanel_->CurrentFolder();
  RemoteList().Session().HandOver(
      [this, local, source, selected](std::shared_ptr<FtpConnection> connection) {
        if (!connection) {
          transferring_ = false;
          app_.Messages().Show("Not connected or connection lost.");
          DisconnectProfile(true);
          return;
        }
        DownloadManager job(MakeTransferSettings(app_, profileFile_), app_.Connector(),
                            app_.Messages(), clock_);
        job.SetDestinationBase(local == "/" ? std::string() : local);
        job.SetSourceBase(source);
        BuildAndRun(job, std::move(connection), false, [&] {
          for (const RemoteListItem& item : selected) job.AddSelectedItem(ToRemoteEntry(item));
        });
      });
}

void MainWindow::BuildAndRun(CFTPMgr& job, std::shared_ptr<FtpConnection> connection, bool upload,
                             const std::function<void()>& addSelection) {
  const ConnectionProfile& profile = app_.currentProfile;
  job.SetActivityLog(log_);
  job.SetBinary(profile.binaryMode);
  job.SetMaxThreads(profile.threadCount);
  job.HoldBuildingConnection(connection);
  addSelection();
  job.SetBuildingConnection(nullptr);
  ConnectionWorker::CloseInBackground(std::move(connection));
  RunTransferJob(job, minimize_, upload);
}

void MainWindow::RunTransferJob(CFTPMgr& job, bool minimize, bool upload) {
  transferring_ = true;
  remotePanel_->StopKeepAlive();
  UpdateButtons();
  if (job.QueueLength() > 0) {
    // The progress window stands in for this one. (Hiding a dialog ends its own exec(): this
    // window runs under the application's event loop, see main.cpp.)
    if (minimize) hide();
    {
      TransferProgressDialog progress(job, minimize, minimize ? nullptr : this);
      progress.Run();
    }
    if (minimize) {
      show();
      raise();
      activateWindow();
    }
  }
  const ConnectionProfile& profile = app_.currentProfile;
  if ((upload && profile.deleteAfterUpload) || (!upload && profile.deleteAfterDownload))
    job.RemoveEmptiedSourceFolders();

  localPanel_->Refresh();
  if (!upload) LocalList().setFocus();
  remotePanel_->Connect([this](bool ok, const std::string& error) { Reconnected(ok, error); });
}

void MainWindow::Reconnected(bool ok, const std::string& error) {
  transferring_ = false;
  if (!ok) {
    // The window shows what is: no connection.
    app_.SetLastConnectionError(error);
    AddLine(app_.currentProfile.name + ": Cannot be connected.", colour::kBlack);
    AddLine(error, colour::kRed);
    DisconnectProfile(true);
    return;
  }
  remotePanel_->StartKeepAlive();
  remotePanel_->Refresh();
  UpdateButtons();
  // A file chosen in the local list while the window connected again found Upload off: the
  // focused list decides again, as a click on it would.
  if (LocalList().hasFocus()) upload_->setEnabled(LocalList().HasSelection());
}

// ----------------------------------------------------------------------------------------------
// Other buttons, the options menu and closing

void MainWindow::SessionOptions() {
  ConnectionProfile& profile = app_.currentProfile;
  SessionOptionsRequest request;
  request.mode = SessionOptionsMode::Profile;
  request.options = SessionOptionsOfProfile(profile, profileFile_);
  request.profileSlot = profile.slot;
  request.savePassword = profile.savePassword;
  request.profileFile = profileFile_;
  if (auto options = SessionOptionsDialog::Ask(request, app_.Messages(), this)) {
    if (!StoreSessionOptions(*options, profile, profileFile_)) NotSaved("the session options");
  }
}

void MainWindow::ShowActivityText() {
  InformationDialog dialog(this);
  dialog.Append(log_->AllText());
  dialog.exec();
}

void MainWindow::OpenTaskManager() {
  if (openTaskManager_) openTaskManager_(this);
}

void MainWindow::ToggleWarnings() {
  app_.warningLevel = app_.warningLevel < 1 ? 2 : 0;
  if (!WriteProgramNumber(profileFile_, kSuppressWarningLevel, app_.warningLevel))
    NotSaved("the warning switch");
}

void MainWindow::ToggleMinimize() {
  minimize_ = !minimize_;
  if (!WriteProgramNumber(profileFile_, kMinimizeWndDuringTransfer, minimize_ ? 1 : 0))
    NotSaved("the minimize switch");
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("optionsMenu"));
  QAction* tasks = menu.addAction(QStringLiteral("Harbell Task Manager"));
  QAction* sites = menu.addAction(QStringLiteral("Connection Manager..."));
  sites->setEnabled(!transferring_);
  menu.addSeparator();
  QAction* warnings = menu.addAction(QStringLiteral("Display warning messages"));
  warnings->setCheckable(true);
  warnings->setChecked(app_.warningLevel < 2);
  QAction* minimize = menu.addAction(QStringLiteral("Minimize Harbell during File Transfer"));
  minimize->setCheckable(true);
  minimize->setChecked(minimize_);
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == tasks) OpenTaskManager();
  if (chosen == sites) OpenConnectionManager();
  if (chosen == warnings) ToggleWarnings();
  if (chosen == minimize) ToggleMinimize();
}

void MainWindow::accept() {
  if (transferring_) return;
  bool connected = IsConnected() || IsConnecting();
  if (connected &&
      app_.Messages().Show("You are currently connected to a server. Disconnect it?   ",
                           MessageButtons::YesNo) != MessageAnswer::Yes)
    return;
  DisconnectProfile(connected);
  StoreSize();
  done(QDialog::Accepted);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (IsConnected() || IsConnecting() || transferring_) {
    app_.Messages().Show("You are currently connected to a server. ");
    event->ignore();
    return;
  }
  StoreSize();
  done(QDialog::Rejected);
  event->accept();
}

}  // namespace quillon

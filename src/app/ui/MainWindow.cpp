#include "app/ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <memory>

#include "app/AppTransfers.h"
#include "app/ConnectRules.h"
#include "app/ui/ActivityLogWidget.h"
#include "app/ui/InformationDialog.h"
#include "crypto/ui/KeyDialog.h"
#include "localfs/DirListing.h"
#include "localfs/ui/CDirComboEx.h"
#include "localfs/ui/CDirList.h"
#include "profiles/IniFile.h"
#include "profiles/KeyPrompts.h"
#include "profiles/ProfileStore.h"
#include "profiles/SessionOptions.h"
#include "profiles/ui/SessionOptionsDialog.h"
#include "remote/RemotePaths.h"
#include "remote/ui/CFTPComboEx.h"
#include "remote/ui/CFTPList.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"
#include "transfer/ui/TransferProgressDialog.h"

namespace quillon {
namespace {

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

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

  // Failed connections from any thread land here as red lines.
  QPointer<ActivityLogWidget> log = log_;
  app_.SetConnectFailedPoster([log](std::string text, int32_t colour) {
    if (log) log->AddLine(text, colour);
  });

  keepAlive_.setInterval(kKeepAliveMs);
  connect(&keepAlive_, &QTimer::timeout, this, &MainWindow::KeepAliveCheck);

  disconnect_->hide();
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
  localCombo_->ResetToTop();
  localList_->ShowFolder("/");
  localCombo_->SelectFolder(localList_->CurrentFolder());
  localHistory_.Push(localList_->CurrentFolder());

  int32_t autoConnect = ReadProgramNumber(profileFile_, kAutoConnect);
  if (autoConnect >= 0 && autoConnect <= 19 &&
      ReadProfile(autoConnect, app_.currentProfile, profileFile_)) {
    // Connect once the window is up, as a user would see it.
    QTimer::singleShot(0, this, &MainWindow::ConnectProfile);
  }
  UpdateLocalButtons();
  UpdateRemoteButtons();
}

MainWindow::~MainWindow() {
  app_.SetConnectFailedPoster(nullptr);
  remoteList_->Disconnect();
}

void MainWindow::BuildControls() {
  MessagePresenter& messages = app_.Messages();

  localCombo_ = new CDirComboEx(this);
  localList_ = new CDirList(messages, this);
  remoteList_ = new CFTPList(app_.Connector(), messages, this);
  remoteList_->setObjectName(QStringLiteral("remoteList"));
  remoteList_->SetTextColour(QColor(136, 0, 0));
  remoteCombo_ = new CFTPComboEx(*remoteList_, this);
  remoteCombo_->setObjectName(QStringLiteral("remoteCombo"));
  log_ = new ActivityLogWidget(this);
  remoteList_->SetActivityLog(log_);

  auto makeBar = [this](const QString& name, QAction*& back, QAction*& forward, QAction*& up) {
    auto* bar = new QToolBar(this);
    bar->setObjectName(name);
    bar->setIconSize(QSize(20, 16));
    back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Back"));
    forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Forward"));
    up = bar->addAction(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Up"));
    back->setObjectName(name + QStringLiteral("Back"));
    forward->setObjectName(name + QStringLiteral("Forward"));
    up->setObjectName(name + QStringLiteral("Up"));
    return bar;
  };
  localBar_ = makeBar(QStringLiteral("localToolbar"), localBack_, localForward_, localUp_);
  remoteBar_ = makeBar(QStringLiteral("remoteToolbar"), remoteBack_, remoteForward_, remoteUp_);

  auto button = [this](const QString& text, const QString& name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  connect_ = button(QStringLiteral("Connect"), QStringLiteral("connectButton"));
  disconnect_ = button(QStringLiteral("Disconnect"), QStringLiteral("disconnectButton"));
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
  upload_->setEnabled(false);
  download_->setEnabled(false);

  connect(connect_, &QPushButton::clicked, this, &MainWindow::ConnectClicked);
  connect(disconnect_, &QPushButton::clicked, this, [this] { DisconnectProfile(true); });
  connect(upload_, &QPushButton::clicked, this, &MainWindow::Upload);
  connect(download_, &QPushButton::clicked, this, &MainWindow::Download);
  connect(encrypt_, &QCheckBox::clicked, this, &MainWindow::EncryptClicked);
  connect(decrypt_, &QCheckBox::clicked, this, &MainWindow::DecryptClicked);
  connect(options_, &QPushButton::clicked, this, &MainWindow::SessionOptions);
  connect(logText_, &QPushButton::clicked, this, &MainWindow::ShowActivityText);
  connect(schedule_, &QPushButton::clicked, this, &MainWindow::OpenTaskManager);
  connect(exit_, &QPushButton::clicked, this, &MainWindow::accept);

  connect(localBack_, &QAction::triggered, this, &MainWindow::LocalBack);
  connect(localForward_, &QAction::triggered, this, &MainWindow::LocalForward);
  connect(localUp_, &QAction::triggered, this, &MainWindow::LocalUp);
  connect(remoteBack_, &QAction::triggered, this, &MainWindow::RemoteBack);
  connect(remoteForward_, &QAction::triggered, this, &MainWindow::RemoteForward);
  connect(remoteUp_, &QAction::triggered, this, &MainWindow::RemoteUp);

  connect(localCombo_, &CDirComboEx::folderChosen, this,
          [this](const std::string& folder) { GoToLocalPath(folder); });
  connect(localList_, &CDirList::itemDoubleClicked, this, [this](const LocalEntry& entry) {
    if (IsShownAsFolder(entry))
      GoToLocalPath(entry.path);
    else
      localList_->OpenItem(entry);
  });
  connect(localList_, &CDirList::localRefresh, this, &MainWindow::OnLocalRefresh);
  connect(localList_, &CDirList::listClicked, this, [this] {
    upload_->setEnabled(IsConnected() && localList_->HasSelection());
  });
  connect(localList_, &CDirList::focusEntered, this, [this] {
    upload_->setEnabled(localList_->HasSelection());
    download_->setEnabled(false);
  });
  connect(localList_, &CDirList::selectedItemsChanged, this, [this] {
    if (localList_->hasFocus()) upload_->setEnabled(IsConnected() && localList_->HasSelection());
  });

  connect(remoteCombo_, &CFTPComboEx::folderChosen, this,
          [this](const QString& folder) { GoToRemotePath(folder.toStdString()); });
  connect(remoteList_, &CFTPList::rowOpened, this, [this](const QString& path, bool isFolder) {
    if (isFolder) GoToRemotePath(path.toStdString());
  });
  connect(remoteList_, &CFTPList::remoteRefresh, this, &MainWindow::OnRemoteRefresh);
  connect(remoteList_, &CFTPList::focused, this, [this] {
    download_->setEnabled(!remoteList_->SelectedItems().empty());
    upload_->setEnabled(false);
  });
  connect(remoteList_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (remoteList_->hasFocus()) download_->setEnabled(!remoteList_->SelectedItems().empty());
  });
}

// ----------------------------------------------------------------------------------------------
// Layout

void MainWindow::ApplyLayout() {
  MainWindowLayout l = MainWindowLayout::For(width(), height());
  Place(localBar_, l.localToolbar);
  Place(localCombo_, l.localCombo);
  Place(localList_, l.localList);
  Place(connect_, l.connect);
  Place(disconnect_, l.connect);
  Place(encrypt_, l.encrypt);
  Place(upload_, l.upload);
  Place(download_, l.download);
  Place(decrypt_, l.decrypt);
  Place(remoteBar_, l.remoteToolbar);
  Place(remoteCombo_, l.remoteCombo);
  Place(remoteList_, l.remoteList);
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
  WriteProgramNumber(profileFile_, kWinW, width());
  WriteProgramNumber(profileFile_, kWinH, height());
}

// ----------------------------------------------------------------------------------------------
// Connecting

bool MainWindow::IsConnected() const { return remoteList_->IsConnected(); }

void MainWindow::AddLine(const std::string& text, int32_t colour) { log_->AddLine(text, colour); }

void MainWindow::ConnectClicked() {
  if (!ReadProfile(0, app_.currentProfile, profileFile_)) {
    app_.Messages().Show("Invalid configuration.");
    return;
  }
  ConnectProfile();
}

void MainWindow::ConnectProfile() {
  ConnectionProfile& profile = app_.currentProfile;
  app_.encryptMode = EncryptModeFor(profile) ? 1 : 0;
  app_.decryptMode = DecryptModeFor(profile) ? 1 : 0;
  encrypt_->setChecked(app_.encryptMode);
  decrypt_->setChecked(app_.decryptMode);
  encrypt_->setEnabled(!profile.encryptionKeyBound);
  decrypt_->setEnabled(!profile.decryptionKeyBound);

  WaitCursor wait;
  AddLine(" ", colour::kBlack);
  AddLine("Starting a new session.", colour::kBlack);
  AddLine(DisplayName(profile) + ": Trying to connect......", colour::kBlack);
  if (!remoteList_->Connect(profile)) {
    AddLine(profile.name + ": Cannot be connected.", colour::kBlack);
    app_.Messages().Show("Cannot connect to the server.");
    return;
  }
  QApplication::processEvents();
  WriteProgramNumber(profileFile_, kLastSessionID, profile.slot);
  connect_->hide();
  disconnect_->show();
  AddLine(DisplayName(profile) + ": Connected.", colour::kBlack);
  keepAlive_.start();

  std::string start = StartFolder(profile);
  AddLine(BrowsingLine(profile, start), colour::kBlack);
  remoteCombo_->Rebuild(profile);
  if (!GoToRemotePath(start)) {
    app_.Messages().Show("Connection refused.    ", MessageButtons::Ok, MessageIcon::Information);
    DisconnectProfile(false);
    return;
  }
  if (!profile.localDir.empty()) GoToLocalPath(profile.localDir);
  UpdateRemoteButtons();
  UpdateIndicator();
  setWindowTitle(Q(ConnectedCaption(profile)));
  if (ReadNumber(profile.slot, "DisableEncryption", profileFile_) == 1) encrypt_->setEnabled(false);
  if (ReadNumber(profile.slot, "DisableDecryption", profileFile_) == 1) decrypt_->setEnabled(false);
}

void MainWindow::DisconnectProfile(bool save) {
  WaitCursor wait;
  keepAlive_.stop();
  std::string remotePath = remoteList_->CurrentFolder();
  remoteList_->Disconnect();
  remoteList_->RemoveAllRows();
  remoteCombo_->ShowNotConnected();
  remoteHistory_.Clear();
  connect_->show();
  disconnect_->hide();
  UpdateRemoteButtons();

  ConnectionProfile& profile = app_.currentProfile;
  SaveFolders(profile, localList_->CurrentFolder(), remotePath, save, profileFile_);
  AddLine(profile.name + ": Disconnected.", colour::kBlack);

  app_.encryptMode = app_.decryptMode = 0;
  profile.slot = -1;
  profile.address.clear();
  encrypt_->setChecked(false);
  decrypt_->setChecked(false);
  encrypt_->setEnabled(true);
  decrypt_->setEnabled(true);
  indicator_->hide();
  download_->setEnabled(false);
  setWindowTitle(kCaptionDisconnected);
}

void MainWindow::KeepAliveCheck() {
  if (!remoteList_->LiveConnection()) DisconnectProfile(true);
}

// ----------------------------------------------------------------------------------------------
// Folders and histories

void MainWindow::ShowLocal(const std::string& folder) {
  localList_->ShowFolder(folder);
  localCombo_->SelectFolder(localList_->CurrentFolder());
}

void MainWindow::ShowRemote(const std::string& folder) {
  if (remoteList_->Browse(folder)) remoteCombo_->SelectFolder(remoteList_->CurrentFolder());
}

bool MainWindow::GoToLocalPath(const std::string& path) {
  if (!localList_->ShowFolder(path)) {
    UpdateLocalButtons();
    return false;
  }
  localCombo_->SelectFolder(localList_->CurrentFolder());
  localHistory_.Push(localList_->CurrentFolder());
  UpdateLocalButtons();
  return true;
}

bool MainWindow::GoToRemotePath(const std::string& path) {
  const ConnectionProfile& profile = app_.currentProfile;
  if (!remoteList_->Browse(path) && !remoteList_->Browse(profile.remoteRoot)) {
    UpdateRemoteButtons();
    return false;
  }
  remoteCombo_->SelectFolder(remoteList_->CurrentFolder());
  remoteHistory_.Push(path);
  UpdateRemoteButtons();
  return true;
}

void MainWindow::LocalBack() {
  if (auto folder = localHistory_.Back()) ShowLocal(*folder);
  UpdateLocalButtons();
}

void MainWindow::LocalForward() {
  if (auto folder = localHistory_.Forward()) ShowLocal(*folder);
  UpdateLocalButtons();
}

void MainWindow::LocalUp() {
  if (localList_->UpOneLevel()) {
    localCombo_->SelectFolder(localList_->CurrentFolder());
    localHistory_.Push(localList_->CurrentFolder());
  }
  UpdateLocalButtons();
}

void MainWindow::RemoteBack() {
  if (auto folder = remoteHistory_.Back()) ShowRemote(*folder);
  UpdateRemoteButtons();
}

void MainWindow::RemoteForward() {
  if (auto folder = remoteHistory_.Forward()) ShowRemote(*folder);
  UpdateRemoteButtons();
}

void MainWindow::RemoteUp() {
  if (remoteList_->Up()) {
    remoteCombo_->SelectFolder(remoteList_->CurrentFolder());
    remoteHistory_.Push(remoteList_->CurrentFolder());
  }
  UpdateRemoteButtons();
}

void MainWindow::OnLocalRefresh() {
  localHistory_.Clear();
  localCombo_->SelectFolder(localList_->CurrentFolder());
  localHistory_.Push(localList_->CurrentFolder());
  upload_->setEnabled(false);
  UpdateLocalButtons();
}

void MainWindow::OnRemoteRefresh() {
  remoteHistory_.Clear();
  if (remoteCombo_->count() > 0) {
    std::string folder = remoteList_->CurrentFolder();
    ShowRemote(folder);
    remoteHistory_.Push(folder);
  }
  download_->setEnabled(false);
  UpdateRemoteButtons();
}

void MainWindow::UpdateLocalButtons() {
  localBack_->setEnabled(localHistory_.CanGoBack());
  localForward_->setEnabled(localHistory_.CanGoForward());
  localUp_->setEnabled(localCombo_->currentIndex() >= 1);
}

void MainWindow::UpdateRemoteButtons() {
  bool connected = IsConnected();
  remoteBack_->setEnabled(connected && remoteHistory_.CanGoBack());
  remoteForward_->setEnabled(connected && remoteHistory_.CanGoForward());
  bool atRoot = SameRemoteFolder(remoteList_->CurrentFolder(), app_.currentProfile.remoteRoot);
  remoteUp_->setEnabled(connected && !atRoot && remoteCombo_->currentIndex() >= 1);
  remoteCombo_->setEnabled(connected && !atRoot);
  options_->setEnabled(connected && ReadNumber(app_.currentProfile.slot, "DisableOptions",
                                               profileFile_) != 1);
}

// ----------------------------------------------------------------------------------------------
// Encryption switches

bool MainWindow::EncryptionKeyPrompt() {
  ConnectionProfile& profile = app_.currentProfile;
  auto entered =
      KeyDialog::Ask(quillon::EncryptionKeyPrompt(profile, profileFile_), app_.Messages(), this);
  if (!entered) return false;
  StoreEncryptionKey(*entered, profile, profileFile_);
  return true;
}

bool MainWindow::DecryptionKeyPrompt() {
  ConnectionProfile& profile = app_.currentProfile;
  auto entered =
      KeyDialog::Ask(quillon::DecryptionKeyPrompt(profile, profileFile_), app_.Messages(), this);
  if (!entered) return false;
  StoreDecryptionKey(*entered, profile, profileFile_);
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
  if (!app_.encryptMode) {
    if (!EncryptionKeyPrompt()) return;
    app_.encryptMode = 1;
    encrypt_->setChecked(true);
    UpdateIndicator();
  }
  const ConnectionProfile& profile = app_.currentProfile;
  UploadManager job(MakeTransferSettings(app_, profileFile_), app_.Connector(), app_.Messages(),
                    clock_);
  job.SetActivityLog(log_);
  job.SetBinary(profile.binaryMode);
  job.SetMaxThreads(profile.threadCount);
  job.SetBuildingConnection(remoteList_->Connection());

  std::string local = localList_->CurrentFolder();
  if (local.empty()) {
    app_.Messages().Show("Cannot access this folder.");
  } else {
    std::string target = remoteList_->CurrentFolder();
    job.SetSourceBase(local);
    job.SetDestinationBase(target);
    std::vector<LocalEntry> selected = localList_->SelectedEntries();
    if (!selected.empty()) {
      if (app_.warningLevel < 1 && !profile.backupRemoteFile &&
          app_.Messages().Show(
              "All files and folders in remote computer will be overwritten without asking.\n\n"
              "If you don't want this to happen, Click Cancel and rename the files or folders "
              "first.",
              MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
      for (const LocalEntry& entry : selected) job.AddSelectedItem(entry);
    }
  }
  job.SetBuildingConnection(nullptr);
  RunTransferJob(job, minimize_, true);
}

void MainWindow::Download() {
  if (!app_.decryptMode && DecryptionKeyPrompt()) {
    app_.decryptMode = 1;
    decrypt_->setChecked(true);
    UpdateIndicator();
  }
  const ConnectionProfile& profile = app_.currentProfile;
  DownloadManager job(MakeTransferSettings(app_, profileFile_), app_.Connector(), app_.Messages(),
                      clock_);
  job.SetActivityLog(log_);
  job.SetBinary(profile.binaryMode);
  job.SetMaxThreads(profile.threadCount);
  if (!remoteList_->Connection()) {
    app_.Messages().Show("Not connected or connection lost.");
    DisconnectProfile(true);
    return;
  }
  job.SetBuildingConnection(remoteList_->Connection());

  std::string local = localList_->CurrentFolder();
  if (local.empty()) {
    app_.Messages().Show("Cannot download to this folder.");
  } else {
    while (local.size() > 1 && local.back() == '/') local.pop_back();
    job.SetDestinationBase(local == "/" ? std::string() : local);
    job.SetSourceBase(remoteList_->CurrentFolder());
    for (const RemoteListItem& item : remoteList_->SelectedItems())
      job.AddSelectedItem(ToRemoteEntry(item));
  }
  job.SetBuildingConnection(nullptr);
  RunTransferJob(job, minimize_, false);
}

void MainWindow::RunTransferJob(CFTPMgr& job, bool minimize, bool upload) {
  keepAlive_.stop();
  remoteList_->Disconnect();
  if (job.QueueLength() > 0) {
    if (minimize) hide();
    TransferProgressDialog progress(job, minimize, minimize ? nullptr : this);
    progress.Run();
    if (minimize) show();
  }
  const ConnectionProfile& profile = app_.currentProfile;
  if ((upload && profile.deleteAfterUpload) || (!upload && profile.deleteAfterDownload))
    job.RemoveEmptiedSourceFolders();

  if (remoteList_->Connect(profile)) {
    keepAlive_.start();
    ShowRemote(remoteList_->CurrentFolder());
  }
  localList_->Refresh();
  localCombo_->SelectFolder(localList_->CurrentFolder());
  UpdateLocalButtons();
  UpdateRemoteButtons();
  if (!upload) localList_->setFocus();
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
  if (auto options = SessionOptionsDialog::Ask(request, app_.Messages(), this))
    StoreSessionOptions(*options, profile, profileFile_);
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
  WriteProgramNumber(profileFile_, kSuppressWarningLevel, app_.warningLevel);
}

void MainWindow::ToggleMinimize() {
  minimize_ = !minimize_;
  WriteProgramNumber(profileFile_, kMinimizeWndDuringTransfer, minimize_ ? 1 : 0);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("optionsMenu"));
  QAction* tasks = menu.addAction(QStringLiteral("Harbell Task Manager"));
  menu.addSeparator();
  QAction* warnings = menu.addAction(QStringLiteral("Display warning messages"));
  warnings->setCheckable(true);
  warnings->setChecked(app_.warningLevel < 2);
  QAction* minimize = menu.addAction(QStringLiteral("Minimize Harbell during File Transfer"));
  minimize->setCheckable(true);
  minimize->setChecked(minimize_);
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == tasks) OpenTaskManager();
  if (chosen == warnings) ToggleWarnings();
  if (chosen == minimize) ToggleMinimize();
}

void MainWindow::accept() {
  bool connected = IsConnected();
  if (connected && app_.Messages().Show("You are currently connected to a server. Disconnect it?   ",
                                        MessageButtons::YesNo) != MessageAnswer::Yes)
    return;
  DisconnectProfile(connected);
  StoreSize();
  done(QDialog::Accepted);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (IsConnected()) {
    app_.Messages().Show("You are currently connected to a server. ");
    event->ignore();
    return;
  }
  StoreSize();
  done(QDialog::Rejected);
  event->accept();
}

}  // namespace quillon

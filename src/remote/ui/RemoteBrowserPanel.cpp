#include "remote/ui/RemoteBrowserPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "remote/RemotePaths.h"
#include "remote/ui/CFTPComboEx.h"
#include "remote/ui/CFTPList.h"

namespace quillon {

namespace {

QToolButton* MakeToolButton(QWidget* parent, const char* name, const char* tip,
                            QStyle::StandardPixmap image) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(tip);
  button->setIcon(parent->style()->standardIcon(image));
  button->setAutoRaise(true);
  return button;
}

}  // namespace

RemoteBrowserPanel::RemoteBrowserPanel(FtpConnector& connector, MessagePresenter& messages,
                                       ConnectionProfile profile, QWidget* parent)
    : QWidget(parent), messages_(messages), profile_(std::move(profile)) {
  list_ = new CFTPList(connector, messages, this);
  list_->setObjectName("remoteList");
  combo_ = new CFTPComboEx(*list_, this);
  combo_->setObjectName("remoteCombo");
  back_ = MakeToolButton(this, "backButton", "Back", QStyle::SP_ArrowBack);
  forward_ = MakeToolButton(this, "forwardButton", "Forward", QStyle::SP_ArrowForward);
  up_ = MakeToolButton(this, "upButton", "Up", QStyle::SP_FileDialogToParent);
  folderField_ = new QLineEdit(this);
  folderField_->setObjectName("currentFolderField");
  folderField_->setReadOnly(true);
  auto* folderLabel = new QLabel("Current Remote Folder:", this);
  folderLabel->setBuddy(folderField_);

  auto* top = new QHBoxLayout;
  top->setSpacing(2);
  top->addWidget(back_);
  top->addWidget(forward_);
  top->addWidget(up_);
  top->addSpacing(8);
  top->addWidget(combo_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(folderLabel);
  bottom->addWidget(folderField_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  layout->addLayout(bottom);

  connect(back_, &QToolButton::clicked, this, &RemoteBrowserPanel::Back);
  connect(forward_, &QToolButton::clicked, this, &RemoteBrowserPanel::Forward);
  connect(up_, &QToolButton::clicked, this, &RemoteBrowserPanel::Up);
  connect(combo_, &CFTPComboEx::folderChosen, this, &RemoteBrowserPanel::FolderChosen);
  connect(list_, &CFTPList::rowOpened, this, &RemoteBrowserPanel::RowOpened);
  connect(list_, &CFTPList::remoteRefresh, this, &RemoteBrowserPanel::RemoteRefresh);
  keepAlive_.setInterval(kKeepAliveInterval);
  connect(&keepAlive_, &QTimer::timeout, this, &RemoteBrowserPanel::KeepAlive);
  UpdateToolbar();
}

RemoteBrowserPanel::~RemoteBrowserPanel() {
  keepAlive_.stop();
  list_->Disconnect();
}

void RemoteBrowserPanel::SetKeepAliveInterval(std::chrono::milliseconds interval) {
  keepAlive_.setInterval(interval);
}

std::chrono::milliseconds RemoteBrowserPanel::KeepAliveInterval() const {
  return keepAlive_.intervalAsDuration();
}

bool RemoteBrowserPanel::IsConnected() const { return list_->IsConnected(); }

std::string RemoteBrowserPanel::CurrentFolder() const { return list_->CurrentFolder(); }

bool RemoteBrowserPanel::ConnectAndShow() {
  if (!list_->Connect(profile_)) return false;
  const std::string start = profile_.remoteDir.empty() ? "/" : profile_.remoteDir;
  if (!Navigate(start)) {
    messages_.Show(
        "Cannot navigate to the remote folder. Connection will be closed.\n\nYou can use the "
        "'R' button on the login screen to try a different\nremote folder.",
        MessageButtons::Ok, MessageIcon::Information);
    Disconnect();
    return false;
  }
  keepAlive_.start();
  return true;
}

bool RemoteBrowserPanel::Navigate(const std::string& folder) {
  const bool inside = IsWithinRemoteRoot(folder, profile_.remoteRoot) ||
                      NormaliseRemoteFolder(profile_.remoteRoot) == "/";
  if (!(inside && list_->Browse(folder)) && !list_->Browse(profile_.remoteRoot)) return false;
  FollowList();
  return true;
}

void RemoteBrowserPanel::FollowList() {
  combo_->Rebuild(profile_);
  combo_->SelectFolder(list_->CurrentFolder());
  history_.Push(list_->CurrentFolder());
  UpdateToolbar();
}

void RemoteBrowserPanel::Disconnect() {
  keepAlive_.stop();
  list_->Disconnect();
  list_->RemoveAllRows();
  combo_->ShowNotConnected();
  history_.Clear();
  UpdateToolbar();
}

void RemoteBrowserPanel::Back() {
  if (!IsConnected()) return;
  if (auto folder = history_.Back()) ShowHistoryEntry(*folder);
}

void RemoteBrowserPanel::Forward() {
  if (!IsConnected()) return;
  if (auto folder = history_.Forward()) ShowHistoryEntry(*folder);
}

void RemoteBrowserPanel::ShowHistoryEntry(const std::string& folder) {
  list_->Browse(folder);
  // The combo shows what the list shows, also when the entry can no longer be entered.
  combo_->SelectFolder(list_->CurrentFolder());
  UpdateToolbar();
}

void RemoteBrowserPanel::Up() {
  if (!IsConnected() || AtRoot()) return;
  if (list_->Up()) FollowList();
}

void RemoteBrowserPanel::FolderChosen(const QString& folder) {
  if (list_->Browse(folder.toStdString())) history_.Push(list_->CurrentFolder());
  combo_->SelectFolder(list_->CurrentFolder());
  UpdateToolbar();
}

void RemoteBrowserPanel::RowOpened(const QString& path, bool isFolder) {
  if (!isFolder) return;
  if (list_->Browse(path.toStdString())) FollowList();
}

void RemoteBrowserPanel::RemoteRefresh() {
  if (!IsConnected()) return;
  history_.Clear();
  list_->Browse(list_->CurrentFolder());
  FollowList();
}

void RemoteBrowserPanel::KeepAlive() {
  if (!list_->LiveConnection()) Disconnect();
}

bool RemoteBrowserPanel::AtRoot() const {
  return SameRemoteFolder(list_->CurrentFolder(), profile_.remoteRoot);
}

void RemoteBrowserPanel::UpdateToolbar() {
  const bool connected = IsConnected();
  back_->setEnabled(connected && history_.CanGoBack());
  forward_->setEnabled(connected && history_.CanGoForward());
  up_->setEnabled(connected && combo_->count() > 0 && !AtRoot());
  combo_->setEnabled(connected && !AtRoot());
  if (connected)
    folderField_->setText(
        QString::fromStdString(FolderBelowRoot(list_->CurrentFolder(), profile_.remoteRoot)));
}

}  // namespace quillon

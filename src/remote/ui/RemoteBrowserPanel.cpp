#include "remote/ui/RemoteBrowserPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QResizeEvent>

#include "remote/RemotePaths.h"
#include "remote/ui/CFTPComboEx.h"
#include "remote/ui/CFTPList.h"

namespace quillon {

RemoteBrowserPanel::RemoteBrowserPanel(FtpConnector& connector, MessagePresenter& messages,
                                       ConnectionProfile profile, QWidget* parent)
    : BrowserPanel(parent), messages_(messages), profile_(std::move(profile)) {
  list_ = new CFTPList(connector, messages, this);
  list_->setObjectName("remoteList");
  combo_ = new CFTPComboEx(*list_, this);
  combo_->setObjectName("remoteCombo");
  folderField_ = new QLineEdit(this);
  folderField_->setObjectName("currentFolderField");
  folderField_->setReadOnly(true);
  folderLabel_ = new QLabel("Current Remote Folder:", this);
  folderLabel_->setBuddy(folderField_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(folderLabel_);
  bottom->addWidget(folderField_, 1);
  Assemble(combo_, list_, bottom);

  // A thin bar along the bottom of the list while the connection works.
  busyBar_ = new QProgressBar(this);
  busyBar_->setObjectName("busyBar");
  busyBar_->setRange(0, 0);
  busyBar_->setTextVisible(false);
  busyBar_->hide();

  connect(combo_, &CFTPComboEx::folderChosen, this, &RemoteBrowserPanel::FolderChosen);
  connect(list_, &CFTPList::rowOpened, this, &RemoteBrowserPanel::RowOpened);
  connect(list_, &CFTPList::remoteRefresh, this, &RemoteBrowserPanel::RemoteRefresh);
  connect(list_, &FileListView::upRequested, this, &BrowserPanel::Up);
  connect(list_, &FileListView::backRequested, this, &BrowserPanel::Back);
  connect(list_, &FileListView::forwardRequested, this, &BrowserPanel::Forward);
  connect(list_, &CFTPList::busyChanged, this, [this](bool busy) {
    busyBar_->setVisible(busy);
    if (busy) {
      PlaceBusyBar();
      busyBar_->raise();
    }
    UpdateToolbar();
    emit busyChanged(busy);
  });
  keepAlive_.setInterval(kKeepAliveInterval);
  connect(&keepAlive_, &QTimer::timeout, this, &RemoteBrowserPanel::CheckConnection);
  replyDeadline_.setSingleShot(true);
  connect(&replyDeadline_, &QTimer::timeout, this, &RemoteBrowserPanel::Lost);
  combo_->ShowNotConnected();
  UpdateToolbar();
}

RemoteBrowserPanel::~RemoteBrowserPanel() {
  StopKeepAlive();
  list_->Session().Disconnect();
}

void RemoteBrowserPanel::SetProfile(ConnectionProfile profile) { profile_ = std::move(profile); }

void RemoteBrowserPanel::SetFolderFieldShown(bool shown) {
  folderLabel_->setVisible(shown);
  folderField_->setVisible(shown);
}

void RemoteBrowserPanel::SetKeepAliveInterval(std::chrono::milliseconds interval) {
  keepAlive_.setInterval(interval);
}

std::chrono::milliseconds RemoteBrowserPanel::KeepAliveInterval() const {
  return keepAlive_.intervalAsDuration();
}

bool RemoteBrowserPanel::IsConnected() const { return list_->IsConnected(); }
bool RemoteBrowserPanel::IsConnecting() const { return list_->Session().IsConnecting(); }
bool RemoteBrowserPanel::IsBusy() const { return list_->IsBusy(); }
std::string RemoteBrowserPanel::CurrentFolder() const { return list_->CurrentFolder(); }

void RemoteBrowserPanel::Connect(std::function<void(bool, const std::string&)> done) {
  StopKeepAlive();
  list_->Session().Connect(profile_, [this, done](bool ok, const std::string& error) {
    UpdateToolbar();
    if (done) done(ok, error);
  });
  UpdateToolbar();
}

void RemoteBrowserPanel::ConnectAndShow(std::function<void(bool)> done) {
  Connect([this, done](bool ok, const std::string&) {
    if (!ok) {
      if (done) done(false);
      return;
    }
    const std::string start = profile_.remoteDir.empty() ? "/" : profile_.remoteDir;
    Navigate(start, [this, done](bool shown) {
      if (!shown) {
        messages_.Show(
            "Cannot navigate to the remote folder. Connection will be closed.\n\nYou can use the "
            "'R' button on the login screen to try a different\nremote folder.",
            MessageButtons::Ok, MessageIcon::Information);
        Disconnect();
      } else {
        StartKeepAlive();
      }
      if (done) done(shown);
    });
  });
}

void RemoteBrowserPanel::Navigate(const std::string& folder, std::function<void(bool)> done) {
  const std::string root = NormaliseRemoteFolder(profile_.remoteRoot);
  const bool inside = root == "/" || IsWithinRemoteRoot(folder, root);
  list_->Session().List(inside ? folder : root, root, root,
                        [this, root, done](RemoteFolderListing listing) {
                          const bool ok = ShowListed(std::move(listing), root, true);
                          UpdateToolbar();
                          if (done) done(ok);
                        });
  UpdateToolbar();
}

void RemoteBrowserPanel::Refresh(std::function<void(bool)> done) {
  const std::string root = NormaliseRemoteFolder(profile_.remoteRoot);
  list_->Session().List(CurrentFolder().empty() ? root : CurrentFolder(), std::nullopt, root,
                        [this, root, done](RemoteFolderListing listing) {
                          const bool ok = ShowListed(std::move(listing), root, false);
                          UpdateToolbar();
                          if (done) done(ok);
                        });
}

bool RemoteBrowserPanel::ShowListed(RemoteFolderListing listing, const std::string& root,
                                    bool visit) {
  if (!listing.ok) return false;
  const std::string folder = listing.folder;
  const std::string visited =
      historyKeepsRequested_ && listing.fellBack ? listing.requested : listing.folder;
  const std::vector<std::string> subfolders =
      listing.rootFolders.value_or(std::vector<std::string>{});
  list_->ShowListing(std::move(listing));
  combo_->Rebuild(root, subfolders);
  combo_->SelectFolder(folder);
  if (visit) Visited(visited);
  return true;
}

void RemoteBrowserPanel::Disconnect() {
  StopKeepAlive();
  list_->Session().Disconnect();
  list_->RemoveAllRows();
  combo_->ShowNotConnected();
  ClearHistory();
}

void RemoteBrowserPanel::StartKeepAlive() {
  if (IsConnected()) keepAlive_.start();
}

void RemoteBrowserPanel::StopKeepAlive() {
  keepAlive_.stop();
  replyDeadline_.stop();
}

void RemoteBrowserPanel::ShowFromHistory(const std::string& folder) {
  list_->Browse(folder, [this](bool) {
    // The combo shows what the list shows, also when the entry can no longer be entered.
    combo_->SelectFolder(list_->CurrentFolder());
    UpdateToolbar();
  });
}

void RemoteBrowserPanel::ShowParent() {
  const std::optional<std::string> parent = RemoteParentFolder(list_->CurrentFolder());
  if (list_->CurrentFolder().empty() || !parent) return;
  Navigate(*parent);
}

void RemoteBrowserPanel::FolderChosen(const QString& folder) {
  if (!CanNavigate()) {
    combo_->SelectFolder(list_->CurrentFolder());
    return;
  }
  list_->Browse(folder.toStdString(), [this](bool ok) {
    if (ok) Visited(list_->CurrentFolder());
    combo_->SelectFolder(list_->CurrentFolder());
    UpdateToolbar();
  });
}

void RemoteBrowserPanel::RowOpened(const QString& path, bool isFolder) {
  if (!isFolder || !CanNavigate()) return;
  const std::string root = NormaliseRemoteFolder(profile_.remoteRoot);
  list_->Session().List(path.toStdString(), std::nullopt, root,
                        [this, root](RemoteFolderListing listing) {
                          ShowListed(std::move(listing), root, true);
                          UpdateToolbar();
                        });
}

void RemoteBrowserPanel::RemoteRefresh() {
  if (!IsConnected()) return;
  ClearHistory();
  Refresh([this](bool) { ResetHistory(list_->CurrentFolder()); });
}

void RemoteBrowserPanel::CheckConnection() {
  // A connection at work answers by working; a check waits its turn otherwise.
  if (!IsConnected() || IsBusy() || replyDeadline_.isActive()) return;
  replyDeadline_.start(replyTime_);
  list_->Session().CheckAlive([this](bool alive) {
    replyDeadline_.stop();
    if (!alive) Lost();
  });
}

void RemoteBrowserPanel::Lost() {
  Disconnect();
  emit connectionLost();
}

bool RemoteBrowserPanel::AtRoot() const {
  return SameRemoteFolder(list_->CurrentFolder(), profile_.remoteRoot);
}

bool RemoteBrowserPanel::CanNavigate() const { return IsConnected() && !IsBusy(); }

bool RemoteBrowserPanel::CanGoUp() const { return combo_->count() > 0 && !AtRoot(); }

void RemoteBrowserPanel::UpdateSideControls() {
  const bool connected = IsConnected();
  combo_->setEnabled(CanNavigate() && !AtRoot());
  if (connected)
    folderField_->setText(
        QString::fromStdString(FolderBelowRoot(list_->CurrentFolder(), profile_.remoteRoot)));
}

void RemoteBrowserPanel::resizeEvent(QResizeEvent* event) {
  BrowserPanel::resizeEvent(event);
  PlaceBusyBar();
}

void RemoteBrowserPanel::PlaceBusyBar() {
  const QRect list = list_->geometry();
  busyBar_->setGeometry(list.left() + 2, list.bottom() - 7, list.width() - 4, 6);
}

}  // namespace quillon

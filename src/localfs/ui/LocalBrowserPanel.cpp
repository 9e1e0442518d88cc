#include "localfs/ui/LocalBrowserPanel.h"

#include "localfs/DirListing.h"
#include "localfs/LocalFileActions.h"
#include "localfs/ui/CDirComboEx.h"
#include "localfs/ui/CDirList.h"

namespace quillon {

LocalBrowserPanel::LocalBrowserPanel(MessagePresenter& messages, QWidget* parent)
    : BrowserPanel(parent), messages_(messages) {
  setObjectName("localPanel");
  combo_ = new CDirComboEx(this);
  list_ = new CDirList(messages, this);
  Assemble(combo_, list_, nullptr);

  connect(combo_, &CDirComboEx::folderChosen, this, [this](const std::string& folder) {
    if (!Open(folder)) FollowList();  // the combo shows the list's folder again
  });
  connect(list_, &CDirList::itemDoubleClicked, this, [this](const LocalEntry& entry) {
    if (IsShownAsFolder(entry))
      Open(entry.path);
    else
      list_->OpenItem(entry);
  });
  connect(list_, &CDirList::localRefresh, this, [this] {
    combo_->SelectFolder(list_->CurrentFolder());
    ResetHistory(list_->CurrentFolder());
  });
  connect(list_, &FileListView::upRequested, this, &BrowserPanel::Up);
  connect(list_, &FileListView::backRequested, this, &BrowserPanel::Back);
  connect(list_, &FileListView::forwardRequested, this, &BrowserPanel::Forward);
  // The Up button follows the combo's selection.
  connect(combo_, &QComboBox::currentIndexChanged, this, [this] { UpdateToolbar(); });
}

const std::string& LocalBrowserPanel::CurrentFolder() const { return list_->CurrentFolder(); }

bool LocalBrowserPanel::GoTo(const std::string& path) {
  if (!list_->ShowFolder(path)) return false;
  FollowList();
  Visited(list_->CurrentFolder());
  return true;
}

bool LocalBrowserPanel::Open(const std::string& path) {
  if (GoTo(path)) return true;
  messages_.Show(CannotShowFolderText(path, list_->ErrorText()));
  return false;
}

void LocalBrowserPanel::Refresh() {
  list_->Refresh();
  FollowList();
}

void LocalBrowserPanel::FollowList() {
  combo_->SelectFolder(list_->CurrentFolder());
  UpdateToolbar();
}

bool LocalBrowserPanel::CanGoUp() const { return combo_->currentIndex() >= 1; }

void LocalBrowserPanel::ShowFromHistory(const std::string& folder) {
  if (!list_->ShowFolder(folder)) messages_.Show(CannotShowFolderText(folder, list_->ErrorText()));
  FollowList();
}

void LocalBrowserPanel::ShowParent() {
  if (list_->UpOneLevel()) {
    FollowList();
    Visited(list_->CurrentFolder());
  } else if (!list_->CurrentFolder().empty() && list_->CurrentFolder() != "/") {
    messages_.Show(CannotShowFolderText(LocalParent(list_->CurrentFolder()), list_->ErrorText()));
  }
}

}  // namespace quillon

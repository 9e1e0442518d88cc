#include "remote/ui/CFTPComboEx.h"

#include "common/ui/IndentDelegate.h"
#include "remote/RemoteListing.h"
#include "remote/RemotePaths.h"
#include "remote/ui/CFTPList.h"

namespace quillon {

namespace {

constexpr int kIndentRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 12;  // per level in the drop-down

}  // namespace

CFTPComboEx::CFTPComboEx(CFTPList& list, QWidget* parent) : QComboBox(parent), list_(list) {
  setItemDelegate(new IndentDelegate(kIndentRole, kIndentPixels, this));
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(16);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index < 0 || index >= static_cast<int>(items_.items().size())) return;
    items_.Select(items_.items()[static_cast<size_t>(index)].path);
    MarkSelected(index);
    emit folderChosen(QString::fromStdString(items_.items()[static_cast<size_t>(index)].path));
  });
}

void CFTPComboEx::Rebuild(const std::string& remoteRoot) {
  const std::string root = NormaliseRemoteFolder(remoteRoot);
  std::vector<std::string> subfolders;
  if (FtpConnection* connection = list_.Connection()) {
    std::optional<std::string> remembered = connection->CurrentFolder();
    if (connection->SetCurrentFolder(root)) {
      if (auto entries = connection->List()) {
        for (const auto& entry : *entries)
          if (entry.isFolder && IsSafeRemoteName(entry.name)) subfolders.push_back(entry.name);
      }
      if (remembered && !remembered->empty()) connection->SetCurrentFolder(*remembered);
    }
  }
  items_.Reset(root, subfolders);
  Fill();
}

void CFTPComboEx::SelectFolder(const std::string& folder) {
  if (items_.items().empty()) return;
  items_.Select(folder);
  Fill();
}

std::string CFTPComboEx::SelectedFolder() const {
  auto selected = items_.selected();
  return selected ? items_.items()[*selected].path : std::string();
}

void CFTPComboEx::ShowNotConnected() {
  items_.Clear();
  Fill();
  setPlaceholderText("Not connected");
}

int CFTPComboEx::IndentAt(int index) const { return itemData(index, kIndentRole).toInt(); }

void CFTPComboEx::Fill() {
  const QSignalBlocker quiet(this);
  clear();
  for (const auto& item : items_.items()) {
    addItem(list_.FolderIcon(), QString::fromStdString(item.text),
            QString::fromStdString(item.path));
    setItemData(count() - 1, item.indent, kIndentRole);
  }
  const int selected = items_.selected() ? static_cast<int>(*items_.selected()) : -1;
  setCurrentIndex(selected);
  MarkSelected(selected);
}

void CFTPComboEx::MarkSelected(int index) {
  for (int i = 0; i < count(); ++i)
    setItemIcon(i, i == index ? list_.OpenFolderIcon() : list_.FolderIcon());
}

}  // namespace quillon

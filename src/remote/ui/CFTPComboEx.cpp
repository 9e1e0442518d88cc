#include "remote/ui/CFTPComboEx.h"

#include <QStandardItemModel>

#include "common/ui/IndentDelegate.h"
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

void CFTPComboEx::Rebuild(const std::string& remoteRoot,
                          const std::vector<std::string>& subfolders) {
  items_.Reset(NormaliseRemoteFolder(remoteRoot), subfolders);
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
  // A new model filled at once: a server's top folder may hold thousands of folders.
  auto* content = new QStandardItemModel(this);
  QList<QStandardItem*> rows;
  rows.reserve(static_cast<qsizetype>(items_.items().size()));
  for (const auto& item : items_.items()) {
    auto* row = new QStandardItem(list_.FolderIcon(), QString::fromStdString(item.text));
    row->setData(QString::fromStdString(item.path), Qt::UserRole);
    row->setData(item.indent, kIndentRole);
    rows.append(row);
  }
  content->invisibleRootItem()->appendRows(rows);
  setModel(content);  // deletes the combo's previous model
  marked_ = -1;
  const int selected = items_.selected() ? static_cast<int>(*items_.selected()) : -1;
  setCurrentIndex(selected);
  MarkSelected(selected);
}

void CFTPComboEx::MarkSelected(int index) {
  if (marked_ >= 0 && marked_ < count() && marked_ != index)
    setItemIcon(marked_, list_.FolderIcon());
  if (index >= 0 && index < count()) setItemIcon(index, list_.OpenFolderIcon());
  marked_ = index;
}

}  // namespace quillon

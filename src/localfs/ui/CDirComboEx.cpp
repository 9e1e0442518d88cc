#include "localfs/ui/CDirComboEx.h"

#include <QFileIconProvider>
#include <QListView>

#include "common/ui/IndentDelegate.h"
#include "localfs/DirListing.h"
#include "localfs/LocalPaths.h"

namespace quillon {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kIndentRole = Qt::UserRole + 1;
constexpr int kIndentStep = 10;  // pixels per level in the drop-down

std::vector<std::string> TopFolderNames() {
  std::vector<std::string> names;
  if (auto entries = ListShownEntries("/"))
    for (const auto& entry : *entries)
      if (IsShownAsFolder(entry)) names.push_back(entry.name);
  return names;
}

}  // namespace

CDirComboEx::CDirComboEx(QWidget* parent) : QComboBox(parent) {
  setObjectName("localCombo");
  setView(new QListView(this));
  view()->setItemDelegate(new IndentDelegate(kIndentRole, kIndentStep, view()));
  setMaxVisibleItems(20);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index >= 0) emit folderChosen(FolderAt(index));
  });
  ResetToTop();
}

void CDirComboEx::ResetToTop() { Fill(TopFolderCombo(TopFolderNames())); }

bool CDirComboEx::SelectFolder(const std::string& path) {
  auto kept = NormalizeLocalPath(path);
  if (!kept) return false;
  Fill(FolderChain(TopFolderCombo(TopFolderNames()), *kept));
  return true;
}

std::string CDirComboEx::FolderAt(int index) const {
  if (index < 0 || index >= count()) return {};
  return itemData(index, kPathRole).toString().toStdString();
}

int CDirComboEx::IndentAt(int index) const { return itemData(index, kIndentRole).toInt(); }

void CDirComboEx::Fill(const FolderComboContent& content) {
  QFileIconProvider icons;
  QIcon top = icons.icon(QFileIconProvider::Drive);
  QIcon folder = icons.icon(QFileIconProvider::Folder);
  {
    // Refilling passes through empty and first-item states that are of no interest.
    QSignalBlocker quiet(this);
    clear();
    for (const auto& item : content.items) {
      addItem(item.path == "/" ? top : folder, QString::fromStdString(item.text),
              QString::fromStdString(item.path));
      setItemData(count() - 1, item.indent, kIndentRole);
      setItemData(count() - 1, QString::fromStdString(item.path), Qt::ToolTipRole);
    }
    setCurrentIndex(content.selected);
  }
  emit currentIndexChanged(currentIndex());
}

}  // namespace quillon

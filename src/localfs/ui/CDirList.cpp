#include "localfs/ui/CDirList.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <algorithm>

#include "localfs/LocalFileActions.h"
#include "localfs/LocalPaths.h"
#include "localfs/ui/DesktopLauncher.h"
#include "localfs/ui/DirListModel.h"

namespace quillon {

namespace {

const char* ActionName(LocalCommand command) {
  switch (command) {
    case LocalCommand::Open:
      return "openAction";
    case LocalCommand::Explore:
      return "exploreAction";
    case LocalCommand::Delete:
      return "deleteAction";
    case LocalCommand::Rename:
      return "renameAction";
    case LocalCommand::NewFolder:
      return "newFolderAction";
    case LocalCommand::Refresh:
      return "refreshAction";
  }
  return "";
}

}  // namespace

CDirList::CDirList(MessagePresenter& messages, QWidget* parent)
    : FileListView(parent),
      messages_(messages),
      model_(new DirListModel(this)),
      desktopLauncher_(std::make_unique<DesktopLauncher>()),
      launcher_(desktopLauncher_.get()),
      trash_(clock_) {
  setObjectName("localList");
  SetFileModel(model_);
  header()->setSortIndicatorShown(true);
  ApplySortIndicator();

  connect(this, &FileListView::headerClicked, this,
          [this](int section) { SortByColumn(static_cast<FileColumn>(section)); });
  connect(this, &FileListView::openRequested, this,
          [this](int row) { emit itemDoubleClicked(model_->EntryAt(row)); });
  connect(this, &FileListView::deleteRequested, this, &CDirList::DeleteSelection);
  connect(this, &FileListView::refreshRequested, this, &CDirList::Refresh);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit selectedItemsChanged(); });
  // Renamed from the event loop, once the editor is closed, so that a message box or the
  // list being shown again does not run inside the editor's commit.
  connect(model_, &DirListModel::renameRequested, this, &CDirList::FinishRename,
          Qt::QueuedConnection);
}

CDirList::~CDirList() = default;

bool CDirList::ShowFolder(const std::string& path) {
  auto kept = NormalizeLocalPath(path);
  if (!kept) {
    error_ = "Not an absolute path";
    return false;
  }
  auto entries = ListShownEntries(*kept, &error_);
  if (!entries) return false;
  folder_ = *kept;
  ShowEntries(std::move(*entries));
  return true;
}

bool CDirList::UpOneLevel() {
  auto parent = ParentFolder(folder_);
  return parent && ShowFolder(*parent);
}

bool CDirList::Refresh() {
  if (folder_.empty()) return false;
  auto entries = ListShownEntries(folder_, &error_);
  ShowEntries(entries ? std::move(*entries) : std::vector<LocalEntry>{});
  if (!entries) SetPlaceholder(QString::fromStdString(CannotShowFolderText(folder_, error_)));
  return entries.has_value();
}

void CDirList::ShowEntries(std::vector<LocalEntry> entries) {
  sort_ = FileSortOrder{FileColumn::Name, true};
  SetPlaceholder({});
  model_->SetEntries(std::move(entries));
  FitColumns();
  ApplySortIndicator();
  emit folderShown(folder_);
  emit selectedItemsChanged();
}

const std::vector<LocalEntry>& CDirList::Entries() const { return model_->Entries(); }

std::vector<LocalEntry> CDirList::SelectedEntries() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<LocalEntry> selected;
  for (const auto& index : rows) selected.push_back(model_->EntryAt(index.row()));
  return selected;
}

bool CDirList::HasSelection() const { return selectionModel()->hasSelection(); }

bool CDirList::SelectItem(const std::string& name) {
  int row = model_->RowOf(name);
  if (row < 0) return false;
  QModelIndex index = model_->index(row, 0);
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
  return true;
}

void CDirList::SortByColumn(FileColumn column) {
  std::vector<std::string> selected;
  for (const auto& entry : SelectedEntries()) selected.push_back(entry.name);
  QModelIndex current = currentIndex();
  std::string currentName = current.isValid() ? model_->EntryAt(current.row()).name : "";

  sort_.Click(column);
  model_->Sort(column, sort_.ascending);
  ApplySortIndicator();

  // The same items stay selected at their new places.
  QItemSelection selection;
  for (const auto& name : selected) {
    int row = model_->RowOf(name);
    if (row >= 0) selection.select(model_->index(row, 0), model_->index(row, 2));
  }
  if (int row = model_->RowOf(currentName); row >= 0)
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void CDirList::ApplySortIndicator() {
  header()->setSortIndicator(static_cast<int>(sort_.column.value_or(FileColumn::Name)),
                             sort_.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool CDirList::OpenItem(const LocalEntry& entry) {
  if (launcher_->Open(JoinLocalPath(folder_, entry.name))) return true;
  messages_.Show(CannotOpenText(entry.name));
  return false;
}

bool CDirList::EditName(const std::string& name) {
  if (!SelectItem(name)) return false;
  setFocus();
  edit(model_->index(model_->RowOf(name), static_cast<int>(FileColumn::Name)));
  return state() == QAbstractItemView::EditingState;
}

void CDirList::RunCommand(LocalCommand command) {
  switch (command) {
    case LocalCommand::Open:
      OpenSelection();
      break;
    case LocalCommand::Explore:
      Explore();
      break;
    case LocalCommand::Delete:
      DeleteSelection();
      break;
    case LocalCommand::Rename:
      StartRename();
      break;
    case LocalCommand::NewFolder:
      MakeNewFolder();
      break;
    case LocalCommand::Refresh:
      Refresh();
      break;
  }
}

void CDirList::OpenSelection() {
  for (const auto& entry : SelectedEntries())
    if (!OpenItem(entry)) break;
}

void CDirList::Explore() {
  auto selected = SelectedEntries();
  if (!selected.empty() && IsShownAsFolder(selected.front()))
    emit itemDoubleClicked(selected.front());
}

void CDirList::DeleteSelection() {
  auto selected = SelectedEntries();
  if (selected.empty()) return;
  if (messages_.Show(kConfirmTrashText, MessageButtons::YesNo) != MessageAnswer::Yes) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::string failure;
  for (const auto& entry : selected) {
    // The item itself goes, a link as a link: the trash renames and never follows.
    auto result = trash_.MoveToTrash(JoinLocalPath(folder_, entry.name));
    if (!result.ok) {
      failure = CannotTrashText(entry.name, result.error);
      break;  // the rest stays where it is
    }
  }
  QApplication::restoreOverrideCursor();
  if (!failure.empty()) messages_.Show(failure);
  Refresh();
  emit localRefresh();
}

void CDirList::StartRename() {
  auto selected = SelectedEntries();
  if (selected.empty()) return;
  setFocus();
  QModelIndex index = model_->index(model_->RowOf(selected.front().name), 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  edit(index);
}

void CDirList::FinishRename(const QByteArray& oldName, const QString& newName) {
  std::string from = oldName.toStdString();
  std::string to = newName.toStdString();
  int row = model_->RowOf(from);
  bool folder = row >= 0 && IsShownAsFolder(model_->EntryAt(row));
  switch (RenameLocalItem(folder_, from, to)) {
    case RenameOutcome::Unchanged:
      return;
    case RenameOutcome::Failed:
      messages_.Show(CannotRenameText(from));
      setFocus();
      return;
    case RenameOutcome::Renamed:
      Refresh();
      SelectItem(to);
      if (folder) emit localRefresh();
      return;
  }
}

void CDirList::MakeNewFolder() {
  if (folder_.empty()) return;
  std::string error;
  auto name = CreateNewFolder(folder_, error);
  if (!name) {
    messages_.Show(CannotCreateFolderText("New Folder", error));
    return;
  }
  Refresh();
  emit localRefresh();
  EditName(*name);
}

void CDirList::contextMenuEvent(QContextMenuEvent* event) {
  // A right click beside the items is a click on nothing: the menu for the folder itself.
  if (event->reason() == QContextMenuEvent::Mouse && !indexAt(event->pos()).isValid())
    clearSelection();
  if (folder_.empty()) return;  // nothing shown, nothing to offer
  auto entries = LocalMenuEntries(SelectedEntries());

  QMenu menu(this);
  menu.setObjectName("localContextMenu");
  std::vector<std::pair<QAction*, LocalCommand>> actions;
  for (const auto& entry : entries) {
    if (entry.separatorBefore) menu.addSeparator();
    QAction* action = menu.addAction(QString::fromStdString(entry.text));
    action->setObjectName(ActionName(entry.command));
    actions.emplace_back(action, entry.command);
  }
  QPoint at = event->reason() == QContextMenuEvent::Mouse
                  ? event->globalPos()
                  : viewport()->mapToGlobal(visualRect(currentIndex()).center());
  QAction* chosen = menu.exec(at);
  for (const auto& [action, command] : actions)
    if (action == chosen) RunCommand(command);
}

}  // namespace quillon

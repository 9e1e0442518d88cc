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
    : QTreeView(parent),
      messages_(messages),
      model_(new DirListModel(this)),
      desktopLauncher_(std::make_unique<DesktopLauncher>()),
      launcher_(desktopLauncher_.get()),
      trash_(clock_) {
  setObjectName("localList");
  setModel(model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  // Labels are edited with F2 or a click on a selected name; a double click opens.
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setColumnWidth(static_cast<int>(DirColumn::Name), 180);
  setColumnWidth(static_cast<int>(DirColumn::Size), 50);
  setColumnWidth(static_cast<int>(DirColumn::Date), 120);
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(true);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  ApplySortIndicator();

  connect(header(), &QHeaderView::sectionClicked, this,
          [this](int section) { SortByColumn(static_cast<DirColumn>(section)); });
  connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit itemDoubleClicked(model_->EntryAt(index.row()));
  });
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
  if (!kept) return false;
  folder_ = *kept;
  sort_ = DirSortState{};
  auto entries = ListShownEntries(folder_);
  model_->SetEntries(entries ? std::move(*entries) : std::vector<LocalEntry>{});
  ApplySortIndicator();
  emit folderShown(folder_);
  emit selectedItemsChanged();
  return entries.has_value();
}

bool CDirList::UpOneLevel() {
  auto parent = ParentFolder(folder_);
  return parent && ShowFolder(*parent);
}

bool CDirList::Refresh() { return !folder_.empty() && ShowFolder(folder_); }

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

void CDirList::SortByColumn(DirColumn column) {
  std::vector<std::string> selected;
  for (const auto& entry : SelectedEntries()) selected.push_back(entry.name);
  QModelIndex current = currentIndex();
  std::string currentName = current.isValid() ? model_->EntryAt(current.row()).name : "";

  sort_.Click(column);
  model_->Sort(sort_);
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
  header()->setSortIndicator(static_cast<int>(sort_.column),
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
  edit(model_->index(model_->RowOf(name), static_cast<int>(DirColumn::Name)));
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

void CDirList::keyPressEvent(QKeyEvent* event) {
  bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && state() != QAbstractItemView::EditingState) {
    // Enter opens the current item here rather than pressing the window's default button.
    if (currentIndex().isValid()) emit itemDoubleClicked(model_->EntryAt(currentIndex().row()));
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void CDirList::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  emit listClicked();
}

void CDirList::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  emit focusEntered();
}

}  // namespace quillon

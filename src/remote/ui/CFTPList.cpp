#include "remote/ui/CFTPList.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>

#include "remote/RemoteListing.h"
#include "remote/RemotePaths.h"
#include "remote/ui/RemoteListModel.h"

namespace quillon {

CFTPList::CFTPList(FtpConnector& connector, MessagePresenter& messages, QWidget* parent)
    : FileListView(parent),
      messages_(messages),
      session_(new RemoteSession(connector, this)),
      model_(new RemoteListModel(this)) {
  SetFileModel(model_);
  connect(session_, &RemoteSession::busyChanged, this, &CFTPList::busyChanged);
  connect(this, &FileListView::headerClicked, this,
          [this](int section) { SortByColumn(static_cast<FileColumn>(section)); });
  connect(this, &FileListView::openRequested, this, [this](int row) {
    const RemoteListItem& item = model_->RowAt(row);
    emit rowOpened(QString::fromStdString(item.path), item.folder);
  });
  connect(this, &FileListView::deleteRequested, this, &CFTPList::DeleteSelected);
  connect(this, &FileListView::refreshRequested, this, &CFTPList::Refresh);
  connect(model_, &FileListModel::nameEdited, this,
          [this](int row, const QString& text) { LabelEdited(model_->RowAt(row).path, text); });
}

CFTPList::~CFTPList() = default;

void CFTPList::SetTextColour(const QColor& colour) {
  QPalette colours = palette();
  colours.setColor(QPalette::Text, colour);
  setPalette(colours);
}

void CFTPList::ShowListing(RemoteFolderListing listing) {
  if (!listing.ok) return;
  currentFolder_ = listing.folder;
  sortOrder_.ascending = true;
  header()->setSortIndicatorShown(false);
  model_->SetRows(std::move(listing.rows));
  FitColumns();
}

void CFTPList::Browse(const std::string& folder, std::function<void(bool)> done) {
  session_->List(folder, std::nullopt, std::nullopt,
                 [this, done = std::move(done)](RemoteFolderListing listing) {
                   const bool ok = listing.ok;
                   ShowListing(std::move(listing));
                   if (done) done(ok);
                 });
}

void CFTPList::RemoveAllRows() {
  model_->SetRows({});
  header()->setSortIndicatorShown(false);
}

int CFTPList::RowCount() const { return model_->rowCount(); }

const RemoteListItem* CFTPList::ItemAt(int row) const {
  if (row < 0 || row >= model_->rowCount()) return nullptr;
  return &model_->RowAt(row);
}

int CFTPList::RowNamed(const std::string& name) const {
  for (int row = 0; row < model_->rowCount(); ++row)
    if (model_->RowAt(row).Name() == name) return row;
  return -1;
}

std::vector<RemoteListItem> CFTPList::SelectedItems() const {
  std::vector<RemoteListItem> selected;
  for (int row : SelectedRows()) selected.push_back(model_->RowAt(row));
  return selected;
}

int CFTPList::FirstSelectedRow() const {
  const QList<int> rows = SelectedRows();
  return rows.isEmpty() ? -1 : rows.front();
}

void CFTPList::SortByColumn(FileColumn column) {
  sortOrder_.Click(column);
  // The selection and the current row follow their rows to their new places.
  std::vector<std::string> selected;
  for (const RemoteListItem& item : SelectedItems()) selected.push_back(item.path);
  const std::string current =
      currentIndex().isValid() ? model_->RowAt(currentIndex().row()).path : std::string();
  model_->Sort(column, sortOrder_.ascending);
  QItemSelection selection;
  for (const std::string& path : selected) {
    const int row = model_->RowOf(path);
    if (row >= 0) selection.select(model_->index(row, 0), model_->index(row, kFileColumnCount - 1));
  }
  if (const int row = model_->RowOf(current); row >= 0)
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  header()->setSortIndicatorShown(true);
  header()->setSortIndicator(static_cast<int>(column),
                             sortOrder_.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CFTPList::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* explore = nullptr;
  QAction* rename = nullptr;
  QAction* remove = nullptr;
  QAction* newFolder = nullptr;
  QAction* refresh = nullptr;
  if (const int first = FirstSelectedRow(); first >= 0) {
    if (model_->RowAt(first).folder) {
      explore = menu.addAction("Explore");
      explore->setObjectName("exploreAction");
      menu.addSeparator();
    }
    rename = menu.addAction("Rename");
    rename->setObjectName("renameAction");
    remove = menu.addAction("Delete");
    remove->setObjectName("deleteAction");
  } else {
    newFolder = menu.addAction("NewFolder");
    newFolder->setObjectName("newFolderAction");
    refresh = menu.addAction("Refresh");
    refresh->setObjectName("refreshAction");
  }
  QAction* chosen = menu.exec(event->globalPos());
  // The command runs after the menu has closed, outside its event loop.
  if (!chosen) return;
  if (chosen == explore)
    Explore();
  else if (chosen == rename)
    StartRename();
  else if (chosen == remove)
    DeleteSelected();
  else if (chosen == newFolder)
    NewFolder();
  else if (chosen == refresh)
    Refresh();
}

void CFTPList::Explore() {
  if (const int row = FirstSelectedRow(); row >= 0) {
    const RemoteListItem& item = model_->RowAt(row);
    emit rowOpened(QString::fromStdString(item.path), item.folder);
  }
}

void CFTPList::EditRow(int row) {
  const QModelIndex index = model_->index(row, 0);
  setFocus();
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  scrollTo(index);
  edit(index);
}

void CFTPList::StartRename() {
  if (const int row = FirstSelectedRow(); row >= 0) EditRow(row);
}

void CFTPList::LabelEdited(const std::string& path, const QString& text) {
  if (text.isEmpty()) return;
  QMetaObject::invokeMethod(
      this, [this, path, name = text.toStdString()] { FinishRename(path, name); },
      Qt::QueuedConnection);
}

void CFTPList::FinishRename(const std::string& path, const std::string& text) {
  // A new name is a name: one with "/" (or "." and "..") would move the entry elsewhere.
  if (!IsSafeRemoteName(text)) {
    ShowMessage("Cannot rename " + path);
    return;
  }
  const std::string target = JoinRemotePath(currentFolder_, text);
  session_->Rename(path, target, [this, path, target](bool ok, const std::string& error) {
    if (!ok) {
      ShowMessage("Cannot rename " + path + (error.empty() ? "" : "\n\n" + error));
      return;
    }
    if (const int row = model_->RowOf(path); row >= 0) model_->SetPath(row, target);
    emit remoteRefresh();
  });
}

void CFTPList::DeleteSelected() {
  // The items are copied first: a message box's event loop may let the host clear the rows.
  const std::vector<RemoteListItem> selected = SelectedItems();
  if (selected.empty()) return;
  if (messages_.Show("Are you sure you want to delete the selected items?",
                     MessageButtons::YesNo) != MessageAnswer::Yes)
    return;
  std::vector<RemoteSession::DeleteItem> items;
  for (const RemoteListItem& item : selected) items.push_back({item.path, item.folder});
  session_->Delete(std::move(items), [this](const std::vector<std::string>& failures) {
    for (const std::string& failure : failures) ShowMessage(failure);
    emit remoteRefresh();
  });
}

void CFTPList::NewFolder() {
  static const std::string kName = "NewFolder";
  auto findAndEdit = [this](const std::string& error) {
    for (int row = 0; row < model_->rowCount(); ++row) {
      const std::string& path = model_->RowAt(row).path;
      if (path.size() > kName.size() && path.ends_with("/" + kName)) {
        clearSelection();
        selectionModel()->select(model_->index(row, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
        EditRow(row);
        return;
      }
    }
    ShowMessage("Cannot create new folder." + (error.empty() ? "" : "\n\n" + error));
  };
  if (!IsConnected()) {
    findAndEdit({});
    return;
  }
  // An existing "NewFolder" is reused: the failure of making it again is not checked.
  session_->CreateFolder(JoinRemotePath(currentFolder_, kName),
                         [this, findAndEdit](bool made, const std::string& error) {
                           Browse(currentFolder_, [findAndEdit, made, error](bool) {
                             findAndEdit(made ? std::string() : error);
                           });
                         });
}

void CFTPList::Refresh() {
  if (IsConnected() && !currentFolder_.empty()) Browse(currentFolder_);
}

QIcon CFTPList::FileIcon(const std::string& name) const { return model_->FileIcon(name); }
QIcon CFTPList::FolderIcon() const { return model_->FolderIcon(); }
QIcon CFTPList::OpenFolderIcon() const { return model_->OpenFolderIcon(); }

void CFTPList::ShowMessage(const std::string& text) {
  // A message box is answered with the normal cursor even inside a wait-cursor scope.
  const bool waiting = QApplication::overrideCursor() != nullptr;
  if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
  messages_.Show(text);
  if (waiting) QApplication::restoreOverrideCursor();
}

}  // namespace quillon

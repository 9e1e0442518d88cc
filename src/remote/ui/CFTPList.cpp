#include "remote/ui/CFTPList.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QMenu>
#include <QMimeDatabase>
#include <QStyle>
#include <algorithm>

#include "remote/RemoteDelete.h"
#include "remote/RemoteListing.h"
#include "remote/RemotePaths.h"

namespace quillon {

// One row: the item it stands for. Cell texts are made when the view asks for them; an edited
// name is not stored but handed to the list, which renames on the server.
class RemoteRow : public QTreeWidgetItem {
 public:
  static constexpr int kType = QTreeWidgetItem::UserType + 807;

  RemoteRow(RemoteListItem item, const QIcon& icon) : QTreeWidgetItem(kType), item_(std::move(item)) {
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
    setIcon(0, icon);
    setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }

  QVariant data(int column, int role) const override {
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
      switch (column) {
        case 0: return QString::fromStdString(item_.Name());
        case 1: return QString::fromStdString(RemoteSizeText(item_));
        case 2: return QString::fromStdString(RemoteTimeText(item_));
        default: return {};
      }
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant& value) override {
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
      if (column == 0 && role == Qt::EditRole) {
        if (auto* list = qobject_cast<CFTPList*>(treeWidget()))
          list->LabelEdited(item_.path, value.toString());
      }
      return;
    }
    QTreeWidgetItem::setData(column, role, value);
  }

  const RemoteListItem& item() const { return item_; }
  void SetPath(std::string path) { item_.path = std::move(path); }

 private:
  RemoteListItem item_;
};

namespace {

const RemoteRow* AsRow(const QTreeWidgetItem* item) {
  return item && item->type() == RemoteRow::kType ? static_cast<const RemoteRow*>(item) : nullptr;
}

// The wait cursor for the length of a scope; message boxes shown meanwhile get the normal one.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

CFTPList::CFTPList(FtpConnector& connector, MessagePresenter& messages, QWidget* parent)
    : QTreeWidget(parent), connector_(connector), messages_(messages) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setSortingEnabled(false);

  setColumnCount(3);
  setHeaderLabels({"Name", "Size", "Date Modified"});
  headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  header()->setSectionsClickable(true);
  header()->setStretchLastSection(false);
  // The classic widths, widened where the font needs more room for its texts.
  const QFontMetrics metrics = fontMetrics();
  setColumnWidth(0, std::max(180, metrics.horizontalAdvance("Name") * 6));
  setColumnWidth(1, std::max(50, metrics.horizontalAdvance("99999 KB") + 12));
  setColumnWidth(2, std::max(120, metrics.horizontalAdvance("12/31/2024 12:59 PM") + 16));
  connect(header(), &QHeaderView::sectionClicked, this,
          [this](int section) { SortByColumn(static_cast<RemoteColumn>(section)); });

  QFileIconProvider icons;
  folderIcon_ = icons.icon(QFileIconProvider::Folder);
  openFolderIcon_ = style()->standardIcon(QStyle::SP_DirOpenIcon);
  if (openFolderIcon_.isNull()) openFolderIcon_ = folderIcon_;
  plainFileIcon_ = icons.icon(QFileIconProvider::File);

  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    if (const RemoteRow* row = AsRow(item))
      emit rowOpened(QString::fromStdString(row->item().path), row->item().folder);
  });
}

CFTPList::~CFTPList() = default;

void CFTPList::SetTextColour(const QColor& colour) {
  QPalette colours = palette();
  colours.setColor(QPalette::Text, colour);
  setPalette(colours);
}

bool CFTPList::Connect(const ConnectionProfile& profile) {
  Disconnect();
  std::string error;
  std::unique_ptr<FtpConnection> connection = connector_.OpenWithError(profile, &error);
  if (!connection) {
    connectError_ = error.empty() ? "Unknown error." : error;
    return false;
  }
  connectError_.clear();
  connection_ = std::move(connection);
  return true;
}

void CFTPList::Disconnect() { connection_.reset(); }

FtpConnection* CFTPList::LiveConnection() {
  if (!connection_ || !connection_->IsAlive()) return nullptr;
  return connection_.get();
}

bool CFTPList::Browse(const std::string& folder) {
  std::shared_ptr<FtpConnection> connection = connection_;
  if (!connection) return false;
  std::optional<std::string> remembered = connection->CurrentFolder();
  if (!connection->SetCurrentFolder(folder)) return false;
  auto entries = connection->List();
  if (remembered && !remembered->empty()) connection->SetCurrentFolder(*remembered);
  // A failed listing is not an empty folder: the old rows stay rather than showing nothing.
  if (!entries) return false;

  currentFolder_ = NormaliseRemoteFolder(folder);
  sortOrder_.FolderListed();
  ReplaceRows(MakeRemoteListRows(*entries, currentFolder_));
  return true;
}

bool CFTPList::Up() {
  std::optional<std::string> parent = RemoteParentFolder(currentFolder_);
  if (currentFolder_.empty() || !parent) return false;
  return Browse(*parent);
}

void CFTPList::ReplaceRows(std::vector<RemoteListItem> rows) {
  setUpdatesEnabled(false);
  clear();
  header()->setSortIndicatorShown(false);
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (auto& row : rows) {
    QIcon icon = row.folder ? folderIcon_ : FileIcon(row.Name());
    items.append(new RemoteRow(std::move(row), icon));
  }
  addTopLevelItems(items);
  setUpdatesEnabled(true);
}

QIcon CFTPList::FileIcon(const std::string& name) {
  const QString iconName = QString::fromStdString(RemoteIconName(name));
  if (auto found = fileIcons_.constFind(iconName); found != fileIcons_.constEnd()) return *found;
  // MatchExtension decides by the name alone; the made-up name never exists on disk.
  const QMimeType type = QMimeDatabase().mimeTypeForFile(iconName, QMimeDatabase::MatchExtension);
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = plainFileIcon_;
  fileIcons_.insert(iconName, icon);
  return icon;
}

const RemoteListItem* CFTPList::ItemAt(int row) const {
  const RemoteRow* found = AsRow(topLevelItem(row));
  return found ? &found->item() : nullptr;
}

std::vector<RemoteListItem> CFTPList::SelectedItems() const {
  std::vector<RemoteListItem> selected;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (const RemoteRow* row = AsRow(item); row && item->isSelected())
      selected.push_back(row->item());
  }
  return selected;
}

QTreeWidgetItem* CFTPList::FirstSelectedRow() const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (topLevelItem(i)->isSelected()) return topLevelItem(i);
  return nullptr;
}

void CFTPList::SortByColumn(RemoteColumn column) {
  sortOrder_.Click(column);
  std::vector<RemoteListItem> rows;
  std::vector<std::string> selected;
  std::string current;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (const RemoteRow* row = AsRow(item)) {
      rows.push_back(row->item());
      if (item->isSelected()) selected.push_back(row->item().path);
      if (item == currentItem()) current = row->item().path;
    }
  }
  SortRemoteListItems(rows, column, sortOrder_.ascending());
  ReplaceRows(std::move(rows));
  // The selection follows its rows to their new places.
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    const std::string& path = AsRow(item)->item().path;
    if (path == current) setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    if (std::find(selected.begin(), selected.end(), path) != selected.end())
      item->setSelected(true);
  }
  header()->setSortIndicatorShown(true);
  header()->setSortIndicator(static_cast<int>(column),
                             sortOrder_.ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CFTPList::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* explore = nullptr;
  QAction* rename = nullptr;
  QAction* remove = nullptr;
  QAction* newFolder = nullptr;
  QAction* refresh = nullptr;
  if (const RemoteRow* first = AsRow(FirstSelectedRow())) {
    if (first->item().folder) {
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
  if (chosen == explore) Explore();
  else if (chosen == rename) StartRename();
  else if (chosen == remove) DeleteSelected();
  else if (chosen == newFolder) NewFolder();
  else if (chosen == refresh) Refresh();
}

void CFTPList::focusInEvent(QFocusEvent* event) {
  QTreeWidget::focusInEvent(event);
  emit focused();
}

bool CFTPList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // Only the name is a label that can be edited.
  if (index.column() != 0) return false;
  return QTreeWidget::edit(index, trigger, event);
}

void CFTPList::Explore() {
  if (const RemoteRow* row = AsRow(FirstSelectedRow()))
    emit rowOpened(QString::fromStdString(row->item().path), row->item().folder);
}

void CFTPList::StartRename() {
  if (QTreeWidgetItem* row = FirstSelectedRow()) {
    setFocus();
    setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
    editItem(row, 0);
  }
}

void CFTPList::LabelEdited(const std::string& path, const QString& text) {
  if (text.isEmpty()) return;
  QMetaObject::invokeMethod(
      this, [this, path, name = text.toStdString()] { FinishRename(path, name); },
      Qt::QueuedConnection);
}

void CFTPList::FinishRename(const std::string& path, const std::string& text) {
  std::shared_ptr<FtpConnection> connection = connection_;
  // A new name is a name: one with "/" (or "." and "..") would move the entry elsewhere.
  const bool renamed = connection && IsSafeRemoteName(text) &&
                       connection->Rename(path, JoinRemotePath(currentFolder_, text));
  if (!renamed) {
    ShowMessage("Cannot rename " + path);
    return;
  }
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (item->type() == RemoteRow::kType && AsRow(item)->item().path == path) {
      static_cast<RemoteRow*>(item)->SetPath(JoinRemotePath(currentFolder_, text));
      viewport()->update();
      break;
    }
  }
  emit remoteRefresh();
}

void CFTPList::DeleteSelected() {
  // The items are copied first: a message box's event loop may let the host clear the rows.
  const std::vector<RemoteListItem> selected = SelectedItems();
  if (selected.empty()) return;
  if (messages_.Show("Are you sure you want to delete the selected items?",
                     MessageButtons::YesNo) != MessageAnswer::Yes)
    return;
  std::shared_ptr<FtpConnection> connection = connection_;
  NullActivityLog noLog;
  ActivityLog& log = log_ ? *log_ : noLog;
  {
    WaitCursor wait;
    for (const RemoteListItem& item : selected) {
      if (item.folder) {
        if (!connection || !DeleteRemoteFolder(*connection, item.path, log))
          ShowMessage("Cannot remove folder: " + item.path);
      } else if (connection && connection->DeleteFile(item.path)) {
        log.AddLine("Delete: " + item.path, colour::kNeutral);
      } else {
        ShowMessage("Cannot remove file: " + item.path);
      }
    }
  }
  emit remoteRefresh();
}

void CFTPList::NewFolder() {
  static const std::string kName = "NewFolder";
  if (connection_) {
    // An existing "NewFolder" is reused: the failure of making it again is not checked.
    connection_->CreateFolder(JoinRemotePath(currentFolder_, kName));
    Browse(currentFolder_);
  }
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    const std::string& path = AsRow(item)->item().path;
    if (path.size() > kName.size() && path.ends_with("/" + kName)) {
      clearSelection();
      item->setSelected(true);
      scrollToItem(item);
      setFocus();
      setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
      editItem(item, 0);
      return;
    }
  }
  ShowMessage("Cannot create new folder.");
}

void CFTPList::Refresh() { Browse(currentFolder_); }

void CFTPList::ShowMessage(const std::string& text) {
  // A message box is answered with the normal cursor even inside a wait-cursor scope.
  const bool waiting = QApplication::overrideCursor() != nullptr;
  if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
  messages_.Show(text);
  if (waiting) QApplication::restoreOverrideCursor();
}

}  // namespace quillon

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Messages.h"
#include "common/ui/FileListView.h"
#include "localfs/DirListing.h"
#include "localfs/LocalLauncher.h"
#include "localfs/LocalMenu.h"
#include "platform/FreedesktopTrash.h"

class QMenu;

namespace quillon {

class DirListModel;

// The local file list: the items of one local folder in the columns "Name", "Size" and
// "Date Modified", multiple selection, sorting by a click on a column header, names edited in
// place, and a context menu with Open, Explore, Delete (to the trash, after a question), Rename,
// New Folder and Refresh; Delete and F5 do the same from the keyboard. Hidden ("." names) items
// are not shown. A link to a folder is shown and opened as a folder but never followed by a
// delete.
//
// The list does not navigate by itself on a double click or Enter: it reports the item and the
// owner decides (and keeps its history); BackSpace and Alt+Up are reported as upRequested.
// Messages go through the given presenter. UI thread only.
class CDirList : public FileListView {
  Q_OBJECT

 public:
  explicit CDirList(MessagePresenter& messages, QWidget* parent = nullptr);
  ~CDirList() override;

  // Opens files through `launcher` instead of the desktop services (tests); not owned.
  void SetLauncher(LocalLauncher& launcher) { launcher_ = &launcher; }

  // Shows the folder at absolute path `path` (kept without ".", ".." or a trailing "/"; links
  // are not resolved), sorted by name ascending. A path that is not absolute, or a folder that
  // cannot be read, changes nothing and gives false; ErrorText() then says why.
  bool ShowFolder(const std::string& path);
  // Shows the parent of the shown folder; false at "/" or when the parent cannot be read
  // (nothing changes).
  bool UpOneLevel();
  // Shows the shown folder again. When it can no longer be read, the list is empty and says so
  // (the folder is still the shown one; Up goes to its parent) and the result is false.
  bool Refresh();
  // Why the last ShowFolder, UpOneLevel or Refresh failed.
  const std::string& ErrorText() const { return error_; }
  // The shown folder's path; empty before any folder was shown.
  const std::string& CurrentFolder() const { return folder_; }

  // Every shown item, and the selected ones, in list order.
  const std::vector<LocalEntry>& Entries() const;
  std::vector<LocalEntry> SelectedEntries() const;
  bool HasSelection() const;
  // Selects only the item named `name`, makes it current and scrolls it into view.
  bool SelectItem(const std::string& name);

  // Sorts as a click on that column's header does (see FileSortOrder::Click).
  void SortByColumn(FileColumn column);
  const FileSortOrder& SortOrder() const { return sort_; }

  // Opens `entry` of the shown folder with the desktop's program (a folder in the file
  // manager); shows "Cannot open \"NAME\"" when the desktop refuses.
  bool OpenItem(const LocalEntry& entry);

  // Carries out a context menu choice on the current selection (see LocalMenu.h). Delete asks
  // first.
  void RunCommand(LocalCommand command);

  // Starts editing the name of the item named `name`.
  bool EditName(const std::string& name);
  // A name is being edited in place.
  bool IsEditingName() const { return state() == QAbstractItemView::EditingState; }

 signals:
  // An item was double-clicked, chosen with Enter, or chosen with "Explore".
  void itemDoubleClicked(const quillon::LocalEntry& entry);
  // Items of the shown folder were renamed (a folder), made (a new folder) or moved to the
  // trash: folder paths kept elsewhere (histories) may be stale. The folder is shown again.
  void localRefresh();
  // A folder was shown (also again, and also when it could no longer be read).
  void folderShown(const std::string& folder);
  // The selection changed.
  void selectedItemsChanged();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void FinishRename(const QByteArray& oldName, const QString& newName);
  void OpenSelection();
  void Explore();
  void DeleteSelection();
  void StartRename();
  void MakeNewFolder();
  void ApplySortIndicator();
  void ShowEntries(std::vector<LocalEntry> entries);

  MessagePresenter& messages_;
  DirListModel* model_;
  std::unique_ptr<LocalLauncher> desktopLauncher_;
  LocalLauncher* launcher_;
  SystemClock clock_;
  FreedesktopTrash trash_;
  std::string folder_;
  std::string error_;
  FileSortOrder sort_;
};

}  // namespace quillon

Q_DECLARE_METATYPE(quillon::LocalEntry)

#pragma once

#include <QComboBox>
#include <string>
#include <vector>

#include "profiles/ConnectionProfile.h"
#include "remote/RemoteComboItems.h"

namespace quillon {

class CFTPList;

// The drop-down of remote folders above a CFTPList: the profile's remote root, its
// sub-folders, and the chain of folders down to the one shown, indented by level, with the
// closed-folder icon (the open one on the selected item). It takes the list's icons; the root's
// sub-folders come from a listing (RemoteSession::List). GUI thread only.
//
// folderChosen(path) is emitted only when the user picks an item, never for the calls below.
class CFTPComboEx : public QComboBox {
  Q_OBJECT

 public:
  explicit CFTPComboEx(CFTPList& list, QWidget* parent = nullptr);

  // Removes all items, inserts the remote root ("RMTROOT") and each of its `subfolders`
  // (names, in listing order); selects the root.
  void Rebuild(const std::string& remoteRoot, const std::vector<std::string>& subfolders);

  // Selects `folder`, inserting the missing levels below their parents first ("/" and an empty
  // text insert nothing).
  void SelectFolder(const std::string& folder);

  // The selected item's folder, empty when there is none.
  std::string SelectedFolder() const;

  // Removes all items and shows "Not connected".
  void ShowNotConnected();

  const RemoteComboItems& Items() const { return items_; }
  // The indent of the item at `index` (0 for the root).
  int IndentAt(int index) const;

 signals:
  void folderChosen(const QString& folder);

 private:
  void Fill();
  void MarkSelected(int index);

  CFTPList& list_;
  RemoteComboItems items_;
  int marked_ = -1;  // the item that shows the open-folder icon
};

}  // namespace quillon

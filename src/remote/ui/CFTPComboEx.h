#pragma once

#include <QComboBox>
#include <string>

#include "profiles/ConnectionProfile.h"
#include "remote/RemoteComboItems.h"

namespace quillon {

class CFTPList;

// The drop-down of remote folders above a CFTPList: the profile's remote root, its
// sub-folders, and the chain of folders down to the one shown, indented by level, with the
// closed-folder icon (the open one on the selected item). It lists folders on the list's
// connection. GUI thread only.
//
// folderChosen(path) is emitted only when the user picks an item, never for the calls below.
class CFTPComboEx : public QComboBox {
  Q_OBJECT

 public:
  explicit CFTPComboEx(CFTPList& list, QWidget* parent = nullptr);

  // Removes all items, inserts the profile's remote root ("RMTROOT") and, listed on the list's
  // connection, each of its sub-folders; selects the root.
  void Rebuild(const ConnectionProfile& profile) { Rebuild(profile.remoteRoot); }
  void Rebuild(const std::string& remoteRoot);

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
};

}  // namespace quillon

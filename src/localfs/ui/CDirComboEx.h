#pragma once

#include <QComboBox>
#include <string>

#include "localfs/FolderChain.h"

namespace quillon {

// The local folder combo: the top folder "/", the folders directly under it, and the chain
// down to the shown folder, each indented one step deeper than its parent in the drop-down.
// Choosing an item reports its folder; the owner shows it and then calls SelectFolder.
// currentIndexChanged is sent once for each reset or selection, with the final index (the
// Up button is enabled from index 1 on). UI thread only.
class CDirComboEx : public QComboBox {
  Q_OBJECT

 public:
  // Starts reset to the top.
  explicit CDirComboEx(QWidget* parent = nullptr);

  // Only "/" and the folders directly under it (hidden ones left out), "/" selected.
  void ResetToTop();
  // Resets to the top and adds the chain down to the folder at absolute path `path` (see
  // FolderChain), selecting it. A path that is not absolute leaves the combo unchanged and
  // gives false.
  bool SelectFolder(const std::string& path);

  // The folder of the selected item ("" when there is none), and of any item.
  std::string CurrentFolder() const { return FolderAt(currentIndex()); }
  std::string FolderAt(int index) const;
  int IndentAt(int index) const;

 signals:
  // The user chose the item of `folder` (not sent when the program selects one).
  void folderChosen(const std::string& folder);

 private:
  void Fill(const FolderComboContent& content);
};

}  // namespace quillon

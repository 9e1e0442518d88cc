#pragma once

#include <string>

#include "common/Messages.h"
#include "common/ui/BrowserPanel.h"

namespace quillon {

class CDirComboEx;
class CDirList;

// The local browser: a CDirComboEx and a CDirList under the Back/Forward/Up toolbar, the twin of
// the remote one. Choosing a folder in the combo, opening one in the list (double click, Enter,
// Explore) or Up shows it as a visit; opening a file hands it to the desktop. A folder that
// cannot be read is not entered: the panel stays where it was and says why. GUI thread only.
//
// Controls by object name: those of BrowserPanel, "localCombo", "localList".
class LocalBrowserPanel : public BrowserPanel {
  Q_OBJECT

 public:
  LocalBrowserPanel(MessagePresenter& messages, QWidget* parent = nullptr);

  // Shows `path` as a visit. False when it cannot be shown (nothing changes; no message).
  bool GoTo(const std::string& path);
  // GoTo, saying why when the folder cannot be shown.
  bool Open(const std::string& path);
  // Shows the folder again (also when it can no longer be read: the list says so), with the
  // combo following.
  void Refresh();

  // The folder shown; empty before the first.
  const std::string& CurrentFolder() const;

  CDirList& List() { return *list_; }
  CDirComboEx& Combo() { return *combo_; }

 protected:
  bool CanNavigate() const override { return true; }
  bool CanGoUp() const override;
  void ShowFromHistory(const std::string& folder) override;
  void ShowParent() override;

 private:
  void FollowList();

  MessagePresenter& messages_;
  CDirComboEx* combo_;
  CDirList* list_;
};

}  // namespace quillon

#pragma once

#include <QDialog>
#include <chrono>
#include <string>

#include "common/Messages.h"
#include "profiles/ConnectionProfile.h"
#include "remote/FtpConnection.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quillon {

class RemoteBrowserPanel;

// "Select remote folder": a modal dialog in which the user browses a server with a
// RemoteBrowserPanel (its own connection) and picks one folder.
//
// The caller sets the prompt, the profile and the folder to open first, then calls exec(). The
// dialog opens at once and connects in the background ("Connecting..."; Cancel stops it):
// - Accepted: ChosenFolder() is the folder the panel showed when "OK" was clicked.
// - Rejected: ChosenFolder() is unchanged (Cancel, or no connection: then the dialog closes and
//   the warning "Cannot connect to Harbell.\t" is shown unless the warning level is 3 or more).
// The connection is closed when the dialog ends. GUI thread only.
//
// Controls by object name: "promptLabel", "wizardBackButton" ("<< Back", hidden),
// "cancelButton", "okButton", and the panel "browserPanel" with its own controls.
class RemoteFolderPicker : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kPickFolder = 3;

  RemoteFolderPicker(FtpConnector& connector, MessagePresenter& messages,
                     QWidget* parent = nullptr);
  ~RemoteFolderPicker() override;

  void SetMode(int mode) { mode_ = mode; }
  int Mode() const { return mode_; }
  void SetPrompt(const std::string& prompt) { prompt_ = prompt; }
  void SetProfile(const ConnectionProfile& profile) { profile_ = profile; }
  // The folder to open first; after OK, the chosen folder.
  void SetChosenFolder(const std::string& folder) { chosenFolder_ = folder; }
  const std::string& ChosenFolder() const { return chosenFolder_; }
  // "SuppressWarningLevel": from 3 on the connection warning is not shown.
  void SetWarningLevel(int level) { warningLevel_ = level; }
  // The panel's keep-alive period (15 s unless set).
  void SetKeepAliveInterval(std::chrono::milliseconds interval) { keepAlive_ = interval; }

  // The embedded panel while the dialog runs, else null.
  RemoteBrowserPanel* Panel() const { return panel_; }

  // Runs the dialog while it connects and shows the start folder (see the class comment).
  int exec() override;
  void done(int result) override;

 private:
  void Connected(bool ok);

  FtpConnector& connector_;
  MessagePresenter& messages_;
  int mode_ = kPickFolder;
  std::string chosenFolder_;
  std::string prompt_;
  ConnectionProfile profile_;
  int warningLevel_ = 0;
  std::chrono::milliseconds keepAlive_;
  RemoteBrowserPanel* panel_ = nullptr;
  bool connectFailed_ = false;
  QVBoxLayout* layout_;
  QLabel* promptLabel_;
  QPushButton* wizardBack_;
  QPushButton* cancel_;
  QPushButton* ok_;
};

}  // namespace quillon

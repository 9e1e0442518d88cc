#pragma once

#include <QDialog>
#include <array>
#include <optional>
#include <string>

#include "common/Messages.h"
#include "profiles/SessionOptions.h"
#include "profiles/ui/LocalPickers.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

// What a caller hands the session options dialog.
struct SessionOptionsRequest {
  SessionOptionsMode mode = SessionOptionsMode::Profile;
  SessionOptions options;  // the fields' presets (SessionOptionsOfProfile / SessionOptionsOfTask)
  // The connected profile, for "Connect to this site at startup:", which writes "AutoConnect"
  // of `profileFile` ("Quillon.ini") when clicked. Unused in task mode, where the box is
  // disabled.
  int32_t profileSlot = -1;
  bool savePassword = false;
  std::string profileFile;
};

// "Session Options...": the transfer options of a profile (profile mode: binary mode, threads,
// backups, after-transfer actions, start-up connection) or of a task (task mode: backups,
// after-transfer actions and the four local commands). It writes nothing itself except
// "AutoConnect"; the caller stores the result (StoreSessionOptions, ApplySessionOptionsToTask).
// OK with "Move local files to folder: " and no usable folder says "Please choose a backup
// folder.", opens the folder picker and stays open. Message boxes go through `messages`; the
// pickers are QtLocalPickers() unless SetPickers replaces them. GUI thread only.
//
// Controls by object name: "binaryMode", "startupConnection", "threadsLabel", "threads",
// "backupRemote", "afterUploadKeep", "afterUploadDelete", "afterUploadMove", "moveFolder",
// "moveFolderBrowse", "backupLocal", "afterDownloadKeep", "afterDownloadDelete",
// "safetyQueue", "safetyQueueHelp", "encryptHtml", "okButton", "cancelButton", and for each
// command C of "beforeUpload", "afterUpload", "beforeDownload", "afterDownload": "C" (its check
// box), "CText" (its edit) and "CBrowse" (its "..." button).
class SessionOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  SessionOptionsDialog(const SessionOptionsRequest& request, MessagePresenter& messages,
                       QWidget* parent = nullptr);

  // Runs the dialog modally: the options on OK, nothing on Cancel.
  static std::optional<SessionOptions> Ask(const SessionOptionsRequest& request,
                                           MessagePresenter& messages, QWidget* parent = nullptr);

  void SetPickers(LocalPickers pickers) { pickers_ = std::move(pickers); }
  // Where "IMPORTANT!..." remembers that it was shown (CommandWarning::ForThisRun() unless set).
  void SetCommandWarning(CommandWarning& warning) { commandWarning_ = &warning; }

  // The fields as the controls hold them; after OK, the result. In task mode the command of an
  // unticked box comes back empty.
  SessionOptions Options() const;

 private:
  struct Command {
    QCheckBox* box;
    QLineEdit* text;
    QPushButton* browse;
  };
  enum { kBeforeUpload, kAfterUpload, kBeforeDownload, kAfterDownload };

  Command MakeCommand(const char* name, const std::string& text);
  void OnCommandClicked(const Command& command, bool ticked);
  void OnCommandBrowse(const Command& command);
  void ChooseMoveFolder();
  void OnStartupClicked(bool ticked);
  void OnOk();

  SessionOptionsRequest request_;
  MessagePresenter& messages_;
  LocalPickers pickers_;
  CommandWarning* commandWarning_;
  QCheckBox* binary_;
  QCheckBox* startup_;
  QComboBox* threads_;
  QCheckBox* backupRemote_;
  QCheckBox* backupLocal_;
  QButtonGroup* afterUpload_;
  QButtonGroup* afterDownload_;
  QLineEdit* moveFolder_;
  std::array<Command, 4> commands_;
};

}  // namespace quillon

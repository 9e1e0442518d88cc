#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Messages.h"
#include "profiles/ConnectionProfile.h"

namespace quillon {

// The transfer options of one profile or task as the session options dialog edits them
// (profiles/ui/SessionOptionsDialog), how they map onto a profile's keys and a task's fields,
// and the dialog's rules that need no window.

enum class SessionOptionsMode {
  Profile = 0,  // the main window's connected profile; the dialog keeps "AutoConnect"
  Task = 1,     // the task manager's task; the four commands are edited, binary mode and threads
                // are not
};

inline constexpr int32_t kThreadChoices = 7;  // the list "1" .. "7"

// The after-upload choices.
inline constexpr int32_t kKeepUploaded = 0;    // "Do nothing."
inline constexpr int32_t kDeleteUploaded = 1;  // "Delete local files."
inline constexpr int32_t kMoveUploaded = 2;    // "Move local files to folder: "

// The dialog's fields: what a caller presets and reads back.
struct SessionOptions {
  bool binaryMode = true;
  int32_t threadChoice = 3;  // list index 0..6; the thread count is threadChoice + 1
  bool backupRemoteFile = false;
  bool backupLocalFile = false;
  int32_t afterUpload = kKeepUploaded;  // kKeepUploaded, kDeleteUploaded or kMoveUploaded
  std::string moveFolder;               // with kMoveUploaded: where uploaded files go
  int32_t afterDownload = 0;            // 0 "Do nothing.", 1 "Delete remote files."
  // Task mode: the commands run before and after each direction; empty for none.
  std::string runBeforeUpload;
  std::string runAfterUpload;
  std::string runBeforeDownload;
  std::string runAfterDownload;

  bool operator==(const SessionOptions&) const = default;
};

namespace sessiontext {
inline constexpr std::string_view kTitle = "Session Options...";
inline constexpr std::string_view kChooseBackupFolder = "Please choose a backup folder.";
inline constexpr std::string_view kSavePasswordNeeded =
    "'Save Password' must be checked on the login screen to use this option.    ";
inline constexpr std::string_view kCommandWarning =
    "IMPORTANT!\n\nPlease make sure the command or program you    \nset to run will execute and "
    "return properly!";
inline constexpr std::string_view kSelectFolder = "Please select a folder:";
}  // namespace sessiontext

// The list index for a thread count, kept inside the list (a hand-edited "MaxThread" of 0 or
// 12 selects "1" or "7").
int32_t ThreadChoiceOf(int32_t threadCount);

// The after-upload choice of a profile or task: keep when delete-after-upload is off, else
// move when a backup folder is set, else delete.
int32_t AfterUploadChoice(bool deleteAfterUpload, std::string_view backupDir);

// The options of the connected profile: its record plus the "BackupDir" of its section in
// `profileFile`.
SessionOptions SessionOptionsOfProfile(const ConnectionProfile& profile,
                                       const std::string& profileFile);

// Takes the options into the profile (thread count, binary mode, delete after upload for
// choices 1 and 2, delete after download, both backups) and writes its section: "BackupDir"
// (the folder for choice 2, else empty text), "BinaryMode", "DeleteAfterDownload",
// "DeleteAfterUpload", "BackupLocalFile", "BackupRemoteFile" as "1"/"0" and "MaxThread" as a
// number. A profile outside slots 0..19 is taken but nothing is written. False when a key
// cannot be written.
[[nodiscard]] bool StoreSessionOptions(const SessionOptions& options, ConnectionProfile& profile,
                                       const std::string& profileFile);

// The options of a task record (TaskDefinition or any record with its field names): both
// backups, delete after download, the after-upload choice with backupDir, and, for a record
// that has been saved (not isNew), the four commands. Binary mode and threads keep their
// defaults: a task takes them from its profile keys.
template <class Task>
SessionOptions SessionOptionsOfTask(const Task& task) {
  SessionOptions options;
  options.backupLocalFile = task.backupLocalFile;
  options.backupRemoteFile = task.backupRemoteFile;
  options.afterUpload = AfterUploadChoice(task.deleteAfterUpload, task.backupDir);
  options.moveFolder = task.backupDir;
  options.afterDownload = task.deleteAfterDownload ? 1 : 0;
  if (!task.isNew) {
    options.runBeforeUpload = task.runBeforeUpload;
    options.runAfterUpload = task.runAfterUpload;
    options.runBeforeDownload = task.runBeforeDownload;
    options.runAfterDownload = task.runAfterDownload;
  }
  return options;
}

// Copies the dialog's result back into a task record: deleteAfterUpload := choice > 0,
// backupDir := the folder (empty unless the choice is 2), the backups, delete after download
// and the four commands.
template <class Task>
void ApplySessionOptionsToTask(const SessionOptions& options, Task& task) {
  task.backupLocalFile = options.backupLocalFile;
  task.backupRemoteFile = options.backupRemoteFile;
  task.deleteAfterUpload = options.afterUpload > kKeepUploaded;
  task.backupDir = options.moveFolder;
  task.deleteAfterDownload = options.afterDownload == 1;
  task.runBeforeUpload = options.runBeforeUpload;
  task.runAfterUpload = options.runAfterUpload;
  task.runBeforeDownload = options.runBeforeDownload;
  task.runAfterDownload = options.runAfterDownload;
}

// The OK rule for the move folder. For choice 2 the folder is trimmed of blanks (a stored value
// loses them anyway, and a folder of blanks would read back as "delete") and must be an
// absolute path; otherwise NeedFolder: "Please choose a backup folder." and the folder picker.
// For choices 0 and 1 the folder becomes empty.
enum class MoveFolderCheck { Accept, NeedFolder };
MoveFolderCheck FinishMoveFolder(SessionOptions& options);

// The command text for a program chosen with a command's "..." button: the path itself, or,
// when it holds a character the shell would read (a blank, a quote, "$", ...), the path in
// single quotes, so that `/bin/sh -c` runs exactly that program.
std::string CommandForProgram(std::string_view path);

// "Connect to this site at startup:" is ticked when "AutoConnect" of section "Quillon" (read
// with the default -10) is the profile's slot.
inline constexpr int32_t kAutoConnectUnsetInDialog = -10;
bool IsStartupConnection(int32_t slot, const std::string& profileFile);

// The start-up box acts when clicked, not on OK. Ticking: refused with kSavePasswordNeeded
// when the profile does not save its password (nothing written); otherwise "AutoConnect" :=
// the slot. Unticking: "AutoConnect" := empty text. Returns the tick the box must show: the
// click's when it was carried out, the previous one when it was refused or could not be
// written (a slot outside 0..19 writes nothing).
[[nodiscard]] bool ClickStartupConnection(bool ticked, int32_t slot, bool savePassword,
                                          const std::string& profileFile,
                                          MessagePresenter& messages);

// kCommandWarning, shown the first time a command box is ticked in a program run (by any of the
// four boxes, in either mode). GUI thread only.
class CommandWarning {
 public:
  void OnTicked(MessagePresenter& messages);
  bool Shown() const { return shown_; }
  // The program's one.
  static CommandWarning& ForThisRun();

 private:
  bool shown_ = false;
};

}  // namespace quillon

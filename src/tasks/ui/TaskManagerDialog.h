#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/Clock.h"
#include "common/Messages.h"
#include "platform/LauncherEntry.h"
#include "profiles/ui/LocalPickers.h"
#include "remote/FtpConnection.h"
#include "tasks/TaskDefinition.h"
#include "tasks/TaskSchedulerLink.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

namespace quillon {

class ChildProcess;

// The widgets of one direction (upload or download) in step 2 of the task manager.
struct TaskDirectionWidgets {
  QCheckBox* enabled = nullptr;
  QButtonGroup* age = nullptr;
  QLineEdit* hours = nullptr;
  QCheckBox* crypt = nullptr;
  QLineEdit* from = nullptr;
  QPushButton* fromBrowse = nullptr;
  QLineEdit* to = nullptr;
  QPushButton* toBrowse = nullptr;
};

// What the task manager works with. The defaults are the user's real scheduler, launcher
// folders, folder picker and clock; tests replace them.
struct TaskManagerSetup {
  std::string programFolder;  // with its trailing "/": "Quillon.ini", "QvrTask.ini", task logs
  std::string program;        // the executable that "Run It Now", schedules and shortcuts start
  FtpConnector* connector = nullptr;  // the remote folder pickers' connections
  int32_t warningLevel = 0;           // "SuppressWarningLevel", for the remote folder pickers
  SchedulerConnector connectScheduler = ConnectDefaultScheduler;
  std::function<LauncherFolders()> launcherFolders;  // unset: the user's (UserLauncherFolders)
  std::optional<LocalPickers> pickers;               // unset: QtLocalPickers()
  const Clock* clock = nullptr;                      // unset: the system clock
};

// "Harbell Task Manager": creates, edits, deletes, schedules, runs and makes shortcuts for the
// tasks of "QvrTask.ini" in the program folder, one task record at a time (the selected one, or
// a new one started from slot 0 of "Quillon.ini"). Unsaved edits are dropped without a question
// when another task is selected. A task's scheduled entry follows it: renaming moves the entry to
// the new name, deleting removes it (TaskSchedules). "Save Changes", "Run It Now", "Schedule" and
// "Create Shortcut" save first and stop when the save fails (its message has been shown). "Run It
// Now" starts `program` with "<task store> SESSIONnn -Notify -ShowWin" and returns at once; the
// dialog stays disabled, refusing to close, until the program ends (IsRunningTask()). Every
// message goes through `messages`. GUI thread only.
//
// Controls by object name: "taskList", "taskName", "newTask", "deleteTask", "settings",
// "taskLog", "upload", "uploadAllFiles", "uploadWithin", "uploadHours", "encryptFiles",
// "uploadFrom", "uploadFromBrowse", "uploadTo", "uploadToBrowse", "download",
// "downloadAllFiles", "downloadWithin", "downloadHours", "decryptFiles", "downloadFrom",
// "downloadFromBrowse", "downloadTo", "downloadToBrowse", "connectionSetting",
// "emailNotification", "moreOptions", "saveChanges", "runNow", "schedule", "createShortcut",
// "close", "scheduleText", "nextRunText", "schedulerProblem".
class TaskManagerDialog : public QDialog {
  Q_OBJECT

 public:
  TaskManagerDialog(TaskManagerSetup setup, MessagePresenter& messages, QWidget* parent = nullptr);
  ~TaskManagerDialog() override;

  // Connects the scheduler, fills the task list (the last task selected) and loads the selected
  // task, or an empty record when there is none. Without a scheduler that can save, tasks can
  // still be made, edited, run and given shortcuts: only "Schedule" is disabled, and the reason
  // stands in the dialog ("schedulerProblem") and in the button's tooltip. True.
  bool Open();

  // Open(), then runs the dialog modally; Rejected at once when Open() fails.
  int exec() override;

  // "Close", Escape and the window's close button: a new task that was never saved is
  // discarded only when the user agrees.
  void reject() override;

  // "Run It Now" started the program and it has not ended yet.
  bool IsRunningTask() const { return run_ != nullptr; }

  // The record being edited (what the controls held when it was last taken into it).
  const TaskDefinition& Task() const { return task_; }
  std::string TaskStorePath() const;
  std::string ProfileFilePath() const;

 private:
  void BuildControls();
  void FillList();
  void LoadSelected();
  void LoadSlot(int32_t slot);
  void Refresh();
  void UpdateHoursEdits();
  bool TakeFields();
  std::optional<int32_t> Save();
  void ShowScheduleLabels(const ScheduleLabels& labels);
  bool CheckTask();

  void OnListRowChanged();
  void OnListItemClicked(QListWidgetItem* item);
  void OnNewTask();
  void OnDeleteTask();
  void OnSettings();
  void OnTaskLog();
  void OnEncryptClicked(bool checked);
  void OnDecryptClicked(bool checked);
  void OnLocalBrowse(QLineEdit* edit, std::string TaskDefinition::*field);
  void OnRemoteBrowse(QLineEdit* edit, std::string TaskDefinition::*field, std::string_view prompt);
  void OnEmailNotification();
  void OnMoreOptions();
  void OnSaveChanges();
  void OnRunNow();
  void OnRunWatch();
  void OnSchedule();
  void OnCreateShortcut();

  TaskManagerSetup setup_;
  MessagePresenter& messages_;
  LocalPickers pickers_;
  SystemClock systemClock_;
  const Clock& clock_;
  std::unique_ptr<ScheduleEditor> editor_;
  TaskSchedulerLink link_;
  TaskDefinition task_;

  QListWidget* list_;
  QLineEdit* name_;
  TaskDirectionWidgets upload_;    // crypt: "Encrypt Files"
  TaskDirectionWidgets download_;  // crypt: "Decrypt Files"
  QPushButton* connectionSetting_;
  QLabel* scheduleText_;
  QLabel* nextRunText_;
  QLabel* schedulerProblem_;
  QPushButton* schedule_;
  std::unique_ptr<ChildProcess> run_;  // the program "Run It Now" started, until it ends
  QTimer* runWatch_ = nullptr;         // looks for its end
};

}  // namespace quillon

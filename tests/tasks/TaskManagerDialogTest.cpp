// The task manager dialog driven through its real widgets offscreen, against a temporary program
// folder, an in-memory scheduler, temporary launcher folders and a stand-in program that records
// its arguments. Runs with TZ=UTC.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <functional>
#include <map>

#include "common/ui/InformationDialog.h"
#include "ftp/CurlFtp.h"
#include "platform/ScheduleTrigger.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "tasks/TaskManagerRules.h"
#include "tasks/TaskSettingsText.h"
#include "tasks/TaskStore.h"
#include "tasks/ui/TaskManagerDialog.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// A scheduler that keeps its items in memory.
class MemoryScheduler : public SchedulerService {
 public:
  std::string Kind() const override { return "memory"; }
  ItemLookup Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) override {
    auto it = items.find(name);
    if (it == items.end()) return ItemLookup::Missing;
    if (trigger) *trigger = it->second.trigger;
    return ItemLookup::Found;
  }
  SaveStage Save(const std::string& name, const WorkItem& item) override {
    items[name] = item;
    return SaveStage::Done;
  }
  bool Delete(const std::string& name) override { return items.erase(name) == 1; }
  std::optional<TimePoint> NextRun(const std::string&, const ScheduleTrigger& trigger,
                                   TimePoint now) override {
    return NextTriggerRun(trigger, now);
  }
  // An item without arguments stands for one saved by an older Quillon, without its run.
  std::optional<WorkItem> ReadItem(const std::string& name) override {
    auto it = items.find(name);
    if (it == items.end() || it->second.arguments.empty()) return std::nullopt;
    return it->second;
  }
  std::string Unavailable() const override { return unavailable; }
  std::map<std::string, WorkItem> items;
  std::string unavailable;
};

ScheduleTrigger DailyAtNine() {
  ScheduleTrigger trigger;
  trigger.beginYear = 2024;
  trigger.beginMonth = 5;
  trigger.beginDay = 15;
  trigger.startHour = 9;
  trigger.type = TriggerType::Daily;
  trigger.daysInterval = 1;
  return trigger;
}

void Retype(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

class TaskManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The current connection, which new tasks copy.
    ASSERT_TRUE(WriteText(0, "Profile", "Office server", profiles));
    ASSERT_TRUE(WriteText(0, "Address", "ftp.example.com", profiles));
    ASSERT_TRUE(WriteText(0, "UserName", "ops", profiles));
    ASSERT_TRUE(WriteProtected(0, "Password", "s3cret", profiles));
    for (const char* sub : {"Desktop", "data/applications"})
      fs::create_directories(dir.path() / sub);
    launchers.desktop = dir.file("Desktop");
    launchers.startMenu = launchers.programs = dir.file("data/applications");
    launchers.home = dir.file("home");
    test::WriteFile(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                 argsFile + "'\n");
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
  }

  // A valid task that uploads and downloads, saved in `slot` of the store.
  TaskDefinition SaveFullTask(int32_t slot, const std::string& name) {
    TaskDefinition task;
    task.name = name;
    task.slot = slot;
    task.upload = task.download = true;
    task.uploadAgeMode = 1;
    task.uploadAgeHours = 1.5f;
    task.uploadFrom = "/data/out";
    task.uploadTo = "/incoming";
    task.downloadFrom = "/outgoing";
    task.downloadTo = "/data/in";
    task.encryptFiles = task.decryptFiles = true;
    task.encryptionKeyName = "nightly";
    task.encryptionKey = "enc-key";
    task.decryptionKey = "dec-key";
    EXPECT_TRUE(SaveTask(task, store));
    return task;
  }

  void Open(bool schedulerAnswers = true, std::string unavailable = {}) {
    TaskManagerSetup setup;
    setup.programFolder = folder;
    setup.program = program;
    setup.connector = &connector;
    setup.connectScheduler = [this, schedulerAnswers,
                              unavailable]() -> std::unique_ptr<SchedulerService> {
      if (!schedulerAnswers) return nullptr;
      auto made = std::make_unique<MemoryScheduler>();
      made->items = items;
      made->unavailable = unavailable;
      scheduler = made.get();
      return made;
    };
    setup.launcherFolders = [this] { return launchers; };
    setup.pickers = LocalPickers{
        [this](QWidget*, const QString& prompt, const QString&) -> std::optional<std::string> {
          prompts.push_back(prompt.toStdString());
          if (folderAnswers.empty()) return std::nullopt;
          std::string answer = folderAnswers.front();
          folderAnswers.erase(folderAnswers.begin());
          return answer;
        },
        [](QWidget*, const QString&) -> std::optional<std::string> { return std::nullopt; },
        {}};
    setup.clock = &clock;
    dialog = std::make_unique<TaskManagerDialog>(std::move(setup), messages);
    if (!dialog->Open()) return;
    dialog->show();
  }

  template <class T>
  T* Get(const char* name) {
    return test::Find<T>(dialog.get(), name);
  }
  void Press(const char* name) { test::Click(Get<QAbstractButton>(name)); }
  // The event loop until `done`, as the application runs it.
  bool WaitWithEvents(const std::function<bool()>& done) {
    return test::WaitFor(
        [&] {
          QCoreApplication::processEvents();
          return done();
        },
        std::chrono::seconds(20));
  }
  // "Run It Now", then the event loop until the program it started has ended.
  void RunNow() {
    Press("runNow");
    EXPECT_TRUE(WaitWithEvents([&] { return !dialog->IsRunningTask(); }));
  }
  QLineEdit* Edit(const char* name) { return Get<QLineEdit>(name); }
  std::string Text(const char* name) {
    if (auto* edit = dialog->findChild<QLineEdit*>(name)) return edit->text().toStdString();
    return Get<QLabel>(name)->text().toStdString();
  }
  bool Checked(const char* name) { return Get<QAbstractButton>(name)->isChecked(); }
  bool Enabled(const char* name) { return Get<QWidget>(name)->isEnabled(); }

  Strings ListTexts() {
    Strings texts;
    auto* list = Get<QListWidget>("taskList");
    for (int row = 0; row < list->count(); ++row)
      texts.push_back(list->item(row)->text().toStdString());
    return texts;
  }
  int CurrentRow() { return Get<QListWidget>("taskList")->currentRow(); }
  void SelectRow(int row) {
    auto* list = Get<QListWidget>("taskList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }

  // Answers the next key dialog with `key` (typed twice) and, for encryption, `keyName`.
  static void AnswerKeyDialog(const QString& key, const QString& keyName = {}) {
    test::WhenModalOpens([key, keyName](QWidget* modal) {
      if (!keyName.isEmpty()) Retype(test::Find<QLineEdit>(modal, "keyName"), keyName);
      QTest::keyClicks(test::Find<QLineEdit>(modal, "key"), key);
      QTest::keyClicks(test::Find<QLineEdit>(modal, "confirmation"), key);
      test::Find<QPushButton>(modal, "okButton")->click();
    });
  }
  // Presses `button` and returns the text of the "Information" window it opens.
  std::string InformationOf(const char* button) {
    std::string shown = "(no window)";
    test::WhenModalOpens([&shown](QWidget* modal) {
      if (auto* info = qobject_cast<InformationDialog*>(modal)) shown = info->Text().toStdString();
      test::Find<QPushButton>(modal, "close")->click();
    });
    Press(button);
    return shown;
  }
  Strings Shown() {
    Strings texts;
    for (const auto& m : messages.shown) texts.push_back(m.text);
    messages.shown.clear();
    return texts;
  }

  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string profiles = folder + "Quillon.ini";
  std::string store = folder + "QvrTask.ini";
  std::string program = folder + "fake-quillon";
  std::string argsFile = folder + "args";
  std::map<std::string, WorkItem> items;
  MemoryScheduler* scheduler = nullptr;
  LauncherFolders launchers;
  Strings folderAnswers;
  Strings prompts;
  CurlFtpConnector connector;
  FixedClock clock{FromLocalTime(2024, 5, 15, 8, 0, 0)};
  test::RecordingMessages messages;
  std::unique_ptr<TaskManagerDialog> dialog;
};

TEST_F(TaskManagerTest, OpensOnTheLastTaskWithItsFieldsAndSchedule) {
  ASSERT_TRUE(WriteText(1, "Profile", "Weekly", store));
  ASSERT_TRUE(WriteNumber(1, "Download", 1, store));
  ASSERT_TRUE(WriteText(1, "DownloadFrom", "/weekly", store));
  ASSERT_TRUE(WriteText(1, "DownloadTo", "/data/weekly", store));
  SaveFullTask(6, "Nightly");
  ASSERT_TRUE(WriteText(9, "Address", "ftp.example.com", store));  // no task in slot 9
  items["Nightly"].trigger = DailyAtNine();
  Open();

  EXPECT_EQ(dialog->windowTitle(), "Harbell Task Manager");
  EXPECT_EQ(ListTexts(), (Strings{"Weekly", "Nightly"}));
  EXPECT_EQ(CurrentRow(), 1);
  EXPECT_EQ(Text("taskName"), "Nightly");
  EXPECT_TRUE(Checked("upload"));
  EXPECT_TRUE(Checked("uploadWithin"));
  EXPECT_EQ(Text("uploadHours"), "1.5");
  EXPECT_TRUE(Enabled("uploadHours"));
  EXPECT_TRUE(Checked("encryptFiles"));
  EXPECT_TRUE(Enabled("encryptFiles"));
  EXPECT_EQ(Text("uploadFrom"), "/data/out");
  EXPECT_EQ(Text("uploadTo"), "/incoming");
  EXPECT_TRUE(Checked("download"));
  EXPECT_TRUE(Checked("downloadAllFiles"));
  EXPECT_FALSE(Enabled("downloadHours"));
  EXPECT_TRUE(Checked("decryptFiles"));
  EXPECT_EQ(Text("downloadFrom"), "/outgoing");
  EXPECT_EQ(Text("downloadTo"), "/data/in");
  EXPECT_FALSE(Enabled("connectionSetting"));
  EXPECT_EQ(Text("scheduleText"), "At 9:00 AM every day, starting 5/15/2024");
  EXPECT_EQ(Text("nextRunText"), "Wed 05/15/2024 09:00:00 AM");

  // The radios enable their hours field.
  Press("downloadWithin");
  EXPECT_TRUE(Enabled("downloadHours"));
  Press("uploadAllFiles");
  EXPECT_FALSE(Enabled("uploadHours"));

  SelectRow(0);
  EXPECT_EQ(Text("taskName"), "Weekly");
  EXPECT_FALSE(Checked("upload"));
  EXPECT_EQ(Text("uploadFrom"), "");
  EXPECT_FALSE(Checked("encryptFiles"));
  EXPECT_EQ(Text("downloadFrom"), "/weekly");
  EXPECT_EQ(Text("scheduleText"), "Not Set");
  EXPECT_EQ(Text("nextRunText"), "Never");
  EXPECT_FALSE(Enabled("connectionSetting"));
  EXPECT_TRUE(Shown().empty());
}

// Without a scheduler that answers, tasks are still made, run and given shortcuts; only
// Schedule is disabled, and the dialog says why.
TEST_F(TaskManagerTest, WithoutASchedulerOnlyScheduleIsDisabled) {
  const std::string refused =
      "Neither systemd user timers nor cron can be used here (systemctl --user: systemctl is not "
      "installed; crontab: You (ann) are not allowed to use this program (crontab)).";
  struct Case {
    bool answers;
    std::string unavailable, shown;
  } cases[] = {{false, "", "There is a problem with your Task Scheduler."},
               {true, refused, refused}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    fs::remove(store);
    fs::remove(argsFile);
    SaveFullTask(0, "Nightly");
    Open(c.answers, c.unavailable);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(ListTexts(), (Strings{"Nightly"}));
    EXPECT_FALSE(Enabled("schedule"));
    EXPECT_EQ(Get<QWidget>("schedule")->toolTip().toStdString(), c.shown);
    EXPECT_TRUE(Get<QLabel>("schedulerProblem")->isVisible());
    EXPECT_EQ(Text("schedulerProblem"), "Schedule is not available: " + c.shown);
    EXPECT_EQ(Text("scheduleText"), "Not Set");

    Retype(Edit("uploadTo"), "/incoming/other");
    RunNow();
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(test::ReadFile(argsFile), store + "\nSESSION00\n-Notify\n-ShowWin\n");
    test::WhenModalOpens([](QWidget* modal) {
      QTest::keyClicks(test::Find<QLineEdit>(modal, "name"), "Nightly run");
      test::Find<QPushButton>(modal, "ok")->click();
    });
    Press("createShortcut");
    EXPECT_EQ(Shown(), (Strings{"Shortcut(s) created successfully."}));
    Press("newTask");
    QTest::keyClicks(Edit("taskName"), "Second");
    QTest::keyClicks(Edit("downloadFrom"), "/outgoing");
    QTest::keyClicks(Edit("downloadTo"), "/data/in");
    Press("download");
    Press("saveChanges");
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(ListTexts(), (Strings{"Nightly", "Second"}));
    messages.QueueAnswer(MessageAnswer::Yes);
    Press("deleteTask");
    EXPECT_EQ(Shown().size(), 1u);
    EXPECT_EQ(ListTexts(), (Strings{"Nightly"}));
    dialog.reset();
  }
}

TEST_F(TaskManagerTest, WithoutTasksTheButtonsAskForANewTask) {
  Open();
  EXPECT_TRUE(ListTexts().empty());
  EXPECT_EQ(Text("taskName"), "");
  for (const char* button : {"uploadFromBrowse", "uploadToBrowse", "downloadFromBrowse",
                             "downloadToBrowse", "moreOptions"}) {
    Press(button);
    EXPECT_EQ(Shown(), (Strings{"Click New Task to create a taks first."})) << button;
  }
  EXPECT_TRUE(prompts.empty());
  Press("saveChanges");
  EXPECT_EQ(Shown(), (Strings{"Click 'New Task' to create a new task."}));
  EXPECT_EQ(InformationOf("settings"), "Task has not been saved.");
  EXPECT_EQ(InformationOf("taskLog"), "=======================\r\n=======================\r\n");
  Press("deleteTask");  // nothing selected: nothing asked
  EXPECT_TRUE(Shown().empty());
  EXPECT_FALSE(fs::exists(store));
}

TEST_F(TaskManagerTest, ANewTaskIsRefusedUntilValidThenPlacedAndRenamedInPlace) {
  SaveFullTask(0, "Existing");
  Open();
  Press("newTask");
  EXPECT_EQ(Text("taskName"), "");
  EXPECT_EQ(Text("uploadFrom"), "");

  // Each step mends the previous refusal and meets the next one.
  struct Step {
    std::function<void()> act;
    const char* message;
  };
  const Step steps[] = {
      {[] {}, "Invalid task name."},
      {[&] { QTest::keyClicks(Edit("taskName"), "Fresh one  "); },
       "No download or upload checked."},
      {[&] { Press("upload"); }, "Invalid upload From/To folder."},
      {[&] {
         folderAnswers = {"/data/fresh"};
         Press("uploadFromBrowse");
         QTest::keyClicks(Edit("uploadTo"), "/incoming");
         Press("uploadWithin");
         Retype(Edit("uploadHours"), "two");
       },
       "Please enter a number."},
      {[&] { Retype(Edit("uploadHours"), "0"); }, "Invalid upload file time."},
      {[&] { Retype(Edit("uploadHours"), "2"); }, "Please check the `Encrypt Files' box."},
      {[&] {
         Press("download");
         QTest::keyClicks(Edit("downloadFrom"), "/outgoing");
         QTest::keyClicks(Edit("downloadTo"), "/data/in");
         AnswerKeyDialog("enc-key", "fresh");
         Press("encryptFiles");
       },
       "Please check the `Decrypt Files' box."},
  };
  for (const Step& step : steps) {
    step.act();
    Press("saveChanges");
    EXPECT_EQ(Shown(), (Strings{step.message}));
  }
  EXPECT_EQ(prompts, (Strings{"Please select a folder:"}));
  EXPECT_EQ(TaskListEntries(store), (std::vector<TaskListEntry>{{0, "Existing"}}));

  AnswerKeyDialog("dec-key");
  Press("decryptFiles");
  Press("saveChanges");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ListTexts(), (Strings{"Existing", "Fresh one"}));
  EXPECT_EQ(CurrentRow(), 1);
  EXPECT_EQ(Text("taskName"), "Fresh one");
  EXPECT_EQ(ReadText(1, "Profile", store), "Fresh one");
  EXPECT_EQ(ReadText(1, "Address", store), "ftp.example.com");  // the connection's copy
  EXPECT_EQ(ReadProtected(1, "Password", store), "s3cret");
  EXPECT_EQ(ReadText(1, "UploadFrom", store), "/data/fresh");
  EXPECT_EQ(ReadNumber(1, "UploadFileAge", store), 7200);
  EXPECT_EQ(ReadProtected(1, "EncryptionKeyName", store), "fresh");
  EXPECT_EQ(ReadProtected(1, "EncryptionKey", store), "enc-key");
  EXPECT_EQ(ReadProtected(1, "DecryptionKey", store), "dec-key");

  // Renaming the first task keeps its slot and its place in the list.
  SelectRow(0);
  Retype(Edit("taskName"), "Renamed");
  Press("saveChanges");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ListTexts(), (Strings{"Renamed", "Fresh one"}));
  EXPECT_EQ(CurrentRow(), 0);
  EXPECT_EQ(TaskListEntries(store), (std::vector<TaskListEntry>{{0, "Renamed"}, {1, "Fresh one"}}));
}

TEST_F(TaskManagerTest, TheTwentyFirstTaskCannotBeSaved) {
  for (int32_t slot = 0; slot < kMaxTasks; ++slot)
    ASSERT_TRUE(WriteText(slot, "Profile", "Task " + std::to_string(slot), store));
  const std::string before = test::ReadFile(store);
  Open();
  EXPECT_EQ(ListTexts().size(), 20u);
  Press("newTask");
  QTest::keyClicks(Edit("taskName"), "One too many");
  Press("download");
  QTest::keyClicks(Edit("downloadFrom"), "/outgoing");
  QTest::keyClicks(Edit("downloadTo"), "/data/in");
  Press("saveChanges");
  EXPECT_EQ(Shown(), (Strings{"Cannot save: Maximum tasks reached."}));
  EXPECT_EQ(test::ReadFile(store), before);
  EXPECT_EQ(ListTexts().size(), 20u);
  EXPECT_TRUE(dialog->Task().isNew);
}

TEST_F(TaskManagerTest, SwitchingTasksDropsUnsavedEditsWithoutAQuestion) {
  SaveFullTask(0, "First");
  SaveFullTask(1, "Second");
  const std::string before = test::ReadFile(store);
  Open();
  Retype(Edit("taskName"), "Edited");
  Retype(Edit("uploadFrom"), "/elsewhere");
  Press("upload");
  Press("encryptFiles");  // unticking drops the key from the record
  EXPECT_EQ(dialog->Task().encryptionKey, "");
  SelectRow(0);
  SelectRow(1);
  EXPECT_EQ(Text("taskName"), "Second");
  EXPECT_EQ(Text("uploadFrom"), "/data/out");
  EXPECT_TRUE(Checked("upload"));
  EXPECT_TRUE(Checked("encryptFiles"));
  EXPECT_EQ(dialog->Task().encryptionKey, "enc-key");
  EXPECT_EQ(test::ReadFile(store), before);

  // A new task is dropped the same way, also by clicking the task still selected.
  Press("newTask");
  QTest::keyClicks(Edit("taskName"), "Never saved");
  SelectRow(1);
  EXPECT_EQ(Text("taskName"), "Second");
  EXPECT_FALSE(dialog->Task().isNew);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(test::ReadFile(store), before);
}

TEST_F(TaskManagerTest, RunItNowSavesThenStartsTheProgramOnlyForAValidTask) {
  SaveFullTask(6, "Nightly");
  Open();
  Edit("uploadTo")->clear();
  Press("runNow");
  EXPECT_EQ(Shown(), (Strings{"Invalid upload From/To folder."}));
  EXPECT_FALSE(fs::exists(argsFile));
  Press("newTask");
  Press("runNow");
  EXPECT_EQ(Shown(), (Strings{"Invalid task name."}));
  EXPECT_FALSE(fs::exists(argsFile));

  SelectRow(0);
  Retype(Edit("uploadTo"), "/incoming/new");
  RunNow();
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ReadText(6, "UploadTo", store), "/incoming/new");
  EXPECT_EQ(test::ReadFile(argsFile), store + "\nSESSION06\n-Notify\n-ShowWin\n");
}

// The run is a process of its own: the button returns while it runs, and the dialog takes no input
// and does not close until the program has ended.
TEST_F(TaskManagerTest, RunItNowReturnsWhileTheRunGoesOnAndTheDialogTakesNoInputUntilItEnds) {
  const std::string go = folder + "go";
  // It waits for `go`, at most 10 s: a dialog that waited for it would see it end by itself.
  test::WriteFile(program, "#!/bin/sh\nfor i in $(seq 200); do [ -e '" + go +
                               "' ] && break; sleep 0.05; done\necho ended > '" + argsFile + "'\n");
  SaveFullTask(6, "Nightly");
  Open();
  Press("runNow");
  ASSERT_TRUE(dialog->IsRunningTask());
  for (const char* control : {"runNow", "taskList", "deleteTask", "close", "uploadTo"})
    EXPECT_FALSE(Enabled(control)) << control;
  dialog->reject();  // Escape or the window's close button
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->IsRunningTask());
  EXPECT_FALSE(fs::exists(argsFile));

  test::WriteFile(go, "");
  ASSERT_TRUE(WaitWithEvents([&] { return !dialog->IsRunningTask(); }));
  EXPECT_EQ(test::ReadFile(argsFile), "ended\n");
  EXPECT_TRUE(Enabled("runNow"));
  EXPECT_TRUE(Shown().empty());
  dialog->reject();
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(TaskManagerTest, DeletingAsksFirstWarnsOfShortcutsAndRemovesTheSchedule) {
  SaveFullTask(2, "Nightly");
  ASSERT_TRUE(WriteNumber(2, "TaskID", 1715765400, store));
  SaveFullTask(5, "Weekly");
  items["Nightly"].trigger = DailyAtNine();
  items["Weekly"].trigger = DailyAtNine();
  Open();
  SelectRow(0);
  const std::string question = "Are you sure to delete this task?";

  messages.QueueAnswer(MessageAnswer::No);
  Press("deleteTask");
  EXPECT_EQ(Shown(), (Strings{"You have created shortcuts pointing to this task.\n\nThose "
                              "shortcuts will not work if this task is deleted.    \n\n" +
                              question}));
  EXPECT_EQ(ListTexts(), (Strings{"Nightly", "Weekly"}));
  EXPECT_EQ(scheduler->items.size(), 2u);

  messages.QueueAnswer(MessageAnswer::Yes);
  Press("deleteTask");
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_EQ(ListTexts(), (Strings{"Weekly"}));
  EXPECT_EQ(Text("taskName"), "Weekly");  // the list's selection is the task on show
  EXPECT_EQ(dialog->Task().slot, 5);
  EXPECT_EQ(scheduler->items.count("Nightly"), 0u);
  EXPECT_EQ(scheduler->items.count("Weekly"), 1u);
  EXPECT_FALSE(IsTaskSlotUsed(2, store));
  EXPECT_EQ(ReadNumber(2, "TaskID", store), -1);

  messages.QueueAnswer(MessageAnswer::Yes);
  Press("deleteTask");
  EXPECT_EQ(Shown(), (Strings{question}));
  EXPECT_TRUE(ListTexts().empty());
  EXPECT_EQ(Text("taskName"), "");
  EXPECT_EQ(dialog->Task().slot, -1);
  EXPECT_TRUE(scheduler->items.empty());
}

TEST_F(TaskManagerTest, SettingsAndTaskLogShowTheStoredSectionAndTheLog) {
  SaveFullTask(3, "Night/ly");
  Open();
  std::string settings = InformationOf("settings");
  EXPECT_EQ(settings, TaskSettingsText(3, store));
  EXPECT_TRUE(
      settings.starts_with("Settings for the selected task.\r\n=======================\r\n"
                           "[SESSION03]\r\nProfile=Night/ly\r\n"));
  const std::string rule = "=======================\r\n";
  EXPECT_EQ(InformationOf("taskLog"), rule + rule);
  test::WriteFile(dir.path() / "Night_ly.log", "Harbell task [Night/ly]\nStarted\n");
  EXPECT_EQ(InformationOf("taskLog"), rule + "Harbell task [Night/ly]\r\nStarted\r\n" + rule);

  Press("newTask");
  EXPECT_EQ(InformationOf("settings"), "Task has not been saved.");
}

TEST_F(TaskManagerTest, ClosingAsksOnlyForAnUnsavedNewTask) {
  SaveFullTask(0, "Nightly");
  Open();
  Press("newTask");
  messages.QueueAnswer(MessageAnswer::No);
  Press("close");
  EXPECT_EQ(Shown(), (Strings{"The new task has not been saved. Discard it?"}));
  EXPECT_TRUE(dialog->isVisible());
  QTest::keyClick(dialog.get(), Qt::Key_Escape);  // the same question
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_FALSE(dialog->isVisible());

  dialog->show();
  SelectRow(0);
  Press("close");
  EXPECT_TRUE(Shown().empty());
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(TaskManagerTest, KeysMailAndOptionsGoIntoTheRecordAndAreStoredByTheSave) {
  SaveFullTask(0, "Nightly");
  SaveFullTask(1, "Locked");
  ASSERT_TRUE(WriteProtected(1, "LockMode", "1", store));
  ASSERT_TRUE(WriteText(1, "Address", "0.0.0.0", store));
  Open();
  EXPECT_FALSE(Enabled("encryptFiles"));
  EXPECT_FALSE(Enabled("decryptFiles"));
  EXPECT_FALSE(Enabled("uploadTo"));
  EXPECT_FALSE(Enabled("downloadFrom"));
  EXPECT_TRUE(Enabled("uploadFrom"));

  SelectRow(0);
  EXPECT_TRUE(Enabled("encryptFiles"));
  EXPECT_TRUE(Enabled("uploadTo"));
  // Unticked, then ticked again but the key dialog cancelled: no key, box unticked.
  Press("decryptFiles");
  EXPECT_EQ(dialog->Task().decryptionKey, "");
  test::WhenModalOpens(
      [](QWidget* modal) { test::Find<QPushButton>(modal, "cancelButton")->click(); });
  Press("decryptFiles");
  EXPECT_FALSE(Checked("decryptFiles"));
  EXPECT_EQ(dialog->Task().decryptionKey, "");
  AnswerKeyDialog("new-dec");
  Press("decryptFiles");
  EXPECT_TRUE(Checked("decryptFiles"));

  test::WhenModalOpens([](QWidget* modal) {
    test::Click(test::Find<QCheckBox>(modal, "useEmail"));
    QTest::keyClicks(test::Find<QLineEdit>(modal, "from"), "ops@example.com");
    QTest::keyClicks(test::Find<QLineEdit>(modal, "server"), "mail.example.com");
    QTest::keyClicks(test::Find<QLineEdit>(modal, "to"), "a@example.com;b@example.com");
    test::Find<QPushButton>(modal, "okButton")->click();
  });
  Press("emailNotification");
  test::WhenModalOpens([](QWidget* modal) {
    EXPECT_FALSE(test::Find<QWidget>(modal, "binaryMode")->isEnabled());  // task mode
    test::Click(test::Find<QCheckBox>(modal, "backupRemote"));
    test::Click(test::Find<QRadioButton>(modal, "afterUploadDelete"));
    test::Find<QPushButton>(modal, "okButton")->click();
  });
  Press("moreOptions");
  EXPECT_EQ(ReadText(0, "EmailTo", store), "");  // kept in the record until saved

  Press("saveChanges");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ReadProtected(0, "DecryptionKey", store), "new-dec");
  EXPECT_EQ(ReadText(0, "UseEmail", store), "1");
  EXPECT_EQ(ReadText(0, "EmailFrom", store), "ops@example.com");
  EXPECT_EQ(ReadText(0, "EmailServer", store), "mail.example.com");
  EXPECT_EQ(ReadText(0, "EmailTo", store), "a@example.com;b@example.com");
  EXPECT_EQ(ReadText(0, "BackupRemoteFile", store), "1");
  EXPECT_EQ(ReadNumber(0, "DeleteAfterUpload", store), 1);
  EXPECT_EQ(ReadText(0, "BackupDir", store), "");
}

TEST_F(TaskManagerTest, ScheduleAndCreateShortcutSaveFirstAndUseTheTasksSlot) {
  SaveFullTask(6, "Nightly");
  Open();
  EXPECT_EQ(Text("scheduleText"), "Not Set");
  Retype(Edit("downloadTo"), "/data/in2");
  test::WhenModalOpens([](QWidget* modal) {
    test::Click(test::Find<QRadioButton>(modal, "daily"));
    test::Find<QPushButton>(modal, "ok")->click();
  });
  Press("schedule");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ReadText(6, "DownloadTo", store), "/data/in2");
  ASSERT_EQ(scheduler->items.count("Nightly"), 1u);
  const WorkItem& item = scheduler->items["Nightly"];
  EXPECT_EQ(item.program, program);
  const int32_t scheduledId = ReadNumber(6, "TaskID", store);
  EXPECT_GT(scheduledId, 0);
  EXPECT_EQ(item.arguments, (Strings{store, "SESSION06", "-TaskID", std::to_string(scheduledId)}));
  EXPECT_EQ(item.workingFolder, folder);
  EXPECT_EQ(item.trigger.type, TriggerType::Daily);
  EXPECT_EQ(Text("scheduleText"), DescribeTrigger(item.trigger));
  EXPECT_NE(Text("nextRunText"), "Never");

  std::string quickLaunchTip = "(not asked)";
  test::WhenModalOpens([&quickLaunchTip](QWidget* modal) {
    auto* quickLaunch = test::Find<QCheckBox>(modal, "quickLaunch");
    EXPECT_FALSE(quickLaunch->isChecked() || quickLaunch->isEnabled());
    quickLaunchTip = quickLaunch->toolTip().toStdString();
    QTest::keyClicks(test::Find<QLineEdit>(modal, "name"), "Nightly run");
    test::Find<QPushButton>(modal, "ok")->click();
  });
  Press("createShortcut");
  EXPECT_EQ(Shown(), (Strings{"Shortcut(s) created successfully."}));
  EXPECT_EQ(quickLaunchTip, kNoQuickLaunch);
  const int32_t id = ReadNumber(6, "TaskID", store);
  EXPECT_EQ(id, scheduledId);  // one id per task, for its entry and its shortcuts
  std::string launcher = test::ReadFile(dir.path() / "Desktop/Nightly run.desktop");
  EXPECT_NE(launcher.find("\"env\" \"QUILLON_HOME=" + folder + "\" \"" + program + "\" \"" + store +
                          "\" \"SESSION06\" \"-Notify\" \"-TaskID\" \"" + std::to_string(id) +
                          "\" \"-ShowWin\""),
            std::string::npos)
      << launcher;
  // Linux has no Quick Launch bar: that box is off, and says why.
  EXPECT_FALSE(fs::exists(dir.path() / "data/quillon"));

  // An invalid task is neither scheduled nor given shortcuts.
  Edit("uploadFrom")->clear();
  Press("schedule");
  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(test::Find<QLineEdit>(modal, "name"), "Other");
    test::Find<QPushButton>(modal, "ok")->click();
  });
  Press("createShortcut");
  EXPECT_EQ(Shown(), (Strings{"Invalid upload From/To folder.", "Invalid upload From/To folder."}));
  EXPECT_FALSE(fs::exists(dir.path() / "Desktop/Other.desktop"));
}

// A renamed task takes its schedule along; an entry of another task store of the same name,
// and one of another task of the new name, are left alone.
TEST_F(TaskManagerTest, RenamingMovesTheScheduleToTheNewName) {
  SaveFullTask(3, "Nightly");
  SaveFullTask(4, "Weekly");
  Open();
  SelectRow(0);
  test::WhenModalOpens([](QWidget* modal) {
    test::Click(test::Find<QRadioButton>(modal, "daily"));
    test::Find<QPushButton>(modal, "ok")->click();
  });
  Press("schedule");
  ASSERT_EQ(scheduler->items.count("Nightly"), 1u);
  const WorkItem scheduled = scheduler->items["Nightly"];

  Retype(Edit("taskName"), "Every night");
  Press("saveChanges");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(scheduler->items.count("Nightly"), 0u);
  ASSERT_EQ(scheduler->items.count("Every night"), 1u);
  EXPECT_EQ(scheduler->items["Every night"].trigger, scheduled.trigger);
  EXPECT_EQ(scheduler->items["Every night"].arguments, scheduled.arguments);
  EXPECT_EQ(Text("scheduleText"), DescribeTrigger(scheduled.trigger));

  // The new name is another store's entry: the schedule stays where it is, and the user is told.
  scheduler->items["Taken"] = {
      program, {"/elsewhere/QvrTask.ini", "SESSION03"}, "/elsewhere/", scheduled.trigger};
  Retype(Edit("taskName"), "Taken");
  Press("saveChanges");
  EXPECT_EQ(Shown(), (Strings{"Task \"Taken\" has NOT been scheduled!"}));
  EXPECT_EQ(scheduler->items.count("Every night"), 1u);
  EXPECT_EQ(scheduler->items["Taken"].arguments[0], "/elsewhere/QvrTask.ini");

  // The other store's "Weekly" entry is not this "Weekly" task's to delete.
  scheduler->items["Weekly"] = {
      program, {"/elsewhere/QvrTask.ini", "SESSION04"}, "/elsewhere/", scheduled.trigger};
  SelectRow(1);
  messages.QueueAnswer(MessageAnswer::Yes);
  Press("deleteTask");
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_EQ(scheduler->items.count("Weekly"), 1u);
}

// The remote "..." buttons browse a real server with the task's own connection; a new task
// browses with the current connection (here one that cannot connect).
TEST_F(TaskManagerTest, RemoteFoldersArePickedWithTheTasksConnection) {
  ASSERT_TRUE(InitCurlGlobal());
  fs::create_directories(dir.path() / "server/incoming");
  test::FtpServer server(test::FtpServer::Options{dir.path() / "server"});
  SaveFullTask(4, "Nightly");
  ASSERT_TRUE(test::ProfileSection::Of(server.Profile()).Write(4, store));
  ASSERT_TRUE(WriteText(0, "Address", "127.0.0.1", profiles));
  ASSERT_TRUE(WriteNumber(0, "Port", test::ClosedLoopbackPort(), profiles));
  Open();

  std::string prompt;
  test::WhenModalOpens([&prompt](QWidget* modal) {
    // The picker opens at once and connects in the background; OK waits for the folders.
    auto* ok = test::Find<QPushButton>(modal, "okButton");
    ASSERT_TRUE(test::WaitFor([&] {
      QCoreApplication::processEvents();
      return ok->isEnabled();
    }));
    prompt = test::Find<QLabel>(modal, "promptLabel")->text().toStdString();
    ok->click();
  });
  Press("uploadToBrowse");
  EXPECT_EQ(prompt, "Upload files to which remote folder?");
  EXPECT_EQ(Text("uploadTo"), "/incoming");
  EXPECT_EQ(dialog->Task().uploadTo, "/incoming");

  Press("newTask");
  QTest::keyClicks(Edit("downloadFrom"), "/outgoing");
  Press("downloadFromBrowse");
  EXPECT_EQ(Shown(), (Strings{"Cannot connect to Harbell.\t"}));
  EXPECT_EQ(Text("downloadFrom"), "/outgoing");
}

}  // namespace
}  // namespace quillon

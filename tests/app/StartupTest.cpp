#include <gtest/gtest.h>

#include <optional>

#include "app/CommandLine.h"
#include "app/MainApp.h"
#include "profiles/IniFile.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::RecordingMessages;
using test::TempDir;

class StartupTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string store = folder + "QvrTask.ini";
  RecordingMessages messages;
  std::optional<TaskHandOver> handedOver;

  int Run(const std::string& line) {
    MainApp app(folder, messages);
    StartupHooks hooks;
    hooks.runTask = [&](MainApp&, const TaskHandOver& task) { handedOver = task; };
    return app.Run(line, hooks);
  }

  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& m : messages.shown) texts.push_back(m.text);
    return texts;
  }
};

TEST_F(StartupTest, TaskCommandLines) {
  std::string blanks = folder + "My Tasks";
  std::filesystem::create_directory(blanks);
  std::string blankStore = blanks + "/QvrTask.ini";
  ASSERT_TRUE(WriteText(3, "Profile", "Nightly", blankStore));
  ASSERT_TRUE(WriteNumber(3, "TaskID", 7, blankStore));
  ASSERT_TRUE(WriteText(5, "Profile", "Lower", folder + "qvrtask.ini"));
  ASSERT_TRUE(WriteText(2, "Profile", "Anywhere", store));
  ASSERT_TRUE(WriteText(1, "Profile", "Ids", store));
  ASSERT_TRUE(WriteNumber(1, "TaskID", 4, store));

  struct Case {
    std::string line;
    int exitCode;
    std::vector<std::string> messages;
    // expected hand-over when the task runs
    std::string path;
    int slot;
    bool notify;
    bool showWindow;
  } cases[] = {
      {"\"" + blankStore + "\" SESSION03 -Notify -TaskID 7 -ShowWin",
       0,
       {},
       blankStore,
       3,
       true,
       true},
      {"qvrtask.ini session5", 0, {}, folder + "qvrtask.ini", 5, false, false},
      {"-NOTIFY", -1, {"Command syntax error."}, "", -1, false, false},
      {"-TASKID 5 " + store + " SESSION01 -notify",
       -1,
       {"Task cannot be found: The task is outdated."},
       "",
       -1,
       false,
       false},
      {store + " -TaskID 4 SESSION01 -Notify", -1, {"Command syntax error."}, "", -1, false, false},
      {blankStore + " -TaskID 7 SESSION03 -Notify",
       -1,
       {"Wrong parameters."},
       "",
       -1,
       false,
       false},
      {store + " SESSION20 -notify", -1, {"Session number out of range."}, "", -1, false, false},
      {store + " SESSION-1 -notify", -1, {"Session number out of range."}, "", -1, false, false},
      // Without notify too: the presenter decides where it is seen.
      {store + " SESSION20", -1, {"Session number out of range."}, "", -1, false, false},
      {store + " SESSION01 -Notify -TaskID 0", 0, {}, store, 1, true, false},
      {store + " -sHoWwIn SESSION02 -NoTiFy", 0, {}, store, 2, true, true},
      {store + " SESSION01 -Notify -TaskID 4", 0, {}, store, 1, true, false},
      {store + " SESSION01 -Notify -TaskID 3",
       0,
       {"Task Failed:\n\nThe task is outdated."},
       "",
       -1,
       false,
       false},
      {store + " SESSION01 -Notify -TaskID 9",
       0,
       {"Task Failed:\n\nThe target task cannot be found.\nPlease re-create the shortcut."},
       "",
       -1,
       false,
       false},
      // A scheduled entry runs without notify and is checked all the same.
      {store + " SESSION01 -TaskID 9",
       0,
       {"Task Failed:\n\nThe target task cannot be found.\nPlease re-create the shortcut."},
       "",
       -1,
       false,
       false},
      {store + " SESSION01 -TaskID 3",
       0,
       {"Task Failed:\n\nThe task is outdated."},
       "",
       -1,
       false,
       false},
      {store + " SESSION01 -TaskID 4", 0, {}, store, 1, false, false},
      {store + " SESSION04",
       -1,
       {"Task cannot be found: The task is outdated."},
       "",
       -1,
       false,
       false},
      {store + " SESSION04 -Notify",
       -1,
       {"Task cannot be found: The task is outdated."},
       "",
       -1,
       false,
       false},
      {store + " SESSIONX -Notify", -1, {"Wrong parameters."}, "", -1, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    messages.shown.clear();
    handedOver.reset();
    EXPECT_EQ(Run(c.line), c.exitCode);
    EXPECT_EQ(Shown(), c.messages);
    if (c.slot < 0) {
      EXPECT_FALSE(handedOver.has_value());
      continue;
    }
    ASSERT_TRUE(handedOver.has_value());
    EXPECT_EQ(handedOver->storePath, c.path);
    EXPECT_EQ(handedOver->slot, c.slot);
    EXPECT_EQ(handedOver->notify, c.notify);
    EXPECT_EQ(handedOver->showWindow, c.showWindow);
    EXPECT_FALSE(handedOver->taskName.empty());
  }
}

TEST_F(StartupTest, ParsedTaskIdAndPathCase) {
  ParsedCommandLine parsed = ParseTaskCommandLine("/Data/Tasks.INI Session07 -taskid12", "/p/");
  ASSERT_FALSE(parsed.error);
  EXPECT_EQ(parsed.task.storePath, "/Data/Tasks.INI");
  EXPECT_EQ(parsed.task.slot, 7);
  EXPECT_EQ(parsed.task.taskId, 12);
  EXPECT_EQ(ParseTaskCommandLine("-TASKID 5 /a/b SESSION1", "/p/").task.taskId, -1);
}

// Switches are whole arguments: a path that holds their words stays whole.
TEST_F(StartupTest, SwitchesAreWholeArguments) {
  using Words = std::vector<std::string>;
  struct Case {
    Words arguments;
    std::string path;
    int32_t slot;
    bool notify, showWindow;
    int32_t taskId;
  } cases[] = {
      {{"/srv/x-notify/QvrTask.ini", "SESSION02"},
       "/srv/x-notify/QvrTask.ini",
       2,
       false,
       false,
       -1},
      {{"/srv/a -showwin b/-TaskID 7.ini", "SESSION03", "-notify"},
       "/srv/a -showwin b/-TaskID 7.ini",
       3,
       true,
       false,
       -1},
      {{"/srv/-taskid/QvrTask.ini", "session04", "-ShowWin", "-TaskID", "12"},
       "/srv/-taskid/QvrTask.ini",
       4,
       false,
       true,
       12},
      {{"/srv/q.ini", "SESSION05", "-taskid12"}, "/srv/q.ini", 5, false, false, 12},
      {{"/srv/q.ini", "SESSION06", "-notifyme"}, "", -1, false, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    ParsedCommandLine parsed = ParseTaskCommandLine(c.arguments, "/p/");
    if (c.slot < 0) {
      EXPECT_EQ(parsed.error, "Wrong parameters.");
      continue;
    }
    ASSERT_FALSE(parsed.error) << *parsed.error;
    EXPECT_EQ(parsed.task.storePath, c.path);
    EXPECT_EQ(parsed.task.slot, c.slot);
    EXPECT_EQ(parsed.task.notify, c.notify);
    EXPECT_EQ(parsed.task.showWindow, c.showWindow);
    EXPECT_EQ(parsed.task.taskId, c.taskId);
  }
  // The whole start-up takes the words as they are.
  std::string odd = folder + "x-notify -showwin";
  std::filesystem::create_directory(odd);
  ASSERT_TRUE(WriteText(2, "Profile", "Odd", odd + "/QvrTask.ini"));
  MainApp app(folder, messages);
  StartupHooks hooks;
  hooks.runTask = [&](MainApp&, const TaskHandOver& task) { handedOver = task; };
  EXPECT_EQ(app.Run(Words{odd + "/QvrTask.ini", "SESSION02"}, hooks), 0);
  ASSERT_TRUE(handedOver);
  EXPECT_EQ(handedOver->storePath, odd + "/QvrTask.ini");
  EXPECT_FALSE(handedOver->notify || handedOver->showWindow);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(StartupTest, BackupCopiesTakesOnly1To255) {
  struct Case {
    std::optional<std::string> stored;
    int32_t copies;
  } cases[] = {{std::nullopt, 4}, {"0", 4}, {"256", 4}, {"255", 255}, {"1", 1}, {"", 4}};
  for (const auto& c : cases) {
    if (c.stored) {
      ASSERT_TRUE(ini::Write(folder + "Quillon.ini", "Quillon", "BackupCopies", *c.stored));
    }
    MainApp app(folder, messages);
    app.Run("", {});
    EXPECT_EQ(app.backupCopies, c.copies) << c.stored.value_or("(missing)");
  }
}

TEST_F(StartupTest, InteractiveModeReadsTheWarningLevelAndDefaultsTheProfile) {
  MainApp app(folder, messages);
  int interactiveRuns = 0;
  StartupHooks hooks;
  hooks.runInteractive = [&](MainApp& running) {
    ++interactiveRuns;
    EXPECT_EQ(running.warningLevel, 2) << "default when missing";
    EXPECT_EQ(running.currentProfile.slot, -1);
    EXPECT_EQ(running.currentProfile.remoteDir, "/");
    EXPECT_EQ(running.currentProfile.port, 21);
    EXPECT_EQ(running.currentProfile.threadCount, 3);
    EXPECT_TRUE(running.currentProfile.binaryMode);
  };
  EXPECT_EQ(app.Run("", hooks), 0);
  EXPECT_EQ(interactiveRuns, 1);

  ASSERT_TRUE(WriteProgramNumber(folder + "Quillon.ini", kSuppressWarningLevel, 0));
  MainApp again(folder, messages);
  again.Run("", {});
  EXPECT_EQ(again.warningLevel, 0);
}

TEST_F(StartupTest, TaskModeKeepsWarningLevelZero) {
  ASSERT_TRUE(WriteProgramNumber(folder + "Quillon.ini", kSuppressWarningLevel, 2));
  ASSERT_TRUE(WriteText(0, "Profile", "T", store));
  MainApp app(folder, messages);
  StartupHooks hooks;
  int32_t level = -5;
  hooks.runTask = [&](MainApp& running, const TaskHandOver&) { level = running.warningLevel; };
  EXPECT_EQ(app.Run("QvrTask.ini SESSION00", hooks), 0);
  EXPECT_EQ(level, 0);
}

TEST_F(StartupTest, AFailedSessionEndsWithTheSocketMessage) {
  MainApp app(folder, messages);
  StartupHooks hooks;
  bool interactive = false;
  hooks.openSession = [] { return std::unique_ptr<FtpConnector>(); };
  hooks.runInteractive = [&](MainApp&) { interactive = true; };
  testing::internal::CaptureStdout();
  EXPECT_EQ(app.Run("", hooks), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot init socket.\n");
  EXPECT_FALSE(interactive);
}

}  // namespace
}  // namespace quillon

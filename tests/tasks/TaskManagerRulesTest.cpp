// The task manager's window-free rules: the task list, the hours fields, the "Run It Now"
// arguments, the delete question, the task log text and the pickers' connection.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"
#include "tasks/TaskManagerRules.h"
#include "tasks/TaskStore.h"

namespace quillon {
namespace {

TEST(TaskManagerRules, TheListHoldsTheSlotsInUseInSlotOrder) {
  test::TempDir dir;
  std::string store = dir.file("QvrTask.ini");
  EXPECT_TRUE(TaskListEntries(store).empty());  // no store yet
  ASSERT_TRUE(WriteText(19, "Profile", "Last", store));
  ASSERT_TRUE(WriteText(4, "Profile", "Middle", store));
  ASSERT_TRUE(WriteText(5, "Address", "ftp.example.com", store));  // a section without a task
  ASSERT_TRUE(WriteText(0, "Profile", "First", store));
  ASSERT_TRUE(DeleteTask(4, store));
  EXPECT_EQ(TaskListEntries(store), (std::vector<TaskListEntry>{{0, "First"}, {19, "Last"}}));
}

TEST(TaskManagerRules, HoursAreShownAndReadBackWhateverTheLocale) {
  // A decimal comma locale, when one is installed, must change neither direction (the GUI runs
  // under the user's locale).
  const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  struct Shown {
    float hours;
    const char* text;
  };
  for (const Shown& c :
       {Shown{0, "0"}, Shown{1.5f, "1.5"}, Shown{0.03f, "0.03"},
        Shown{AgeHoursFromSeconds(100), "0.03"}, Shown{48, "48"}, Shown{1234.57f, "1234.57"}}) {
    EXPECT_EQ(HoursText(c.hours), c.text) << c.hours;
    EXPECT_EQ(ParseHours(c.text), c.hours) << c.text;
  }
  struct Typed {
    const char* text;
    std::optional<float> hours;
  };
  for (const Typed& c :
       {Typed{" 2 ", 2.0f}, Typed{"+.25", 0.25f}, Typed{"-1", -1.0f}, Typed{"1e1", 10.0f},
        Typed{"", std::nullopt}, Typed{"  ", std::nullopt}, Typed{"1,5", std::nullopt},
        Typed{"abc", std::nullopt}, Typed{"2h", std::nullopt}, Typed{"inf", std::nullopt},
        Typed{"nan", std::nullopt}, Typed{"0x10", std::nullopt}, Typed{"1e39", std::nullopt},
        Typed{"1.2.3", std::nullopt}}) {
    EXPECT_EQ(ParseHours(c.text), c.hours) << "'" << c.text << "'";
  }
  if (german) std::setlocale(LC_NUMERIC, "C");
}

TEST(TaskManagerRules, RunNowAndDeleteQuestion) {
  EXPECT_EQ(RunNowArguments("/home/u/.config/quillon/QvrTask.ini", 3),
            (std::vector<std::string>{"/home/u/.config/quillon/QvrTask.ini", "SESSION03", "-Notify",
                                      "-ShowWin"}));
  EXPECT_EQ(RunNowArguments("/a b/QvrTask.ini", 19)[1], "SESSION19");
  const std::string question = "Are you sure to delete this task?";
  EXPECT_EQ(DeleteTaskQuestion(-1), question);
  EXPECT_EQ(DeleteTaskQuestion(0), question);
  EXPECT_EQ(DeleteTaskQuestion(1715765400),
            "You have created shortcuts pointing to this task.\n\nThose shortcuts will not work if "
            "this task is deleted.    \n\n" +
                question);
}

TEST(TaskManagerRules, TheTaskLogIsFramedWithCrLfLineEnds) {
  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string store = folder + "QvrTask.ini";
  const std::string rule = "=======================\r\n";
  ASSERT_TRUE(WriteText(2, "Profile", "Night/ly", store));
  EXPECT_EQ(TaskLogText(folder, 2, store), rule + rule);  // no log yet
  test::WriteFile(dir.path() / "Night_ly.log", "Harbell task [Night/ly]\n\nOK: a\n");
  EXPECT_EQ(TaskLogText(folder, 2, store),
            rule + "Harbell task [Night/ly]\r\n\r\nOK: a\r\n" + rule);
  EXPECT_EQ(TaskLogText(folder, 3, store), rule + rule);  // an empty slot names no log
}

TEST(TaskManagerRules, PickersConnectWithTheProfileOrTheTasksOwnSection) {
  test::TempDir dir;
  std::string profiles = dir.file("Quillon.ini");
  std::string store = dir.file("QvrTask.ini");
  ASSERT_TRUE(WriteText(0, "Address", "current.example.com", profiles));
  ASSERT_TRUE(WriteText(0, "Address", "stored.example.com", store));
  ASSERT_TRUE(WriteText(3, "Address", "task.example.com", store));
  ASSERT_TRUE(WriteNumber(3, "Port", 2121, store));

  TaskDefinition task = NewTask(profiles, 0);
  EXPECT_TRUE(HasTask(task));
  EXPECT_FALSE(IsSavedTask(task));
  EXPECT_EQ(TaskConnectionProfile(task, profiles, store).address, "current.example.com");

  task = TaskDefinition{};
  LoadTask(task, 3, store);
  EXPECT_TRUE(IsSavedTask(task));
  ConnectionProfile profile = TaskConnectionProfile(task, profiles, store);
  EXPECT_EQ(profile.address, "task.example.com");
  EXPECT_EQ(profile.port, 2121);

  TaskDefinition none;
  EXPECT_FALSE(HasTask(none));
  EXPECT_EQ(TaskConnectionProfile(none, profiles, store).address, "");
  LoadTask(task, 4, store);  // a section that is no profile
  EXPECT_EQ(TaskConnectionProfile(task, profiles, store).address, "");
}

}  // namespace
}  // namespace quillon

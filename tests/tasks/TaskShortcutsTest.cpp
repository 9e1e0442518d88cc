// Task shortcuts: the task's identity, the launchers per place, and what the user is told.
#include <gtest/gtest.h>

#include <filesystem>

#include "profiles/IniFile.h"
#include "support/TestSupport.h"
#include "tasks/TaskShortcuts.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class ShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"Desktop", "data/applications", "store"}) {
      fs::create_directories(dir.path() / folder);
    }
    folders.desktop = dir.file("Desktop");
    folders.startMenu = folders.programs = dir.file("data/applications");
    folders.home = dir.file("home");  // the store lies elsewhere: runs need QUILLON_HOME
    ASSERT_TRUE(WriteText(2, "Profile", "Nightly", store));
  }
  bool Create(const ShortcutChoice& choice) {
    return CreateShortcutsForTask(choice, "Nightly", 2, "/opt/quillon/bin/quillon", store, folders,
                                  clock, messages);
  }
  // Every file made outside the task store's folder.
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      std::string file = fs::relative(entry.path(), dir.path());
      if (entry.is_regular_file() && !file.starts_with("store/")) files.push_back(file);
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  test::TempDir dir;
  std::string store = dir.file("store/QvrTask.ini");
  LauncherFolders folders;
  FixedClock clock{TimePoint(std::chrono::seconds(1715765400))};
  test::RecordingMessages messages;
};

TEST_F(ShortcutsTest, TheDefaultPlacesGetOneLauncherEachWithTheTasksIdentity) {
  ASSERT_TRUE(Create({"Nightly backup", kShortcutDesktop}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"Desktop/Nightly backup.desktop"}));
  EXPECT_EQ(ReadNumber(2, "TaskID", store), 1715765400);
  std::string text = test::ReadFile(dir.path() / "Desktop/Nightly backup.desktop");
  EXPECT_NE(text.find("\nName=Nightly backup\n"), std::string::npos);
  EXPECT_NE(text.find("\nComment=Harbell Task [Nightly] of [" + store + "]\n"), std::string::npos);
  // The run finds the program folder the task store lies in.
  EXPECT_NE(text.find("\nExec=\"env\" \"QUILLON_HOME=" + dir.file("store/") +
                      "\" \"/opt/quillon/bin/quillon\" \"" + store +
                      "\" \"SESSION02\" \"-Notify\" \"-TaskID\" \"1715765400\" \"-ShowWin\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nPath=/opt/quillon/bin\n"), std::string::npos);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Shortcut(s) created successfully.");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);

  // Made again later, into the menu as well: the same identity everywhere.
  clock.Set(clock.Now() + std::chrono::hours(30));
  ASSERT_TRUE(Create({"Nightly backup", kShortcutDesktop | kShortcutStartMenu}));
  EXPECT_EQ(test::ReadFile(dir.path() / "data/applications/Nightly backup.desktop"), text);
  EXPECT_EQ(ReadNumber(2, "TaskID", store), 1715765400);
}

TEST_F(ShortcutsTest, AMissingPlaceFailsAloneAndIsNeverMade) {
  fs::remove(dir.path() / "Desktop");
  EXPECT_FALSE(Create({"Nightly", kShortcutDesktop | kShortcutStartMenu}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"data/applications/Nightly.desktop"}));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Error in creating shortcut(s).");

  // Linux has no Quick Launch place: asked for it anyway, the launcher fails.
  EXPECT_FALSE(Create({"Nightly", kShortcutQuickLaunch}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"data/applications/Nightly.desktop"}));
}

// The default program folder needs no QUILLON_HOME: a run finds it by itself.
TEST_F(ShortcutsTest, TheDefaultProgramFolderRunsWithoutQuillonHome) {
  folders.home = dir.path().string();
  std::string defaultStore = dir.file(".config/quillon/QvrTask.ini");
  fs::create_directories(dir.path() / ".config/quillon");
  ASSERT_TRUE(WriteText(2, "Profile", "Nightly", defaultStore));
  ASSERT_TRUE(CreateShortcutsForTask({"Nightly", kShortcutDesktop}, "Nightly", 2,
                                     "/usr/bin/quillon", defaultStore, folders, clock, messages));
  std::string text = test::ReadFile(dir.path() / "Desktop/Nightly.desktop");
  EXPECT_NE(text.find("\nExec=\"/usr/bin/quillon\" \"" + defaultStore + "\""), std::string::npos)
      << text;
}

TEST_F(ShortcutsTest, ANameThatIsNoPlainFileNameWritesNothing) {
  for (const char* name : {"../Nightly", "a/b", "..", "tab\tname"}) {
    messages.shown.clear();
    EXPECT_FALSE(Create({name, kShortcutDesktop | kShortcutStartMenu})) << name;
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error in creating shortcut(s).");
  }
  EXPECT_TRUE(Files().empty());

  messages.shown.clear();
  EXPECT_FALSE(Create({"Nightly", 0}));  // no place: nothing happens
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ShortcutsTest, TheIdentityIsKeptOnceGiven) {
  EXPECT_EQ(EnsureTaskId(2, store, clock), 1715765400);
  clock.Set(clock.Now() + std::chrono::seconds(5));
  EXPECT_EQ(EnsureTaskId(2, store, clock), 1715765400);
  ASSERT_TRUE(WriteNumber(3, "TaskID", 0, store));
  EXPECT_EQ(EnsureTaskId(3, store, clock), 1715765405);  // below 1 counts as none

  // A store that cannot keep the identity gets no shortcuts, which would all be refused.
  std::string gone = dir.file("gone/QvrTask.ini");
  EXPECT_EQ(EnsureTaskId(4, gone, clock), std::nullopt);
  EXPECT_FALSE(CreateShortcutsForTask({"Nightly", kShortcutDesktop}, "Nightly", 4, "/opt/quillon",
                                      gone, folders, clock, messages));
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(messages.shown.back().text, "Error in creating shortcut(s).");
}

TEST(ShortcutName, TakenTrimmedOrRefused) {
  test::RecordingMessages messages;
  EXPECT_EQ(TakeShortcutName("  Nightly run \t", messages), "Nightly run");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(TakeShortcutName(" \t ", messages), std::nullopt);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Invalid name.");
  EXPECT_EQ(ShortcutDescription("Nightly", "/q/QvrTask.ini"),
            "Harbell Task [Nightly] of [/q/QvrTask.ini]");
}

}  // namespace
}  // namespace quillon

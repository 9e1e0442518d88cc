// Desktop launchers: the file text, the file names they may take, the folders they go to, and
// one launch through GLib's own desktop-file reader (gio launch) when it is installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/DesktopIntegration.h"
#include "platform/LauncherEntry.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

using test::ScopedEnv;

class AnsweringCommands : public CommandRunner {
 public:
  explicit AnsweringCommands(CommandOutput answer) : answer_(std::move(answer)) {}
  CommandOutput Run(const std::vector<std::string>& argv, std::string_view) override {
    calls.push_back(argv);
    return answer_;
  }
  std::vector<std::vector<std::string>> calls;

 private:
  CommandOutput answer_;
};

LauncherEntry Tricky(const std::string& program = "/opt/q apps/quillon") {
  return {"Nightly \\ backup",
          program,
          {"/home/ann/it's 100%/QvrTask.ini", "SESSION03", "-TaskID", "7", "$HOME \"q\" `x` \\",
           "two\nlines"},
          program.substr(0, program.rfind('/')),
          "Harbell Task [Nightly] of [/home/ann/QvrTask.ini]",
          {}};
}

TEST(LauncherEntry, EntryTextQuotesEveryWord) {
  EXPECT_EQ(DesktopEntryText(Tricky()),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Version=1.0\n"
            "Name=Nightly \\\\ backup\n"
            "Comment=Harbell Task [Nightly] of [/home/ann/QvrTask.ini]\n"
            "Exec=\"/opt/q apps/quillon\" \"/home/ann/it's 100%%/QvrTask.ini\" \"SESSION03\" "
            "\"-TaskID\" \"7\" \"\\\\$HOME \\\\\"q\\\\\" \\\\`x\\\\` \\\\\\\\\" \"two\\nlines\"\n"
            "Path=/opt/q apps\n"
            "Icon=quillon\n"
            "Terminal=false\n"
            "Categories=Network;FileTransfer;\n");
  LauncherEntry bad = Tricky();
  bad.comment = "bell\a";
  EXPECT_EQ(DesktopEntryText(bad), std::nullopt);

  // An environment goes through `env`, quoted like every other word.
  LauncherEntry withHome = Tricky();
  withHome.arguments = {"SESSION03"};
  withHome.environment = {"QUILLON_HOME=/srv/q 100%/"};
  std::string text = DesktopEntryText(withHome).value_or("");
  EXPECT_NE(text.find("\nExec=\"env\" \"QUILLON_HOME=/srv/q 100%%/\" \"/opt/q apps/quillon\" "
                      "\"SESSION03\"\n"),
            std::string::npos)
      << text;
}

TEST(LauncherEntry, FileNamesStayInsideTheFolder) {
  for (const std::string& name : {std::string("Nightly"), std::string(".profile"),
                                  std::string("Ünïcode name"), std::string(247, 'n')}) {
    EXPECT_TRUE(IsLauncherFileName(name)) << name;
  }
  for (const std::string& name :
       {std::string(""), std::string("."), std::string(".."), std::string("../evil"),
        std::string("a/b"), std::string("a..b"), std::string("a\nb"), std::string(248, 'n')}) {
    EXPECT_FALSE(IsLauncherFileName(name)) << name;
  }
}

TEST(LauncherEntry, WritesReplacesAndNeverMakesTheFolder) {
  test::TempDir dir;
  std::string file = dir.file("Nightly.desktop");
  ASSERT_TRUE(WriteLauncherFile(dir.path().string(), "Nightly", "first"));
  ASSERT_TRUE(WriteLauncherFile(dir.path().string(), "Nightly", "second"));
  EXPECT_EQ(test::ReadFile(file), "second");
  struct stat info;
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);

  EXPECT_FALSE(WriteLauncherFile(dir.file("missing"), "Nightly", "x"));
  EXPECT_FALSE(fs::exists(dir.file("missing")));
  EXPECT_FALSE(WriteLauncherFile(dir.file("sub"), "../Nightly", "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(LauncherEntry, FoldersFromTheUsersSettings) {
  ScopedEnv home("HOME", "/home/ann");
  ScopedEnv data("XDG_DATA_HOME", "/data");
  CommandOutput answer;
  answer.started = answer.exited = true;
  answer.code = 0;
  answer.out = "/home/ann/Schreibtisch\n";
  AnsweringCommands commands(answer);
  LauncherFolders folders = UserLauncherFolders(commands);
  EXPECT_EQ(commands.calls.front(), (std::vector<std::string>{"xdg-user-dir", "DESKTOP"}));
  EXPECT_EQ(folders.desktop, "/home/ann/Schreibtisch");
  EXPECT_EQ(folders.quickLaunch, "");  // no Linux desktop shows one
  EXPECT_EQ(folders.startMenu, "/data/applications");
  EXPECT_EQ(folders.programs, "/data/applications");
  EXPECT_EQ(folders.home, "/home/ann");

  ScopedEnv relative("XDG_DATA_HOME", "data");
  AnsweringCommands missing{CommandOutput{}};
  folders = UserLauncherFolders(missing);
  EXPECT_EQ(folders.desktop, "/home/ann/Desktop");
  EXPECT_EQ(folders.startMenu, "/home/ann/.local/share/applications");
}

TEST(LauncherEntry, GioStartsTheProgramWithTheExactArguments) {
  if (!fs::exists("/usr/bin/gio")) GTEST_SKIP() << "gio is not installed";
  test::TempDir dir;
  fs::path program = dir.path() / "bin 'q' dir" / "quillon";
  fs::create_directories(program.parent_path());
  std::string started = dir.file("started");
  test::WriteFile(program, "#!/bin/sh\n{ pwd; for a; do echo \"[$a]\"; done; } > '" + started +
                               ".part' && mv '" + started + ".part' '" + started + "'\n");
  fs::permissions(program, fs::perms::owner_all);
  std::optional<std::string> text = DesktopEntryText(Tricky(program.string()));
  ASSERT_TRUE(text);
  ASSERT_TRUE(WriteLauncherFile(dir.path().string(), "Nightly", *text));
  test::ProcessResult launched =
      test::RunProcess({"/usr/bin/gio", "launch", dir.file("Nightly.desktop")});
  ASSERT_EQ(launched.exitCode, 0) << launched.err;
  ASSERT_TRUE(test::WaitFor([&] { return fs::exists(started); }));
  EXPECT_EQ(test::ReadFile(started), program.parent_path().string() +
                                         "\n[/home/ann/it's 100%/QvrTask.ini]\n[SESSION03]\n"
                                         "[-TaskID]\n[7]\n[$HOME \"q\" `x` \\]\n[two\nlines]\n");
}

// Quillon's icon and menu launcher go to the user's data folder unless a system install brought
// them; the built-in icon is the one in data/.
TEST(DesktopIntegration, IconAndLauncherWhereNoSystemInstallHasThem) {
  test::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.file("data").c_str());
  ScopedEnv system("XDG_DATA_DIRS", (dir.file("usr") + ":relative").c_str());
  const std::string svg = test::ReadFile(test::SourceDir() / "data/quillon.svg");
  ASSERT_NE(svg.find("<svg"), std::string::npos);

  const std::string icon = dir.file("data/icons/hicolor/scalable/apps/quillon.svg");
  EXPECT_EQ(InstallQuillonIcon(), icon);
  EXPECT_EQ(test::ReadFile(icon), svg);
  const std::string launcher = dir.file("data/applications/quillon.desktop");
  ASSERT_TRUE(InstallApplicationLauncher("/opt/quillon dev/quillon"));
  std::string text = test::ReadFile(launcher);
  EXPECT_NE(text.find("\nName=Quillon\nComment="), std::string::npos) << text;
  EXPECT_NE(text.find("\nExec=\"/opt/quillon dev/quillon\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nIcon=quillon\n"), std::string::npos) << text;
  if (fs::exists("/usr/bin/desktop-file-validate")) {
    test::ProcessResult checked = test::RunProcess({"/usr/bin/desktop-file-validate", launcher});
    EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
    checked = test::RunProcess(
        {"/usr/bin/desktop-file-validate", (test::SourceDir() / "data/quillon.desktop").string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
  }
  // A moved program gets its launcher rewritten; a changed icon is put back.
  ASSERT_TRUE(InstallApplicationLauncher("/usr/local/bin/quillon"));
  EXPECT_NE(test::ReadFile(launcher).find("Exec=\"/usr/local/bin/quillon\""), std::string::npos);
  test::WriteFile(icon, "spoilt");
  EXPECT_EQ(InstallQuillonIcon(), icon);
  EXPECT_EQ(test::ReadFile(icon), svg);

  // Installed for the system: that icon is used, and nothing more is written for the user.
  fs::remove_all(dir.path() / "data");
  fs::create_directories(dir.path() / "usr/icons/hicolor/scalable/apps");
  fs::create_directories(dir.path() / "usr/applications");
  test::WriteFile(dir.path() / "usr/icons/hicolor/scalable/apps/quillon.svg", svg);
  test::WriteFile(dir.path() / "usr/applications/quillon.desktop", "[Desktop Entry]\n");
  EXPECT_EQ(InstallQuillonIcon(), dir.file("usr/icons/hicolor/scalable/apps/quillon.svg"));
  EXPECT_TRUE(InstallApplicationLauncher("/usr/bin/quillon"));
  EXPECT_FALSE(fs::exists(dir.path() / "data"));
}

}  // namespace
}  // namespace quillon

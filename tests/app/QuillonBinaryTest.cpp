#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::RunProcess;

class QuillonBinaryTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::vector<std::string> env{"QUILLON_HOME=" + dir.file("home"),
                               "XDG_DATA_HOME=" + dir.file("data"),
                               "XDG_DATA_DIRS=" + dir.file("none"),
                               "DISPLAY",
                               "WAYLAND_DISPLAY",
                               "QT_QPA_PLATFORM"};

  test::ProcessResult Quillon(std::vector<std::string> args) {
    args.insert(args.begin(), test::BuiltProgram("app/quillon"));
    return RunProcess(args, {}, env);
  }
};

// Without a display every refusal goes to stderr, notified or not: under cron or systemd that
// is the only trace an administrator gets.
TEST_F(QuillonBinaryTest, RefusedLinesExitWith255AndSayWhyOnStderr) {
  auto refused = Quillon({"tasks.ini", "SESSION20", "-Notify"});
  EXPECT_EQ(refused.exitCode, 255);
  EXPECT_EQ(refused.err, "Session number out of range.\n");

  auto scheduled = Quillon({"tasks.ini", "SESSION20"});
  EXPECT_EQ(scheduled.exitCode, 255);
  EXPECT_EQ(scheduled.err, "Session number out of range.\n");

  auto missing = Quillon({"-notify"});
  EXPECT_EQ(missing.exitCode, 255);
  EXPECT_EQ(missing.err, "Command syntax error.\n");
}

TEST_F(QuillonBinaryTest, HelpVersionAndTheProgramFolder) {
  auto help = Quillon({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("SESSIONnn"), std::string::npos);
  auto version = Quillon({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_NE(version.out.find("Harbell"), std::string::npos);

  auto interactive = Quillon({});
  EXPECT_EQ(interactive.exitCode, 0);
  EXPECT_NE(interactive.err.find("needs a desktop"), std::string::npos) << interactive.err;
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "home"));
  // The encrypted-file type is registered for the user.
  auto package = dir.path() / "data/mime/packages/quillon-qvr.xml";
  ASSERT_TRUE(std::filesystem::exists(package));
  EXPECT_NE(test::ReadFile(package).find("QVR5"), std::string::npos);
  // Its icon and the main window's launcher too, for the program that was started.
  EXPECT_EQ(test::ReadFile(dir.path() / "data/icons/hicolor/scalable/apps/quillon.svg"),
            test::ReadFile(test::SourceDir() / "data/quillon.svg"));
  std::string launcher = test::ReadFile(dir.path() / "data/applications/quillon.desktop");
  EXPECT_NE(launcher.find("\nExec=\"" +
                          std::filesystem::canonical(test::BuiltProgram("app/quillon")).string() +
                          "\"\n"),
            std::string::npos)
      << launcher;
}

}  // namespace
}  // namespace quillon

// The real quillon binary running tasks from its command line against real FTP and SMTP
// servers.
#include <gtest/gtest.h>

#include <filesystem>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/FtpServer.h"
#include "support/SmtpServer.h"
#include "support/TestSupport.h"
#include "tasks/TaskLog.h"
#include "tasks/TaskStore.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class TaskCommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(home);
    fs::create_directories(serverRoot);
    fs::create_directories(local / "out/deep");
    server = std::make_unique<test::FtpServer>(test::FtpServer::Options{serverRoot});
    ConnectionProfile profile = server->Profile();
    ASSERT_TRUE(WriteText(2, "Profile", "Backup", store));
    ASSERT_TRUE(WriteText(2, "Address", profile.address, store));
    ASSERT_TRUE(WriteNumber(2, "Port", profile.port, store));
    ASSERT_TRUE(WriteText(2, "UserName", profile.userName, store));
    ASSERT_TRUE(WriteProtected(2, "Password", profile.password, store));
    ASSERT_TRUE(WriteNumber(2, "SavePassword", 1, store));
    ASSERT_TRUE(WriteNumber(2, "PASVMode", 1, store));

    task.name = "Backup";
    task.slot = 2;
    task.upload = task.download = true;
    task.uploadFrom = (local / "out").string();
    task.uploadTo = "/vault/daily";
    task.downloadFrom = "/vault/daily";
    task.downloadTo = (local / "back").string();
    task.encryptFiles = task.decryptFiles = true;
    task.encryptionKeyName = "vault";
    task.encryptionKey = task.decryptionKey = "s3cret pass phrase";
    task.useEmail = true;
    task.emailServer = smtp.address();
    task.emailFrom = "quillon@example.org";
    task.emailTo = "ops@example.org";
    ASSERT_TRUE(SaveTask(task, store));
  }

  test::ProcessResult Quillon(std::vector<std::string> args) {
    args.insert(args.begin(), test::BuiltProgram("app/quillon"));
    return test::RunProcess(args, {},
                            {"QUILLON_HOME=" + home.string(),
                             "XDG_DATA_HOME=" + dir.file("data"), "DISPLAY=",
                             "WAYLAND_DISPLAY="});
  }

  test::TempDir dir;
  fs::path home = dir.path() / "home";
  std::string store = (home / "QvrTask.ini").string();
  fs::path serverRoot = dir.path() / "server";
  fs::path local = dir.path() / "local";
  std::unique_ptr<test::FtpServer> server;
  test::SmtpServer smtp;
  TaskDefinition task;
};

TEST_F(TaskCommandLineTest, ARunMovesTheFilesEncryptedAndBackAndMailsTheLog) {
  WriteFile(local / "out/ledger.csv", "date,amount\n2026-12-01,10\n");
  WriteFile(local / "out/deep/photo.raw", std::string(300000, '\x5a'));

  auto run = Quillon({"QvrTask.ini", "SESSION02", "-Notify"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(local / "back/ledger.csv"), "date,amount\n2026-12-01,10\n");
  EXPECT_EQ(ReadFile(local / "back/deep/photo.raw"), std::string(300000, '\x5a'));
  EXPECT_EQ(ReadFile(serverRoot / "vault/daily/ledger.csv.qvr").substr(0, 4), "QVR4");

  std::string log = ReadFile(home / "Backup.log");
  EXPECT_NE(log.find("Harbell task [Backup] of [" + store + "]\nStarted at: "), std::string::npos);
  EXPECT_NE(log.find("Ended at: "), std::string::npos);
  // -Notify shows the log; without a display it goes to stdout.
  EXPECT_EQ(run.out, "=======================\n" + log + "=======================\n");
  EXPECT_EQ(ReadNumber(2, "FilesUploadedOK", store), 2);
  EXPECT_EQ(ReadNumber(2, "FilesDownloadedOK", store), 2);

  ASSERT_TRUE(smtp.WaitForMessages(1));
  auto mail = smtp.Messages().front();
  EXPECT_EQ(mail.rcptTo, std::vector<std::string>{"ops@example.org"});
  EXPECT_NE(mail.data.find("Subject: Harbell task [Backup] completed at: "), std::string::npos);
  EXPECT_NE(mail.data.find("Uploading files from " + task.uploadFrom + " to /vault/daily."),
            std::string::npos);
}

TEST_F(TaskCommandLineTest, ASecondRunWhileOneIsGoingLeavesTheLogAlone) {
  TaskLog running(home.string() + "/", "Backup");
  running.Write("first run still going\n");
  auto second = Quillon({store, "SESSION02"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;
  EXPECT_EQ(running.ReadAll(), "first run still going\n");
  EXPECT_FALSE(fs::exists(serverRoot / "vault"));
}

}  // namespace
}  // namespace quillon

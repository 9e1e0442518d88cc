// The real quillon binary running tasks from its command line against real FTP and SMTP
// servers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/SmtpServer.h"
#include "support/SshServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "tasks/TaskLog.h"
#include "tasks/TaskShortcuts.h"
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
    ASSERT_TRUE(test::ProfileSection::Of(server->Profile(), "Backup").Write(2, store));

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
                            {"QUILLON_HOME=" + home.string(), "XDG_DATA_HOME=" + dir.file("data"),
                             "DISPLAY=", "WAYLAND_DISPLAY="});
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

// The words of a launcher's Exec= as a desktop runs them: the string escapes of the value, then
// the double-quoted words with their backslash escapes and "%%" for "%".
std::vector<std::string> ExecWords(const std::string& desktopFile) {
  std::string text = ReadFile(desktopFile);
  size_t at = text.find("\nExec=");
  std::string value = text.substr(at + 6, text.find('\n', at + 1) - at - 6);
  std::string unescaped;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      char c = value[++i];
      unescaped += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    } else {
      unescaped += value[i];
    }
  }
  std::vector<std::string> words;
  for (size_t i = 0; i < unescaped.size(); ++i) {
    if (unescaped[i] != '"') continue;
    std::string word;
    for (++i; i < unescaped.size() && unescaped[i] != '"'; ++i) {
      if (unescaped[i] == '\\') ++i;
      if (unescaped[i] == '%') ++i;
      word += unescaped[i];
    }
    words.push_back(word);
  }
  return words;
}

// A launcher made while QUILLON_HOME names the program folder runs, from a bare environment,
// with that folder: its log lands where the task manager looks.
TEST_F(TaskCommandLineTest, ALaunchersRunFindsTheProgramFolderFromABareEnvironment) {
  WriteFile(local / "out/ledger.csv", "date,amount\n");
  fs::create_directories(dir.path() / "Desktop");
  LauncherFolders folders;
  folders.desktop = dir.file("Desktop");
  folders.home = dir.file("user");
  FixedClock clock{TimePoint(std::chrono::seconds(1767225600))};
  const std::string program = fs::canonical(test::BuiltProgram("app/quillon")).string();
  test::RecordingMessages messages;
  ASSERT_TRUE(CreateShortcutsForTask({"Backup now", kShortcutDesktop}, "Backup", 2, program, store,
                                     folders, clock, messages));
  std::vector<std::string> words = ExecWords(dir.file("Desktop/Backup now.desktop"));
  ASSERT_GE(words.size(), 3u);
  EXPECT_EQ(words[0], "env");
  EXPECT_EQ(words[1], "QUILLON_HOME=" + home.string() + "/");
  words.insert(words.begin(), {"/usr/bin/env", "-i"});
  auto run = test::RunProcess(words);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string log = ReadFile(home / "Backup.log");
  EXPECT_NE(log.find("Harbell task [Backup] of [" + store + "]"), std::string::npos);
  EXPECT_EQ(run.out, "=======================\n" + log + "=======================\n");
  EXPECT_EQ(ReadFile(local / "back/ledger.csv"), "date,amount\n");
}

// A hook that never ends is stopped at "HookTimeout"; the run ends and the next one runs.
TEST_F(TaskCommandLineTest, AHookIsStoppedAtItsTimeOutAndTheNextRunIsNotHeldUp) {
  ASSERT_TRUE(ini::Write((home / "Quillon.ini").string(), "Quillon", "HookTimeout", "2"));
  task.runBeforeUpload = "sleep 600";
  task.useEmail = false;
  ASSERT_TRUE(SaveTask(task, store));
  WriteFile(local / "out/a.txt", "a");
  for (int round = 0; round < 2; ++round) {
    auto start = std::chrono::steady_clock::now();
    auto run = Quillon({store, "SESSION02"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("already running"), std::string::npos) << run.err;
    std::string log = ReadFile(home / "Backup.log");
    EXPECT_NE(log.find("\nFAILED: RunBeforeUpload: sleep 600\nThe command did not end within 2 "
                       "seconds (\"HookTimeout\") and was stopped.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Ended at: "), std::string::npos);
  }
  EXPECT_EQ(ReadFile(local / "back/a.txt"), "a");
}

// Files from an editor (a byte-order mark), the server's root as a folder, and a store made
// read-only: each run does its work and a read-only store stays exactly as it was.
TEST_F(TaskCommandLineTest, HandWrittenFilesTheRootFolderAndAReadOnlyStore) {
  WriteFile(serverRoot / "top.txt", "top");
  fs::create_directories(serverRoot / "sub");
  WriteFile(serverRoot / "sub/deep.txt", "deep");
  task.upload = false;
  task.uploadFrom.clear();
  task.uploadTo.clear();
  task.downloadFrom = "/";
  task.useEmail = false;
  ASSERT_TRUE(SaveTask(task, store));
  WriteFile(store, "\xEF\xBB\xBF" + ReadFile(store));

  auto run = Quillon({store, "SESSION02"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string log = ReadFile(home / "Backup.log");
  EXPECT_NE(log.find("\nDownloading files from / to " + task.downloadTo + ".\n"), std::string::npos)
      << log;
  EXPECT_EQ(ReadFile(local / "back/top.txt"), "top") << log;
  EXPECT_EQ(ReadFile(local / "back/sub/deep.txt"), "deep") << log;
  EXPECT_EQ(ReadNumber(2, "FilesDownloadedOK", store), 2);
  EXPECT_TRUE(ReadFile(store).starts_with("\xEF\xBB\xBF[SESSION02]"));

  ASSERT_EQ(chmod(store.c_str(), 0444), 0);
  const std::string before = ReadFile(store);
  fs::remove_all(local / "back");
  run = Quillon({store, "SESSION02"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(local / "back/top.txt"), "top");
  auto refused = test::RunProcess(
      {test::BuiltProgram("tool/quillon-tool"), "task", "delete", "--store", store, "--slot", "2"},
      {}, {"PATH=/nonexistent", "HOME=" + dir.file("user")});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "quillon-tool: cannot write " + store + "\n");
  EXPECT_EQ(ReadFile(store), before);
  struct stat info;
  ASSERT_EQ(stat(store.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);
}

// An unattended run never asks: a server over TLS whose certificate is not trusted fails the
// run as a failed connection, with one log line naming the fingerprint and the command that
// trusts it; run as that line says, the next run goes through. No password or key reaches the
// log, the mail or the FTP trace.
TEST_F(TaskCommandLineTest, AnUntrustedServerFailsTheRunWithTheCommandThatTrustsIt) {
  WriteFile(local / "out/ledger.csv", "date,amount\n");
  const std::string password = server->Profile().password;

  // What a failed connection ends with (a wrong password).
  ASSERT_TRUE(WriteProtected(2, "Password", "not-the-password", store));
  const int failedConnection = Quillon({store, "SESSION02"}).exitCode;
  ASSERT_TRUE(WriteProtected(2, "Password", password, store));

  test::TestCertificates certificates;
  server = std::make_unique<test::FtpServer>(test::FtpServer::Options{
      .root = serverRoot, .tlsCertificate = certificates.ServerPem("selfsigned")});
  ASSERT_TRUE(WriteNumber(2, "Port", server->port(), store));
  ASSERT_TRUE(WriteText(2, "Protocol", "ftpes", store));
  fs::remove(home / "Backup.log");

  auto run = Quillon({store, "SESSION02"});
  EXPECT_EQ(run.exitCode, failedConnection) << run.err;
  const std::string fingerprint = certificates.Fingerprint("selfsigned");
  std::string log = ReadFile(home / "Backup.log");
  const std::string command =
      "quillon-tool trust --ini " + store + " --slot 2 --fingerprint " + fingerprint;
  EXPECT_NE(log.find("The certificate of the server 127.0.0.1:" + std::to_string(server->port()) +
                     " is not trusted (self-signed certificate): " + fingerprint +
                     ". To trust it, check the fingerprint and run: " + command),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Connection failed in uploading."), std::string::npos) << log;
  for (const auto& line : server->Commands()) EXPECT_NE(line.rfind("USER", 0), 0u) << line;

  auto trusted = test::RunProcess({test::BuiltProgram("tool/quillon-tool"), "trust", "--ini", store,
                                   "--slot", "2", "--fingerprint", fingerprint},
                                  {}, {"QUILLON_HOME=" + home.string()});
  ASSERT_EQ(trusted.exitCode, 0) << trusted.err;

  fs::remove(home / "Backup.log");
  auto traced =
      test::RunProcess({test::BuiltProgram("app/quillon"), store, "SESSION02"}, {},
                       {"QUILLON_HOME=" + home.string(), "XDG_DATA_HOME=" + dir.file("data"),
                        "DISPLAY=", "WAYLAND_DISPLAY=", "QUILLON_FTP_TRACE=1"});
  ASSERT_EQ(traced.exitCode, 0) << traced.err;
  EXPECT_EQ(ReadFile(serverRoot / "vault/daily/ledger.csv.qvr").substr(0, 4), "QVR4");
  log = ReadFile(home / "Backup.log");
  EXPECT_NE(traced.err.find("PASS ****"), std::string::npos) << "the trace ran";
  ASSERT_TRUE(smtp.WaitForMessages(1));
  for (const std::string& secret : {password, task.encryptionKey}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    EXPECT_EQ(traced.err.find(secret), std::string::npos) << secret;
    EXPECT_EQ(traced.out.find(secret), std::string::npos) << secret;
    for (const auto& mail : smtp.Messages()) EXPECT_EQ(mail.data.find(secret), std::string::npos);
  }
}

// An SFTP task: refused while the server's host key is unknown, with the command that trusts it;
// once trusted, the files go up encrypted and come back decrypted, logged in with a key.
TEST_F(TaskCommandLineTest, AnSftpTaskRunsOnceItsHostKeyIsTrusted) {
  test::SshServer ssh(dir.path() / "sftp-root");
  WriteFile(local / "out/ledger.csv", "date,amount\n");
  ASSERT_TRUE(WriteText(2, "Protocol", "sftp", store));
  ASSERT_TRUE(WriteText(2, "Address", "127.0.0.1", store));
  ASSERT_TRUE(WriteNumber(2, "Port", ssh.port(), store));
  ASSERT_TRUE(WriteText(2, "UserName", ssh.user(), store));
  ASSERT_TRUE(WriteText(2, "PrivateKeyFile", ssh.KeyFile("ed25519"), store));
  task.uploadTo = task.downloadFrom = ssh.RemotePath("vault/daily");
  ASSERT_TRUE(SaveTask(task, store));
  // A home of its own, so that no known_hosts file of the user running the tests takes part.
  const std::vector<std::string> env = {"QUILLON_HOME=" + home.string(), "HOME=" + home.string(),
                                        "XDG_DATA_HOME=" + dir.file("data"),
                                        "DISPLAY=", "WAYLAND_DISPLAY="};
  auto run = [&] {
    return test::RunProcess({test::BuiltProgram("app/quillon"), store, "SESSION02"}, {}, env);
  };

  run();
  std::string log = ReadFile(home / "Backup.log");
  EXPECT_NE(log.find("The host key of the server 127.0.0.1:" + std::to_string(ssh.port()) +
                     " is not trusted: " + ssh.HostKeyFingerprint() +
                     ". To trust it, check the fingerprint and run: quillon-tool trust --ini " +
                     store + " --slot 2 --fingerprint " + ssh.HostKeyFingerprint()),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(ssh.RemotePath("vault")));

  auto trusted = test::RunProcess({test::BuiltProgram("tool/quillon-tool"), "trust", "--ini", store,
                                   "--slot", "2", "--fingerprint", ssh.HostKeyFingerprint()},
                                  {}, env);
  ASSERT_EQ(trusted.exitCode, 0) << trusted.err;

  fs::remove(home / "Backup.log");
  auto moved = run();
  log = ReadFile(home / "Backup.log");
  ASSERT_EQ(moved.exitCode, 0) << moved.err << log;
  EXPECT_EQ(ReadFile(ssh.RemotePath("vault/daily/ledger.csv.qvr")).substr(0, 4), "QVR4");
  EXPECT_EQ(ReadFile(local / "back/ledger.csv"), "date,amount\n");
}

}  // namespace
}  // namespace quillon

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <functional>

#include "app/MainApp.h"
#include "ftp/CurlFtp.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/SmtpServer.h"
#include "support/TestSupport.h"
#include "tasks/TaskRun.h"
#include "tasks/TaskStore.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

void SetModified(const fs::path& file, TimePoint when) {
  auto seconds = std::chrono::system_clock::to_time_t(when);
  utimbuf times{seconds, seconds};
  ASSERT_EQ(utime(file.c_str(), &times), 0);
}

// A program folder with one task in slot 0 of its task store, a real FTP server and the
// unattended run wired as start-up wires it, with a fixed clock.
class TaskRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCurlGlobal();
    fs::create_directories(serverRoot);
    fs::create_directories(local / "out");
    fs::create_directories(local / "in");
    server = std::make_unique<test::FtpServer>(test::FtpServer::Options{serverRoot});
    app.SetSession(std::make_unique<CurlFtpConnector>());
    WriteServerProfile();

    task.name = "Nightly";
    task.slot = 0;
    task.upload = true;
    task.uploadFrom = (local / "out").string();
    task.uploadTo = "/incoming";
    task.download = true;
    task.downloadFrom = "/incoming";
    task.downloadTo = (local / "in").string();
    task.encryptFiles = task.decryptFiles = true;
    task.encryptionKeyName = "demo key";
    task.encryptionKey = task.decryptionKey = "correct horse";
  }

  // The connection keys of the server in slot 0 of the task store.
  void WriteServerProfile() {
    test::ProfileSection section = test::ProfileSection::Of(server->Profile(), "Nightly");
    section.binary = true;
    ASSERT_TRUE(section.Write(0, store));
  }

  void Save() { ASSERT_TRUE(SaveTask(task, store)); }

  std::string RunAndReadLog(bool showWindow = false) {
    TaskRunView view;
    view.showLog = [this](const std::string& text) { shownLog += text; };
    TaskRun run(app, clock, view);
    EXPECT_TRUE(run.Dispatch({store, 0, false, showWindow, task.name}));
    return ReadFile(folder + task.name + ".log");
  }

  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string store = folder + "QvrTask.ini";
  fs::path serverRoot = dir.path() / "server";
  fs::path local = dir.path() / "local";
  std::unique_ptr<test::FtpServer> server;
  test::RecordingMessages messages;
  MainApp app{folder, messages};
  FixedClock clock{FromLocalTime(2026, 12, 5, 2, 0, 1)};
  TaskDefinition task;
  std::string shownLog;
};

TEST_F(TaskRunTest, EncryptedUploadThenDecryptingDownloadGivesBackTheBytes) {
  std::string payload(200000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 251);
  WriteFile(local / "out/report.bin", payload);
  fs::create_directories(local / "out/sub");
  WriteFile(local / "out/sub/notes.txt", "line one\nline two\n");
  Save();

  for (bool showWindow : {false, true}) {
    SCOPED_TRACE(showWindow ? "on lanes" : "one after another");
    fs::remove_all(local / "in");
    std::string log = RunAndReadLog(showWindow);

    EXPECT_EQ(ReadFile(local / "in/report.bin"), payload) << log;
    EXPECT_EQ(ReadFile(local / "in/sub/notes.txt"), "line one\nline two\n") << log;
    // What the server holds is the container, never the plain bytes.
    std::string stored = ReadFile(serverRoot / "incoming/report.bin.qvr");
    EXPECT_EQ(stored.substr(0, 4), "QVR4");
    EXPECT_EQ(stored.find(payload.substr(0, 64)), std::string::npos);

    EXPECT_EQ(log.rfind("Harbell task [Nightly] of [" + store +
                            "]\nStarted at: Sat 12/05/2026 "
                            "02:00:01 AM\n",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("\nUploading files from " + task.uploadFrom + " to /incoming.\n"),
              std::string::npos);
    EXPECT_NE(log.find("\nDownloading files from /incoming to " + task.downloadTo + ".\n"),
              std::string::npos);
    EXPECT_NE(log.find("\nHarbell task [Nightly] of [" + store + "]\nEnded at: "),
              std::string::npos);
    EXPECT_EQ(ReadNumber(0, "FilesUploadedOK", store), 2);
    EXPECT_EQ(ReadNumber(0, "FilesUploadedFail", store), 0);
    EXPECT_EQ(ReadNumber(0, "FilesDownloadedOK", store), 2);
    EXPECT_EQ(ReadNumber(0, "FilesDownloadedFail", store), 0);
  }
  EXPECT_TRUE(shownLog.empty()) << "the log is shown only with notify";
}

TEST_F(TaskRunTest, AgeCutoffTakesAFileWrittenExactlyAtTheCutoff) {
  task.download = false;
  task.uploadAgeMode = 1;
  task.uploadAgeHours = 0.5f;
  Save();
  TimePoint cutoff = clock.Now() - std::chrono::seconds(1800);
  WriteFile(local / "out/at-cutoff.txt", "a");
  WriteFile(local / "out/older.txt", "b");
  WriteFile(local / "out/newer.txt", "c");
  SetModified(local / "out/at-cutoff.txt", cutoff);
  SetModified(local / "out/older.txt", cutoff - std::chrono::seconds(1));
  SetModified(local / "out/newer.txt", cutoff + std::chrono::seconds(600));

  std::string log = RunAndReadLog();
  EXPECT_TRUE(fs::exists(serverRoot / "incoming/at-cutoff.txt.qvr")) << log;
  EXPECT_TRUE(fs::exists(serverRoot / "incoming/newer.txt.qvr")) << log;
  EXPECT_FALSE(fs::exists(serverRoot / "incoming/older.txt.qvr")) << log;
  EXPECT_EQ(ReadNumber(0, "FilesUploadedOK", store), 2);
}

TEST_F(TaskRunTest, HooksRunInOrderAndNeverBeforeDownloadWhenBothDirectionsRun) {
  std::string order = dir.file("order.txt");
  auto echo = [&](const char* key) { return std::string("echo ") + key + " >> '" + order + "'"; };
  task.runBeforeUpload = echo("RunBeforeUpload");
  task.runAfterUpload = echo("RunAfterUpload");
  task.runBeforeDownload = echo("RunBeforeDownload");
  task.runAfterDownload = "exit 4";
  WriteFile(local / "out/a.txt", "a");
  Save();

  std::string log = RunAndReadLog();
  EXPECT_EQ(ReadFile(order), "RunBeforeUpload\nRunAfterUpload\n") << log;
  EXPECT_NE(log.find("\nOK: RunBeforeUpload: echo RunBeforeUpload >> '" + order + "'\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\nFAILED: RunAfterDownload: exit 4\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("RunBeforeDownload"), std::string::npos) << log;
}

// The server's root as a task folder: "/" is not stripped to nothing.
TEST_F(TaskRunTest, TheServersRootIsAFolderLikeAnyOther) {
  task.uploadTo = "/";
  task.downloadFrom = "/";
  task.deleteAfterDownload = true;
  WriteFile(local / "out/top.txt", "top");
  fs::create_directories(local / "out/sub");
  WriteFile(local / "out/sub/deep.txt", "deep");
  Save();
  std::string log = RunAndReadLog();
  EXPECT_NE(log.find("\nUploading files from " + task.uploadFrom + " to /.\n"), std::string::npos);
  EXPECT_NE(log.find("\nDownloading files from / to " + task.downloadTo + ".\n"),
            std::string::npos);
  EXPECT_EQ(ReadNumber(0, "FilesUploadedOK", store), 2) << log;
  EXPECT_EQ(ReadNumber(0, "FilesDownloadedOK", store), 2) << log;
  EXPECT_EQ(ReadFile(local / "in/top.txt"), "top") << log;
  EXPECT_EQ(ReadFile(local / "in/sub/deep.txt"), "deep") << log;
  // Deleting after the download empties the root and removes its emptied folder.
  EXPECT_TRUE(fs::is_empty(serverRoot)) << log;
}

// A hook that does not end is stopped at "HookTimeout" with its children, the run goes on, and
// the task's next run is not held up by it.
TEST_F(TaskRunTest, AHookThatNeverEndsIsStoppedAtItsTimeOut) {
  ASSERT_TRUE(ini::Write(folder + "Quillon.ini", "Quillon", "HookTimeout", "1"));
  task.runBeforeUpload = "sleep 600 | cat";
  task.runAfterUpload = "true";
  WriteFile(local / "out/a.txt", "a");
  Save();
  auto start = std::chrono::steady_clock::now();
  std::string log = RunAndReadLog();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  EXPECT_NE(log.find("\nFAILED: RunBeforeUpload: sleep 600 | cat\nThe command did not end within 1 "
                     "seconds (\"HookTimeout\") and was stopped.\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\nOK: RunAfterUpload: true\n"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(local / "in/a.txt"), "a") << log;

  // 0 waits for the end, however long.
  ASSERT_TRUE(ini::Write(folder + "Quillon.ini", "Quillon", "HookTimeout", "0"));
  task.runBeforeUpload = "sleep 2";
  Save();
  log = RunAndReadLog();
  EXPECT_NE(log.find("\nOK: RunBeforeUpload: sleep 2\n"), std::string::npos) << log;
}

TEST_F(TaskRunTest, AConnectionFailureSkipsTheRestAndNoKeyStopsEverything) {
  WriteFile(local / "out/a.txt", "a");
  task.runAfterUpload = "true";
  Save();
  server->Stop();
  std::string log = RunAndReadLog();
  EXPECT_NE(log.find("Connection failed in uploading.\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Downloading"), std::string::npos) << log;
  EXPECT_EQ(log.find("RunAfterUpload"), std::string::npos) << log;

  task.encryptionKey.clear();
  task.encryptFiles = false;
  task.upload = false;
  Save();
  log = RunAndReadLog();
  EXPECT_NE(log.find("\nAll files uploaded to Harbell must be encrypted.\nusing a key (password) "
                     "you choose.\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Downloading"), std::string::npos) << log;
}

// A task whose server settings cannot be read connects nowhere and runs no hook: a locked
// profile that fails its checks would otherwise reach the server without its root folder.
TEST_F(TaskRunTest, ServerSettingsThatCannotBeReadFailTheRunBeforeAnything) {
  const std::string hookRan = dir.file("hook-ran");
  const ConnectionProfile peer = server->Profile();
  const struct {
    const char* what;
    std::function<void()> damage;
  } cases[] = {
      {"no address", [&] { ASSERT_TRUE(WriteText(0, "Address", "", store)); }},
      {"unknown protocol", [&] { ASSERT_TRUE(WriteText(0, "Protocol", "gopher", store)); }},
      {"lock that does not match",
       [&] {
         ASSERT_TRUE(WriteText(0, "Address", "0.0.0.0", store));
         ASSERT_TRUE(WriteProtected(0, "UserName", peer.userName, store));
         ASSERT_TRUE(WriteProtected(0, "LockPassword", "lock-pw", store));
         ASSERT_TRUE(
             WriteProtected(0, "Password", peer.address + ":[QVR]:" + peer.password, store));
         ASSERT_TRUE(WriteBound(0, "RMTROOT", "/jail", "another-pw", store));
       }},
  };
  WriteFile(local / "out/a.txt", "a");
  task.runBeforeUpload = "touch '" + hookRan + "'";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(ini::RemoveSection(store, SessionSection(0)));
    WriteServerProfile();
    Save();
    c.damage();
    std::string log = RunAndReadLog();
    EXPECT_NE(log.find("\nERROR: the server settings of this task in " + store +
                       " (SESSION00) cannot be read: "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Nothing was transferred.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nHarbell task [Nightly] of [" + store + "]\nEnded at: "),
              std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(hookRan));
    EXPECT_FALSE(fs::exists(serverRoot / "incoming"));
    EXPECT_EQ(ReadNumber(0, "FilesUploadedOK", store), -1);
  }
}

TEST_F(TaskRunTest, TheNotificationCarriesTheWholeLogAndNotifyShowsIt) {
  test::SmtpServer smtp;
  // A folder name with a line that is a lone "." puts such a line into the log.
  std::string odd = folder + "odd\n.\nname";
  fs::create_directories(odd);
  std::string oddStore = odd + "/QvrTask.ini";
  fs::copy_file(store, oddStore);
  store = oddStore;
  task.useEmail = true;
  task.emailServer = smtp.address();
  task.emailFrom = "quillon@example.org";
  task.emailTo = "ops@example.org, audit@example.org";
  task.download = false;
  WriteFile(local / "out/a.txt", "a");
  Save();
  ASSERT_TRUE(WriteNumber(0, "Notify", 1, store));

  std::string log = RunAndReadLog();
  ASSERT_TRUE(smtp.WaitForMessages(1));
  auto message = smtp.Messages().front();
  EXPECT_EQ(message.rcptTo, (std::vector<std::string>{"ops@example.org", "audit@example.org"}));
  EXPECT_NE(message.data.find("Subject: Harbell task [Nightly] completed at: Sat 12/05/2026 "
                              "02:00:01 AM"),
            std::string::npos);
  std::string body = message.data.substr(message.data.find("\r\n\r\n") + 4);
  std::string unix;
  for (size_t i = 0; i < body.size(); ++i)
    if (!(body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n')) unix += body[i];
  // The message ends with the terminator's own line end after the log's last line.
  while (!unix.empty() && unix.back() == '\n') unix.pop_back();
  EXPECT_EQ(unix + "\n", log);
  EXPECT_NE(log.find("\n.\n"), std::string::npos);
  EXPECT_EQ(shownLog, log);

  // A mail server that is gone leaves its mark after the trailer.
  ASSERT_TRUE(WriteText(0, "EmailServer", "127.0.0.1:1", store));
  log = RunAndReadLog();
  EXPECT_EQ(log.substr(log.size() - 48), "\nNOTIFICATION EMAIL FAILED. CHECK THE SETTINGS.\n");
}

}  // namespace
}  // namespace quillon

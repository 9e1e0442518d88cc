// quillon-tool's task commands, run as a server's scripts run them, checked against the task
// store as the task run and the task manager read it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"
#include "tasks/TaskSettingsText.h"
#include "tasks/TaskStore.h"
#include "tool/ToolTestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ExpectFailure;
using test::ProcessResult;
using test::Tool;
using Args = std::vector<std::string>;

Args Join(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string WithoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

class TaskCommandsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");
  std::string store = dir.file("QvrTask.ini");

  void SetUp() override {
    const auto r = Tool({"profile", "set", "--ini", ini, "--slot", "2", "--name", "Backup site",
                         "--address", "ftp.example.org", "--port", "2121", "--user", "ops",
                         "--password-stdin", "--passive", "--binary", "--threads", "4"},
                        "ftp password\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  Args NewTask(const std::string& name) const {
    return {"task",           "set", "--store", store, "--new", "--ini", ini,
            "--profile-slot", "2",   "--name",  name};
  }
  Args Update(int slot, const std::string& name) const {
    return {"task", "set", "--store", store, "--slot", std::to_string(slot), "--name", name};
  }

  // A task that uploads with encryption and downloads with decryption, the keys in the
  // environment.
  ProcessResult MakeSimpleTask(const std::string& name) {
    return Tool(Join(NewTask(name), {"--upload-from", dir.file("out"), "--upload-to", "/in",
                                     "--download-from", "/out", "--download-to", dir.file("in"),
                                     "--encryption-key-env", "EK", "--decryption-key-env", "DK"}),
                {}, {"EK=enc key", "DK=dec key"});
  }
};

TEST_F(TaskCommandsTest, ANewTaskCarriesTheProfileAndEverySettingAndPassesTheTaskCheck) {
  const auto made = Tool(Join(NewTask("Nightly"), {"--upload-from",
                                                   "rel/outgoing/",
                                                   "--upload-to",
                                                   "/incoming/nightly",
                                                   "--download-from",
                                                   "/reports",
                                                   "--download-to",
                                                   dir.file("reports"),
                                                   "--upload-age-hours",
                                                   "1.5",
                                                   "--download-age-hours",
                                                   "0.034",
                                                   "--encryption-key-env",
                                                   "ENC_KEY",
                                                   "--encryption-key-name",
                                                   "nightly-2026",
                                                   "--decryption-key-stdin",
                                                   "--move-after-upload",
                                                   dir.file("sent"),
                                                   "--delete-after-download",
                                                   "--backup-local",
                                                   "--backup-remote",
                                                   "--run-before-upload",
                                                   "tar czf /tmp/a.tgz \"/srv/my data\"",
                                                   "--run-after-upload",
                                                   "logger uploaded",
                                                   "--run-after-download",
                                                   "logger downloaded",
                                                   "--email-server",
                                                   "127.0.0.1:2525",
                                                   "--email-from",
                                                   "quillon@example.org",
                                                   "--email-to",
                                                   "ops@example.org; boss@example.org"}),
                         "the decryption key\r\n", {"ENC_KEY=The encryption key, 32 chars: ok"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  EXPECT_EQ(made.out, "0\n");
  EXPECT_EQ(made.err, "");

  TaskDefinition expected;
  expected.name = "Nightly";
  expected.slot = 0;
  expected.upload = true;
  expected.download = true;
  expected.uploadAgeMode = 1;
  expected.uploadAgeHours = 1.5f;
  expected.downloadAgeMode = 1;
  expected.downloadAgeHours = 0.03f;
  // A relative local folder is made absolute: the run starts in no particular folder.
  expected.uploadFrom = (fs::current_path() / "rel/outgoing").string();
  expected.uploadTo = "/incoming/nightly";
  expected.downloadFrom = "/reports";
  expected.downloadTo = dir.file("reports");
  expected.encryptFiles = true;
  expected.decryptFiles = true;
  expected.encryptionKeyName = "nightly-2026";
  expected.encryptionKey = "The encryption key, 32 chars: ok";
  expected.decryptionKey = "the decryption key";
  expected.deleteAfterUpload = true;
  expected.backupDir = dir.file("sent");
  expected.deleteAfterDownload = true;
  expected.backupLocalFile = true;
  expected.backupRemoteFile = true;
  expected.runBeforeUpload = "tar czf /tmp/a.tgz \"/srv/my data\"";
  expected.runAfterUpload = "logger uploaded";
  expected.runAfterDownload = "logger downloaded";
  expected.useEmail = true;
  expected.emailServer = "127.0.0.1:2525";
  expected.emailFrom = "quillon@example.org";
  expected.emailTo = "ops@example.org; boss@example.org";
  TaskDefinition loaded;
  LoadTask(loaded, 0, store);
  EXPECT_EQ(loaded, expected);
  test::RecordingMessages messages;
  EXPECT_TRUE(ValidateTask(loaded, messages));
  EXPECT_TRUE(messages.shown.empty());

  // What the run reads: the section opens as the copied connection, and the task's own keys
  // are there in protected form only.
  ConnectionProfile connection;
  ASSERT_TRUE(ReadProfile(0, connection, store));
  EXPECT_EQ(connection.address, "ftp.example.org");
  EXPECT_EQ(connection.port, 2121);
  EXPECT_EQ(connection.userName, "ops");
  EXPECT_EQ(connection.password, "ftp password");
  EXPECT_TRUE(connection.passiveMode);
  EXPECT_EQ(connection.threadCount, 4);
  EXPECT_EQ(ReadProtected(0, "EncryptionKey", store), expected.encryptionKey);
  EXPECT_EQ(ReadProtected(0, "DecryptionKey", store), expected.decryptionKey);
  const std::string text = test::ReadFile(store);
  for (const char* secret : {"ftp password", "The encryption key", "the decryption key"})
    EXPECT_EQ(text.find(secret), std::string::npos) << secret;
  EXPECT_EQ(ReadText(0, "UploadFileAge", store), "5400");
  EXPECT_EQ(ReadText(0, "DownloadFileAge", store), "108");

  const auto listed = Tool({"task", "list", "--store", store});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, "0\tNightly\n");

  // "show" prints the task manager's Settings text with this system's line ends.
  const auto shown = Tool({"task", "show", "--store", store, "--slot", "0"});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  // Then the schedule, as the task manager shows it.
  EXPECT_EQ(shown.out, WithoutCarriageReturns(TaskSettingsText(0, store)) +
                           "Schedule: Not Set\nNext Run: Never\n");
  EXPECT_NE(shown.out.find("\n[SESSION00]\nProfile=Nightly\nAddress=ftp.example.org\n"),
            std::string::npos);
  EXPECT_NE(shown.out.find("\nUploadTo=/incoming/nightly\n"), std::string::npos);
  EXPECT_EQ(shown.out.find("The encryption key"), std::string::npos);
}

TEST_F(TaskCommandsTest, NewTasksTakeFreeSlotsAndADeletedSlotComesBackEmpty) {
  EXPECT_EQ(MakeSimpleTask("First").out, "0\n");
  EXPECT_EQ(MakeSimpleTask("Second").out, "1\n");
  ASSERT_TRUE(WriteNumber(0, "TaskID", 1767225600, store));

  const auto deleted = Tool({"task", "delete", "--store", store, "--slot", "0"});
  ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "");
  EXPECT_EQ(Tool({"task", "list", "--store", store}).out, "1\tSecond\n");
  ExpectFailure(Tool({"task", "show", "--store", store, "--slot", "0"}),
                "slot 0 of " + store + " holds no task");

  // The freed slot is taken again, without the old task's shortcut identity.
  const auto third = MakeSimpleTask("Third");
  ASSERT_EQ(third.exitCode, 0) << third.err;
  EXPECT_EQ(third.out, "0\n");
  EXPECT_EQ(ReadNumber(0, "TaskID", store), -1);
  EXPECT_EQ(Tool({"task", "list", "--store", store}).out, "0\tThird\n1\tSecond\n");
}

TEST_F(TaskCommandsTest, AnUpdateRewritesTheTaskSettingsAndKeepsTheRestOfTheSection) {
  ASSERT_EQ(Tool(Join(NewTask("Nightly"), {"--upload-from",
                                           dir.file("out"),
                                           "--upload-to",
                                           "/in",
                                           "--download-from",
                                           "/out",
                                           "--download-to",
                                           dir.file("in"),
                                           "--encryption-key-env",
                                           "EK",
                                           "--decryption-key-env",
                                           "DK",
                                           "--delete-after-upload",
                                           "--backup-local",
                                           "--run-after-download",
                                           "logger done",
                                           "--email-server",
                                           "mail",
                                           "--email-from",
                                           "a@b",
                                           "--email-to",
                                           "c@d"}),
                 {}, {"EK=enc key", "DK=dec key"})
                .exitCode,
            0);
  // Keys the run and the shortcuts write stay.
  ASSERT_TRUE(WriteNumber(0, "FilesUploadedOK", 7, store));
  ASSERT_TRUE(WriteNumber(0, "TaskID", 1767225600, store));

  // Download only now, with a new key from standard input; the name's trailing blanks go.
  const auto updated = Tool(Join(Update(0, "Reports only  "),
                                 {"--download-from", "/reports", "--download-to", dir.file("r"),
                                  "--encryption-key-stdin", "--encryption-key-name", "k2"}),
                            "second key\n");
  ASSERT_EQ(updated.exitCode, 0) << updated.err;
  EXPECT_EQ(updated.out, "0\n");

  TaskDefinition t;
  LoadTask(t, 0, store);
  EXPECT_EQ(t.name, "Reports only");
  EXPECT_FALSE(t.upload);
  EXPECT_TRUE(t.download);
  EXPECT_EQ(t.downloadFrom, "/reports");
  EXPECT_EQ(t.encryptionKey, "second key");
  EXPECT_EQ(t.encryptionKeyName, "k2");
  EXPECT_EQ(t.decryptionKey, "");
  EXPECT_FALSE(t.deleteAfterUpload);
  EXPECT_FALSE(t.backupLocalFile);
  EXPECT_EQ(t.runAfterDownload, "");
  EXPECT_FALSE(t.useEmail);
  EXPECT_EQ(t.emailServer, "");
  EXPECT_EQ(ini::Read(store, "SESSION00", "DecryptionKey"), std::nullopt);
  EXPECT_EQ(ReadText(0, "UploadFrom", store), "");
  EXPECT_EQ(ReadNumber(0, "FilesUploadedOK", store), 7);
  EXPECT_EQ(ReadNumber(0, "TaskID", store), 1767225600);
  ConnectionProfile connection;
  ASSERT_TRUE(ReadProfile(0, connection, store));
  EXPECT_EQ(connection.password, "ftp password");
  EXPECT_EQ(Tool({"task", "list", "--store", store}).out, "0\tReports only\n");
}

TEST_F(TaskCommandsTest, RefusedTasksLeaveTheStoreAsItWas) {
  ASSERT_EQ(MakeSimpleTask("Kept").exitCode, 0);
  const std::string before = test::ReadFile(store);
  const Args up = {"--upload-from", dir.file("out"), "--upload-to", "/in"};
  const Args down = {"--download-from", "/out", "--download-to", dir.file("in")};
  const Args enc = {"--encryption-key-env", "EK"};
  const Args both = Join(Join(up, down), Join(enc, {"--decryption-key-env", "DK"}));
  const std::vector<std::string> env = {"EK=enc key", "DK=dec key", "LONG=" + std::string(33, 'k'),
                                        "EMPTY="};
  const struct {
    Args args;
    std::string input;
    std::string error;  // the whole line for the task check's messages, else a fragment
  } cases[] = {
      // The task check's own messages, as the task manager shows them.
      {Join(NewTask("   "), Join(up, enc)), "", "quillon-tool: Invalid task name.\n"},
      {Join(NewTask("T"), enc), "", "quillon-tool: No download or upload checked.\n"},
      {Join(NewTask("T"), {"--upload-from", dir.file("out"), "--encryption-key-env", "EK"}), "",
       "quillon-tool: Invalid upload From/To folder.\n"},
      {Join(NewTask("T"), {"--download-to", dir.file("in"), "--encryption-key-env", "EK"}), "",
       "quillon-tool: Invalid download From/To folder.\n"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--upload-age-hours", "0"})), "",
       "quillon-tool: Invalid upload file time.\n"},
      {Join(NewTask("T"), Join(both, {"--download-age-hours", "0.004"})), "",
       "quillon-tool: Invalid download file time.\n"},
      {Join(NewTask("T"), up), "", "quillon-tool: Please check the `Encrypt Files' box.\n"},
      {Join(NewTask("T"), Join(Join(up, down), enc)), "",
       "quillon-tool: Please check the `Decrypt Files' box.\n"},
      // The tool's own checks.
      {Join(NewTask("T"), down), "", "without an encryption key does not run"},
      {Join(NewTask("T"), Join(up, {"--encryption-key", "secret"})), "",
       "unknown option --encryption-key"},
      {Join(NewTask("T"), Join(up, {"--encryption-key-env", "UNSET_VARIABLE"})), "",
       "UNSET_VARIABLE is not set or empty"},
      {Join(NewTask("T"), Join(up, {"--encryption-key-env", "EMPTY"})), "", "EMPTY"},
      {Join(NewTask("T"), Join(up, {"--encryption-key-env", "LONG"})), "", "at most 32"},
      {Join(NewTask("T"), Join(up, {"--encryption-key-stdin"})), "", "no key on standard input"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--encryption-key-stdin"})), "k\n", "not both"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--encryption-key-name", "sixteen-chars-xx"})), "",
       "--encryption-key-name must be at most 15"},
      {Join(NewTask("T"), Join(up, {"--encryption-key-name", "n"})), "",
       "--encryption-key-name goes with"},
      {{"task", "set", "--store", store, "--name", "T"}, "", "--slot N to change"},
      {Join(Update(0, "T"), {"--new"}), "", "--slot N to change"},
      {Join(Update(0, "T"), {"--ini", ini}), "", "go with --new"},
      {Join(Update(5, "T"), Join(up, enc)), "", "slot 5 of " + store + " holds no task"},
      {{"task", "set", "--store", store, "--new", "--ini", ini, "--profile-slot", "3", "--name",
        "T"},
       "",
       "slot 3 of " + ini + " holds no readable profile"},
      {{"task", "set", "--store", store, "--new", "--ini", ini, "--profile-slot", "20", "--name",
        "T"},
       "",
       "--profile-slot must be a number from 0 to 19"},
      {{"task", "set", "--store", ini, "--new", "--ini", ini, "--profile-slot", "2", "--name", "T"},
       "",
       "different files"},
      {Join(NewTask("T"),
            {"--upload-from", dir.file("out"), "--upload-to", "in", "--encryption-key-env", "EK"}),
       "", "--upload-to must be an absolute remote folder"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--upload-age-hours", "1.5h"})), "",
       "--upload-age-hours must be a number of hours"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--upload-age-hours", "1e9"})), "",
       "--upload-age-hours must be at most 596523 hours"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--run-after-upload", "\"/opt/x\""})), "",
       "wrapped in double quotes"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--run-after-upload", "cmd "})), "",
       "must not begin or end with a blank"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--run-after-upload", "a\nb"})), "",
       "--run-after-upload must be one line"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--run-after-upload", std::string(512, 'x')})), "",
       "at most 511"},
      {Join(NewTask(std::string(252, 'n')), Join(up, enc)), "", "--name must be at most 251"},
      {Join(NewTask("T"), Join(both, {"--run-before-download", "x"})), "",
       "--run-before-download never runs"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--delete-after-download"})), "",
       "--delete-after-download is for a task that downloads"},
      {Join(NewTask("T"), Join(Join(down, enc), {"--move-after-upload", dir.file("m")})), "",
       "--move-after-upload is for a task that uploads"},
      {Join(NewTask("T"),
            Join(Join(up, enc), {"--delete-after-upload", "--move-after-upload", dir.file("m")})),
       "", "not both"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--move-after-upload", dir.file("out/sent")})), "",
       "must not lie inside --upload-from"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--email-server", "mail", "--email-to", "a@b"})), "",
       "go together"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--email-server", "mail", "--email-from", "a@b",
                                               "--email-to", " ; "})),
       "", "must not begin or end with a blank"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--email-server", "mail", "--email-from", "a@b",
                                               "--email-to", ";;"})),
       "", "--email-to holds no address"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--email-server", "mail", "--email-from", "a@b",
                                               "--email-to", "ops@example.org> SIZE=1 <x"})),
       "", "--email-to holds 'ops@example.org>', which is not a mail address"},
      {Join(NewTask("T"), Join(Join(up, enc), {"--email-server", "mail", "--email-from",
                                               "ops-machine", "--email-to", "a@b"})),
       "", "--email-from is not a mail address: 'ops-machine'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const auto r = Tool(c.args, c.input, env);
    ExpectFailure(r, c.error);
    if (c.error.back() == '\n') {
      EXPECT_EQ(r.err, c.error);
    }
    EXPECT_EQ(test::ReadFile(store), before);
  }
  EXPECT_FALSE(fs::exists(dir.file("in")));
  EXPECT_FALSE(fs::exists(dir.file("out")));
}

TEST_F(TaskCommandsTest, TheTwentyFirstTaskFindsNoSlot) {
  for (int slot = 0; slot < kMaxTasks; ++slot)
    ASSERT_TRUE(WriteText(slot, "Profile", "Task " + std::to_string(slot), store));
  const std::string before = test::ReadFile(store);
  const auto r = MakeSimpleTask("One too many");
  ExpectFailure(r, "");
  EXPECT_EQ(r.err, "quillon-tool: Cannot save: Maximum tasks reached.\n");
  EXPECT_EQ(test::ReadFile(store), before);
}

TEST_F(TaskCommandsTest, AStoreThatCannotBeReadOrWrittenIsRefused) {
  ASSERT_EQ(MakeSimpleTask("Kept").exitCode, 0);
  if (::geteuid() != 0) {  // permissions do not hold the superuser back
    ASSERT_EQ(::chmod(store.c_str(), 0444), 0);
    const std::string before = test::ReadFile(store);
    const auto r = MakeSimpleTask("Another");
    ExpectFailure(r, "");
    EXPECT_EQ(r.err, "quillon-tool: Cannot save task.\n");
    ExpectFailure(Tool({"task", "delete", "--store", store, "--slot", "0"}),
                  "cannot write " + store);
    EXPECT_EQ(test::ReadFile(store), before);
    ASSERT_EQ(::chmod(store.c_str(), 0000), 0);
    ExpectFailure(Tool({"task", "list", "--store", store}), "cannot read " + store);
    ASSERT_EQ(::chmod(store.c_str(), 0644), 0);
  }
  // A folder in the store's place is no store.
  fs::create_directory(dir.file("folder"));
  for (const Args& args : {Args{"task", "list", "--store", dir.file("folder")},
                           Args{"task", "show", "--store", dir.file("folder"), "--slot", "0"}}) {
    ExpectFailure(Tool(args), "cannot read " + dir.file("folder"));
  }
  ExpectFailure(Tool({"task", "delete", "--store", store, "--slot", "4"}),
                "slot 4 of " + store + " holds no task");
  ExpectFailure(Tool({"task", "remove", "--store", store}), "unknown task action 'remove'");
  ExpectFailure(Tool({"task"}), "task needs one of set, list, show, delete");

  // A missing store holds no tasks.
  const auto none = Tool({"task", "list", "--store", dir.file("none.ini")});
  EXPECT_EQ(none.exitCode, 0) << none.err;
  EXPECT_EQ(none.out, "");
  EXPECT_FALSE(fs::exists(dir.file("none.ini")));
}

TEST_F(TaskCommandsTest, ALockedProfileBindsTheTaskAndMayImposeItsKey) {
  ASSERT_EQ(Tool({"profile", "lock", "--ini", ini, "--slot", "2", "--lock-password-env", "LP",
                  "--root", "/jail"},
                 {}, {"LP=lock secret"})
                .exitCode,
            0);
  ASSERT_TRUE(WriteBound(2, "EncryptionKey", "imposed key", "lock secret", ini));
  ASSERT_TRUE(WriteBound(2, "EncryptionKeyName", "imposed", "lock secret", ini));
  const Args up = {"--upload-from", dir.file("out"), "--upload-to", "/jail/secret-folder"};

  const std::string before = test::ReadFile(ini);
  ExpectFailure(Tool(Join(Join(NewTask("Locked"), up), {"--encryption-key-env", "EK"}), {},
                     {"EK=my own key"}),
                "come from its locked profile");
  EXPECT_FALSE(fs::exists(store));

  const auto made = Tool(Join(NewTask("Locked"), up));
  ASSERT_EQ(made.exitCode, 0) << made.err;
  TaskDefinition t;
  LoadTask(t, 0, store);
  EXPECT_TRUE(t.locked);
  EXPECT_TRUE(t.lockMode);
  EXPECT_EQ(t.encryptionKey, "imposed key");
  EXPECT_EQ(t.encryptionKeyName, "imposed");
  EXPECT_EQ(t.uploadTo, "/jail/secret-folder");
  const std::string text = test::ReadFile(store);
  for (const char* hidden : {"secret-folder", "imposed", "lock secret", "ftp.example.org"})
    EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
  ConnectionProfile connection;
  ASSERT_TRUE(ReadProfile(0, connection, store));
  EXPECT_EQ(connection.address, "ftp.example.org");
  EXPECT_EQ(connection.remoteRoot, "/jail");
  EXPECT_EQ(test::ReadFile(ini), before);

  // Updated, it keeps the imposed key; key options are still refused.
  ASSERT_EQ(Tool(Join(Update(0, "Locked 2"), up)).exitCode, 0);
  LoadTask(t, 0, store);
  EXPECT_EQ(t.encryptionKey, "imposed key");
  EXPECT_EQ(t.name, "Locked 2");
  ExpectFailure(Tool(Join(Join(Update(0, "L"), up), {"--decryption-key-stdin"}), "k\n"),
                "come from its locked profile");
}

TEST_F(TaskCommandsTest, HelpNamesTheTaskCommands) {
  const auto help = Tool({"--help"});
  ASSERT_EQ(help.exitCode, 0);
  for (const char* text : {"task set --store FILE", "task list", "task show", "task delete",
                           "task schedule --store FILE --slot N", "task unschedule", "profile set"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;

  // Every command and subcommand answers --help with its usage and exit status 0.
  for (const Args& asked :
       {Args{"task", "--help"}, Args{"task", "set", "--help"},
        Args{"task", "schedule", "--store", store, "--help"}, Args{"task", "unschedule", "-h"},
        Args{"profile", "show", "--help"}, Args{"encrypt", "--help"}, Args{"help"}}) {
    SCOPED_TRACE(asked.back());
    const auto r = Tool(asked);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.starts_with("usage:\n")) << r.out;
  }
  const auto task = Tool({"task", "--help"});
  EXPECT_NE(task.out.find("--weekly DAYS HH:MM [--every-weeks N]"), std::string::npos);
  EXPECT_EQ(task.out.find("profile set"), std::string::npos);
}

// What a schedule is given is checked before any scheduler is asked.
TEST_F(TaskCommandsTest, ScheduleOptionsAreChecked) {
  ASSERT_EQ(MakeSimpleTask("Nightly").exitCode, 0);
  const Args base = {"task", "schedule", "--store", store, "--slot", "0", "--program", "/bin/sh"};
  const struct {
    Args options;
    std::string error;
  } cases[] = {
      {{}, "give one of --once, --daily, --weekly, --monthly"},
      {{"--daily", "03:00", "--weekly", "mon", "03:00"}, "give one of"},
      {{"--daily", "3pm"}, "--daily needs a time HH:MM, not '3pm'"},
      {{"--daily", "24:00"}, "--daily needs a time HH:MM"},
      {{"--once", "2024-02-30 10:00"}, "--once needs \"YYYY-MM-DD HH:MM\""},
      {{"--weekly", "mon,funday", "09:00"}, "--weekly: 'funday' is not a day"},
      {{"--weekly", "mon"}, "--weekly needs the days and a time HH:MM"},
      {{"--monthly", "1,32", "09:00"}, "--monthly day must be a number from 1 to 31"},
      {{"--monthly", "15", "09:00", "--months", "jan,smarch"}, "'smarch' is not a month"},
      {{"--daily", "09:00", "--every-weeks", "2"}, "--every-weeks goes with --weekly"},
      {{"--daily", "09:00", "--every-days", "0"}, "--every-days must be a number from 1 to 365"},
      {{"--daily", "09:00", "--repeat-every", "30"}, "--repeat-every and --repeat-for go together"},
      {{"--daily", "09:00", "--repeat-every", "30", "--repeat-for", "20"},
       "--repeat-for must be a number from 30 to 43200"},
      {{"--daily", "23:00", "--every-days", "2", "--repeat-every", "60", "--repeat-for", "180"},
       "every repetition must fall on its own day"},
  };
  const std::string before = test::ReadFile(store);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    ExpectFailure(Tool(Join(base, c.options)), c.error);
  }
  // Well formed, but nothing here can keep it: the reason is told.
  ExpectFailure(Tool(Join(base, {"--weekly", "MON,Friday", "09:00", "--every-weeks", "2"})),
                "cannot schedule: Neither systemd user timers nor cron can be used here");
  ExpectFailure(Tool({"task", "schedule", "--store", store, "--slot", "5", "--daily", "09:00"}),
                "slot 5 of " + store + " holds no task");
  ExpectFailure(Tool({"task", "unschedule", "--store", store, "--slot", "0"}),
                "task \"Nightly\" is not scheduled");
  EXPECT_EQ(test::ReadFile(store), before);
}

}  // namespace
}  // namespace quillon

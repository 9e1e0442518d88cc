// The task store: loading, saving, validating, placing and deleting tasks in "QvrTask.ini".
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/ProfileSection.h"
#include "support/TestSupport.h"
#include "tasks/TaskStore.h"

namespace quillon {
namespace {

using Strings = std::vector<std::string>;

Strings KeysOf(const std::string& file, int32_t slot) {
  Strings keys;
  for (const auto& [key, value] :
       ini::ReadSection(file, SessionSection(slot)).value_or(ini::KeyValues{}))
    keys.push_back(key);
  return keys;
}

// The connection keys of an unlocked profile, as the profile file holds them.
void WriteConnection(const std::string& file, int32_t slot) {
  const test::ProfileSection section{.name = "Office server",
                                     .address = "ftp.example.com",
                                     .port = 2121,
                                     .userName = "ops",
                                     .password = "s3cret"};
  ASSERT_TRUE(section.Write(slot, file));
}

// A locked profile bound to `lockPassword`.
void WriteLockedConnection(const std::string& file, int32_t slot, const std::string& lockPassword) {
  ASSERT_TRUE(WriteText(slot, "Profile", "Locked server", file));
  ASSERT_TRUE(WriteText(slot, "Address", "0.0.0.0", file));
  ASSERT_TRUE(WriteProtected(slot, "Password", "ftp.example.com:[QVR]:s3cret", file));
  ASSERT_TRUE(WriteProtected(slot, "UserName", "ops", file));
  ASSERT_TRUE(WriteProtected(slot, "LockPassword", lockPassword, file));
  ASSERT_TRUE(WriteBound(slot, "RMTROOT", "/jail", lockPassword, file));
}

// A task that uploads and downloads, with every field set.
TaskDefinition FullTask(int32_t slot) {
  TaskDefinition t;
  t.name = "Nightly";
  t.slot = slot;
  t.upload = true;
  t.download = true;
  t.uploadAgeMode = 1;
  t.uploadAgeHours = 1.5f;
  t.downloadAgeMode = 1;
  t.downloadAgeHours = 0.03f;
  t.uploadFrom = "/home/ops/outgoing";
  t.uploadTo = "/in";
  t.downloadFrom = "/out";
  t.downloadTo = "/home/ops/incoming";
  t.encryptFiles = true;
  t.decryptFiles = true;
  t.encryptionKeyName = "Office key";
  t.encryptionKey = "correct horse";
  t.decryptionKey = "battery staple";
  t.deleteAfterUpload = true;
  t.deleteAfterDownload = true;
  t.backupDir = "/home/ops/sent";
  t.backupLocalFile = true;
  t.backupRemoteFile = true;
  t.runBeforeUpload = "make-report";
  t.runBeforeDownload = "echo before";
  t.runAfterUpload = "echo uploaded";
  t.runAfterDownload = "import-files";
  t.useEmail = true;
  t.emailServer = "mail.example.com:2525";
  t.emailFrom = "ops@example.com";
  t.emailTo = "admin@example.org";
  t.lockMode = true;
  return t;
}

const Strings kTaskKeysInOrder = {"Profile",
                                  "Download",
                                  "DownloadFileAge",
                                  "DownloadTo",
                                  "DeleteAfterDownload",
                                  "Upload",
                                  "UploadFileAge",
                                  "UploadFrom",
                                  "DeleteAfterUpload",
                                  "BackupDir",
                                  "EncryptionKeyName",
                                  "EncryptionKey",
                                  "DecryptionKey",
                                  "DownloadFrom",
                                  "UploadTo",
                                  "LockMode",
                                  "BackupLocalFile",
                                  "BackupRemoteFile",
                                  "RunBeforeUpload",
                                  "RunBeforeDownload",
                                  "RunAfterUpload",
                                  "RunAfterDownload",
                                  "EmailServer",
                                  "EmailFrom",
                                  "EmailTo",
                                  "UseEmail"};

class TaskStoreTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string tasks = dir.file("QvrTask.ini");
  std::string profiles = dir.file("Quillon.ini");
  test::RecordingMessages messages;

  Strings Shown() const {
    Strings texts;
    for (const auto& m : messages.shown) {
      EXPECT_EQ(m.icon, MessageIcon::Warning) << m.text;
      texts.push_back(m.text);
    }
    return texts;
  }
};

TEST(TaskAge, SecondsAndHoursConvertInHundredthsOfAnHour) {
  struct ToHours {
    int32_t seconds;
    float hours;
  } toHours[] = {{5400, 1.5f}, {100, 0.03f}, {-1, 0.0f},     {0, 0.0f},       {17, 0.0f},
                 {18, 0.01f},  {3600, 1.0f}, {86400, 24.0f}, {-3600, -0.99f}, {54, 0.02f}};
  for (const auto& c : toHours)
    EXPECT_FLOAT_EQ(AgeHoursFromSeconds(c.seconds), c.hours) << c.seconds;

  struct ToSeconds {
    float hours;
    int32_t mode;
    int32_t seconds;
  } toSeconds[] = {
      {1.5f, 1, 5400},  {0.03f, 1, 108},       {0.01f, 1, 36},
      {2.25f, 1, 8100}, {1.5f, 0, 0},  // "all files" stores no age
      {-2.0f, 1, 0},    {std::nanf(""), 1, 0}, {1e9f, 1, std::numeric_limits<int32_t>::max()}};
  for (const auto& c : toSeconds)
    EXPECT_EQ(AgeSecondsFromHours(c.hours, c.mode), c.seconds) << c.hours << " mode " << c.mode;
}

TEST_F(TaskStoreTest, SaveWritesTheTaskKeysInOrderAndLeavesTheConnectionKeys) {
  WriteConnection(tasks, 3);
  ASSERT_TRUE(WriteNumber(3, "TaskID", 1765000000, tasks));
  const Strings connectionKeys = KeysOf(tasks, 3);

  ASSERT_TRUE(SaveTask(FullTask(3), tasks));

  Strings expected = connectionKeys;
  for (const auto& key : kTaskKeysInOrder)
    if (key != "Profile") expected.push_back(key);  // "Profile" keeps its line
  EXPECT_EQ(KeysOf(tasks, 3), expected);

  // The connection keys are untouched.
  EXPECT_EQ(ReadText(3, "Address", tasks), "ftp.example.com");
  EXPECT_EQ(ReadNumber(3, "Port", tasks), 2121);
  EXPECT_EQ(ReadProtected(3, "Password", tasks), "s3cret");
  EXPECT_EQ(ReadNumber(3, "TaskID", tasks), 1765000000);

  // Plain, numeric and "1"/"0" forms.
  struct Plain {
    const char* key;
    const char* value;
  } plain[] = {{"Profile", "Nightly"},
               {"Download", "1"},
               {"DownloadFileAge", "108"},
               {"DownloadTo", "/home/ops/incoming"},
               {"DeleteAfterDownload", "1"},
               {"Upload", "1"},
               {"UploadFileAge", "5400"},
               {"UploadFrom", "/home/ops/outgoing"},
               {"DeleteAfterUpload", "1"},
               {"BackupDir", "/home/ops/sent"},
               {"DownloadFrom", "/out"},
               {"UploadTo", "/in"},
               {"BackupLocalFile", "1"},
               {"BackupRemoteFile", "1"},
               {"RunBeforeUpload", "make-report"},
               {"RunAfterDownload", "import-files"},
               {"EmailServer", "mail.example.com:2525"},
               {"EmailTo", "admin@example.org"},
               {"UseEmail", "1"}};
  for (const auto& p : plain) EXPECT_EQ(ReadText(3, p.key, tasks), p.value) << p.key;

  // The keys and "LockMode" never stand in the file in clear.
  struct Protected {
    const char* key;
    const char* value;
  } secret[] = {{"EncryptionKeyName", "Office key"},
                {"EncryptionKey", "correct horse"},
                {"DecryptionKey", "battery staple"},
                {"LockMode", "1"}};
  for (const auto& p : secret) {
    EXPECT_NE(ReadText(3, p.key, tasks), p.value) << p.key;
    EXPECT_EQ(ReadProtected(3, p.key, tasks), p.value) << p.key;
  }
}

TEST_F(TaskStoreTest, ASavedTaskLoadsBackAsItWasSaved) {
  WriteConnection(tasks, 0);
  TaskDefinition saved = FullTask(0);
  ASSERT_TRUE(SaveTask(saved, tasks));
  TaskDefinition loaded;
  LoadTask(loaded, 0, tasks);
  EXPECT_EQ(loaded, saved);

  // Switched off, everything that was on is stored as off.
  TaskDefinition plain;
  plain.slot = 0;
  plain.name = "Quiet";
  ASSERT_TRUE(SaveTask(plain, tasks));
  for (const char* key : {"Download", "DownloadFileAge", "DeleteAfterDownload", "Upload",
                          "UploadFileAge", "DeleteAfterUpload"})
    EXPECT_EQ(ReadText(0, key, tasks), "0") << key;
  for (const char* key : {"BackupLocalFile", "BackupRemoteFile", "UseEmail"})
    EXPECT_EQ(ReadText(0, key, tasks), "0") << key;
  EXPECT_EQ(ReadProtected(0, "LockMode", tasks), "0");
  // An empty key is not kept in protected form: its line goes.
  for (const char* key : {"EncryptionKeyName", "EncryptionKey", "DecryptionKey"})
    EXPECT_FALSE(ini::Read(tasks, SessionSection(0), key)) << key;
  TaskDefinition loadedPlain;
  LoadTask(loadedPlain, 0, tasks);
  EXPECT_EQ(loadedPlain, plain);
}

TEST_F(TaskStoreTest, LoadFollowsTheStoredValues) {
  WriteConnection(tasks, 5);
  // Upload switched off with folders left in the file; no "DownloadFileAge" at all; flags
  // that count only as 1.
  ASSERT_TRUE(WriteNumber(5, "Upload", 0, tasks));
  ASSERT_TRUE(WriteText(5, "UploadFrom", "/home/ops/outgoing", tasks));
  ASSERT_TRUE(WriteText(5, "UploadTo", "/in", tasks));
  ASSERT_TRUE(WriteNumber(5, "UploadFileAge", 100, tasks));
  ASSERT_TRUE(WriteNumber(5, "Download", 1, tasks));
  ASSERT_TRUE(WriteText(5, "DownloadFrom", "/out", tasks));
  ASSERT_TRUE(WriteText(5, "DownloadTo", "/home/ops/incoming", tasks));
  ASSERT_TRUE(WriteNumber(5, "DeleteAfterUpload", 2, tasks));
  ASSERT_TRUE(WriteNumber(5, "DeleteAfterDownload", 1, tasks));
  ASSERT_TRUE(WriteText(5, "UseEmail", "1", tasks));
  ASSERT_TRUE(WriteText(5, "BackupLocalFile", "yes", tasks));

  TaskDefinition t;
  LoadTask(t, 5, tasks);
  EXPECT_EQ(t.slot, 5);
  EXPECT_EQ(t.name, "Office server");
  EXPECT_FALSE(t.locked);
  EXPECT_FALSE(t.upload);
  EXPECT_EQ(t.uploadFrom, "");
  EXPECT_EQ(t.uploadTo, "");
  EXPECT_FLOAT_EQ(t.uploadAgeHours, 0.03f);
  EXPECT_EQ(t.uploadAgeMode, 1);
  EXPECT_TRUE(t.download);
  EXPECT_EQ(t.downloadFrom, "/out");
  EXPECT_EQ(t.downloadTo, "/home/ops/incoming");
  EXPECT_EQ(t.downloadAgeMode, 0);
  EXPECT_FLOAT_EQ(t.downloadAgeHours, 0.0f);
  EXPECT_FALSE(t.deleteAfterUpload);
  EXPECT_TRUE(t.deleteAfterDownload);
  EXPECT_TRUE(t.useEmail);
  EXPECT_FALSE(t.backupLocalFile);
  EXPECT_FALSE(t.encryptFiles);
  EXPECT_FALSE(t.decryptFiles);

  // Saved back, the missing age becomes 0.
  ASSERT_TRUE(SaveTask(t, tasks));
  EXPECT_EQ(ReadText(5, "DownloadFileAge", tasks), "0");
  EXPECT_EQ(ReadText(5, "UploadFileAge", tasks), "108");
}

TEST_F(TaskStoreTest, AMissingSectionLoadsAsAnEmptyTaskOfThatSlot) {
  TaskDefinition t = FullTask(2);
  LoadTask(t, 7, tasks);  // the file does not even exist
  TaskDefinition expected;
  expected.slot = 7;
  EXPECT_EQ(t, expected);

  TaskDefinition outside = FullTask(2);
  LoadTask(outside, 20, tasks);
  EXPECT_EQ(outside, TaskDefinition{});
  EXPECT_FALSE(SaveTask(outside, tasks));
  EXPECT_FALSE(std::filesystem::exists(tasks));
}

TEST_F(TaskStoreTest, ALockedSectionKeepsFoldersAndKeysBoundToItsLockPassword) {
  WriteLockedConnection(tasks, 4, "lock-pw");
  TaskDefinition t = FullTask(4);
  t.locked = true;
  ASSERT_TRUE(SaveTask(t, tasks));

  for (const char* key :
       {"EncryptionKeyName", "EncryptionKey", "DecryptionKey", "DownloadFrom", "UploadTo"}) {
    EXPECT_EQ(ReadProtected(4, key, tasks).rfind("lock-pw:[QVR]:", 0), 0u) << key;
  }
  EXPECT_EQ(ReadBound(4, "DownloadFrom", "lock-pw", tasks), "/out");
  EXPECT_EQ(ReadBound(4, "EncryptionKey", "lock-pw", tasks), "correct horse");

  TaskDefinition loaded;
  LoadTask(loaded, 4, tasks);
  EXPECT_EQ(loaded, t);

  // Under another lock password the bound values cannot be read.
  ASSERT_TRUE(WriteProtected(4, "LockPassword", "other-pw", tasks));
  TaskDefinition rebound;
  LoadTask(rebound, 4, tasks);
  EXPECT_TRUE(rebound.locked);
  EXPECT_EQ(rebound.downloadFrom, "");
  EXPECT_EQ(rebound.uploadTo, "");
  EXPECT_EQ(rebound.encryptionKeyName, "");
  EXPECT_EQ(rebound.encryptionKey, "");
  EXPECT_EQ(rebound.decryptionKey, "");
  EXPECT_FALSE(rebound.encryptFiles);
  EXPECT_EQ(rebound.uploadFrom, "/home/ops/outgoing");  // a local folder is plain text

  // A key in plain protected form is not taken for a bound one.
  ASSERT_TRUE(WriteProtected(4, "EncryptionKey", "correct horse", tasks));
  ASSERT_TRUE(WriteProtected(4, "LockPassword", "lock-pw", tasks));
  TaskDefinition unbound;
  LoadTask(unbound, 4, tasks);
  EXPECT_EQ(unbound.encryptionKey, "");
  EXPECT_EQ(unbound.downloadFrom, "/out");
}

TEST_F(TaskStoreTest, ValidationShowsTheFirstFailingMessage) {
  struct Case {
    const char* message;  // nullptr: valid
    void (*change)(TaskDefinition&);
  } cases[] = {
      {nullptr, [](TaskDefinition&) {}},
      {"Click 'New Task' to create a new task.",
       [](TaskDefinition& t) {
         t.slot = -1;
         t.name = "";
       }},
      {"Invalid task name.",
       [](TaskDefinition& t) {
         t.name = " \t ";
         t.upload = false;
       }},
      {"No download or upload checked.",
       [](TaskDefinition& t) {
         t.upload = t.download = false;
         t.uploadFrom.clear();
       }},
      {"Invalid download From/To folder.",
       [](TaskDefinition& t) {
         t.downloadTo.clear();
         t.uploadTo.clear();
       }},
      {"Invalid download From/To folder.", [](TaskDefinition& t) { t.downloadFrom.clear(); }},
      {"Invalid download file time.",
       [](TaskDefinition& t) {
         t.downloadAgeHours = 0;
         t.uploadFrom.clear();
       }},
      {nullptr,
       [](TaskDefinition& t) {
         t.downloadAgeMode = 0;
         t.downloadAgeHours = 0;
       }},
      {"Invalid upload From/To folder.",
       [](TaskDefinition& t) {
         t.uploadFrom.clear();
         t.encryptionKey.clear();
       }},
      {"Invalid upload From/To folder.", [](TaskDefinition& t) { t.uploadTo.clear(); }},
      {"Invalid upload file time.",
       [](TaskDefinition& t) {
         t.uploadAgeHours = -1;
         t.encryptionKey.clear();
       }},
      {"Invalid upload file time.", [](TaskDefinition& t) { t.uploadAgeHours = std::nanf(""); }},
      {"Please check the `Encrypt Files' box.",
       [](TaskDefinition& t) {
         t.encryptionKey.clear();
         t.decryptionKey.clear();
       }},
      {"Please check the `Decrypt Files' box.", [](TaskDefinition& t) { t.decryptionKey.clear(); }},
      // A download-only task needs no key; an upload-only task needs no decryption key.
      {nullptr,
       [](TaskDefinition& t) {
         t.upload = false;
         t.encryptionKey.clear();
         t.decryptionKey.clear();
       }},
      {nullptr,
       [](TaskDefinition& t) {
         t.download = false;
         t.decryptionKey.clear();
       }},
      // The upload part is not looked at when upload is off.
      {nullptr,
       [](TaskDefinition& t) {
         t.upload = false;
         t.uploadFrom.clear();
         t.uploadAgeHours = 0;
       }},
  };
  for (const auto& c : cases) {
    TaskDefinition t = FullTask(1);
    c.change(t);
    test::RecordingMessages shown;
    bool valid = ValidateTask(t, shown);
    SCOPED_TRACE(c.message ? c.message : "valid");
    EXPECT_EQ(valid, c.message == nullptr);
    if (c.message) {
      ASSERT_EQ(shown.shown.size(), 1u);
      EXPECT_EQ(shown.shown[0].text, c.message);
      EXPECT_EQ(shown.shown[0].icon, MessageIcon::Warning);
    } else {
      EXPECT_TRUE(shown.shown.empty());
    }
  }
}

TEST_F(TaskStoreTest, ValidationTrimsTrailingWhiteSpaceFromTheName) {
  TaskDefinition t = FullTask(1);
  t.name = "  Nightly run \t ";
  EXPECT_TRUE(ValidateTask(t, messages));
  EXPECT_EQ(t.name, "  Nightly run");
}

TEST_F(TaskStoreTest, ANewTaskTakesTheFirstFreeSlotWithACopyOfTheConnection) {
  WriteConnection(profiles, 0);
  // A connection section longer than any fixed buffer: every key must arrive.
  std::string longValue(3000, 'x');
  ASSERT_TRUE(WriteText(0, "LocalDir", "/home/ops/" + longValue, profiles));
  ASSERT_TRUE(WriteText(0, "LastKey", "kept", profiles));
  // Slots 0 and 1 are in use; slot 2 held a deleted task whose keys linger.
  ASSERT_TRUE(WriteText(0, "Profile", "First", tasks));
  ASSERT_TRUE(WriteText(1, "Profile", "Second", tasks));
  ASSERT_TRUE(WriteNumber(2, "TaskID", 1765000000, tasks));
  ASSERT_TRUE(WriteText(2, "Stale", "x", tasks));

  TaskDefinition t = NewTask(profiles);
  EXPECT_TRUE(t.isNew);
  EXPECT_EQ(t.slot, 0);
  EXPECT_EQ(t.name, "");
  TaskDefinition edited = FullTask(0);
  edited.isNew = true;
  edited.lockMode = false;
  auto slot = SaveTaskChanges(edited, profiles, tasks, messages);
  ASSERT_EQ(slot, 2);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(edited.slot, 2);
  EXPECT_FALSE(edited.isNew);

  Strings expected = KeysOf(profiles, 0);
  for (const auto& key : kTaskKeysInOrder)
    if (key != "Profile") expected.push_back(key);
  EXPECT_EQ(KeysOf(tasks, 2), expected);
  EXPECT_EQ(ReadText(2, "LastKey", tasks), "kept");
  EXPECT_EQ(ReadProtected(2, "Password", tasks), "s3cret");
  EXPECT_EQ(ini::Read(tasks, SessionSection(2), "LocalDir"), "/home/ops/" + longValue);
  EXPECT_EQ(ReadNumber(2, "TaskID", tasks), -1);
  EXPECT_EQ(ReadText(2, "Profile", tasks), "Nightly");
  EXPECT_EQ(ReadText(0, "Profile", tasks), "First");
  EXPECT_EQ(ReadText(1, "Profile", tasks), "Second");

  // Saved again, the task stays where it is.
  edited.name = "Renamed";
  EXPECT_EQ(SaveTaskChanges(edited, profiles, tasks, messages), 2);
  EXPECT_EQ(ReadText(2, "Profile", tasks), "Renamed");
  EXPECT_EQ(FindFreeTaskSlot(tasks), 3);
}

TEST_F(TaskStoreTest, ANewTaskFromALockedProfileTakesItsKeyLock) {
  WriteLockedConnection(profiles, 0, "lock-pw");
  TaskDefinition plain = NewTask(profiles);
  EXPECT_TRUE(plain.locked);
  EXPECT_FALSE(plain.lockMode);

  ASSERT_TRUE(WriteBound(0, "EncryptionKey", "imposed key", "lock-pw", profiles));
  ASSERT_TRUE(WriteBound(0, "EncryptionKeyName", "Imposed", "lock-pw", profiles));
  TaskDefinition t = NewTask(profiles);
  EXPECT_TRUE(t.isNew);
  EXPECT_TRUE(t.locked);
  EXPECT_TRUE(t.lockMode);
  EXPECT_EQ(t.encryptionKey, "imposed key");
  EXPECT_EQ(t.name, "");

  // Placed and saved, the copy keeps the lock password, so the bound keys stay readable.
  t.name = "Locked nightly";
  t.upload = true;
  t.uploadFrom = "/home/ops/outgoing";
  t.uploadTo = "/jail/in";
  ASSERT_EQ(SaveTaskChanges(t, profiles, tasks, messages), 0)
      << (messages.shown.empty() ? "" : messages.shown[0].text);
  TaskDefinition loaded;
  LoadTask(loaded, 0, tasks);
  EXPECT_EQ(loaded.encryptionKey, "imposed key");
  EXPECT_EQ(loaded.uploadTo, "/jail/in");
  EXPECT_TRUE(loaded.lockMode);
  EXPECT_EQ(ReadProtected(0, "UploadTo", tasks), "lock-pw:[QVR]:/jail/in");
}

TEST_F(TaskStoreTest, TheTwentyFirstTaskCannotBeSaved) {
  WriteConnection(profiles, 0);
  for (int32_t slot = 0; slot < kMaxTasks; ++slot)
    ASSERT_TRUE(WriteText(slot, "Profile", "Task " + std::to_string(slot), tasks));
  const std::string before = test::ReadFile(tasks);
  EXPECT_EQ(FindFreeTaskSlot(tasks), std::nullopt);

  TaskDefinition t = FullTask(0);
  t.isNew = true;
  EXPECT_EQ(SaveTaskChanges(t, profiles, tasks, messages), std::nullopt);
  EXPECT_EQ(Shown(), Strings{"Cannot save: Maximum tasks reached."});
  EXPECT_EQ(test::ReadFile(tasks), before);
  EXPECT_TRUE(t.isNew);
}

TEST_F(TaskStoreTest, AStoreThatCannotBeReadAndWrittenIsNotTouched) {
  // A folder in the store's place can be neither read nor written as a file, whoever runs this.
  std::filesystem::create_directory(tasks);
  EXPECT_FALSE(TaskStoreIsWritable(tasks));
  TaskDefinition t = FullTask(0);
  EXPECT_EQ(SaveTaskChanges(t, profiles, tasks, messages), std::nullopt);
  EXPECT_EQ(Shown(), Strings{"Cannot save task."});
  std::filesystem::remove(tasks);

  // A missing store is fine: the first write makes it.
  EXPECT_TRUE(TaskStoreIsWritable(tasks));
}

// Mode 0444 refuses the save also for root, who could otherwise write or rename over it.
TEST_F(TaskStoreTest, AReadOnlyStoreIsNotTouched) {
  TaskDefinition t = FullTask(0);
  ASSERT_TRUE(WriteText(0, "Profile", "Nightly", tasks));
  chmod(tasks.c_str(), 0444);
  const std::string before = test::ReadFile(tasks);
  EXPECT_FALSE(TaskStoreIsWritable(tasks));
  EXPECT_EQ(SaveTaskChanges(t, profiles, tasks, messages), std::nullopt);
  EXPECT_EQ(Shown(), Strings{"Cannot save task."});
  EXPECT_FALSE(DeleteTask(0, tasks));
  EXPECT_EQ(test::ReadFile(tasks), before);
}

TEST_F(TaskStoreTest, AnInvalidTaskIsNotSaved) {
  TaskDefinition t = FullTask(0);
  t.isNew = true;
  t.uploadTo.clear();
  EXPECT_EQ(SaveTaskChanges(t, profiles, tasks, messages), std::nullopt);
  EXPECT_EQ(Shown(), Strings{"Invalid upload From/To folder."});
  EXPECT_FALSE(std::filesystem::exists(tasks));
}

TEST_F(TaskStoreTest, AKeyThatCannotBeWrittenFailsTheSave) {
  WriteConnection(tasks, 0);
  TaskDefinition t = FullTask(0);
  t.runBeforeUpload = "echo one\necho two";  // a line break cannot stand in an INI value
  EXPECT_FALSE(SaveTask(t, tasks));
  EXPECT_EQ(SaveTaskChanges(t, profiles, tasks, messages), std::nullopt);
  EXPECT_EQ(Shown(), Strings{"Cannot save task."});
}

TEST_F(TaskStoreTest, DeletingEmptiesTheSectionAndFreesTheSlot) {
  WriteConnection(tasks, 0);
  WriteConnection(tasks, 1);
  ASSERT_TRUE(SaveTask(FullTask(0), tasks));
  ASSERT_TRUE(SaveTask(FullTask(1), tasks));
  ASSERT_TRUE(WriteNumber(0, "TaskID", 1765000000, tasks));
  const Strings otherKeys = KeysOf(tasks, 1);

  ASSERT_TRUE(DeleteTask(0, tasks));
  EXPECT_EQ(KeysOf(tasks, 0), Strings{});
  EXPECT_EQ(ini::SectionNames(tasks), (Strings{"SESSION00", "SESSION01"}));
  EXPECT_FALSE(IsTaskSlotUsed(0, tasks));
  EXPECT_TRUE(IsTaskSlotUsed(1, tasks));
  EXPECT_EQ(KeysOf(tasks, 1), otherKeys);
  EXPECT_EQ(FindFreeTaskSlot(tasks), 0);
  EXPECT_FALSE(DeleteTask(-1, tasks));
}

}  // namespace
}  // namespace quillon

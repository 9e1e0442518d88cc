#include <gtest/gtest.h>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "profiles/SessionOptions.h"
#include "support/TestSupport.h"
#include "tasks/TaskDefinition.h"

namespace quillon {
namespace {

class SessionOptionsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");

  ConnectionProfile Profile(int32_t slot,
                            const std::vector<std::pair<std::string, std::string>>& keys) {
    EXPECT_TRUE(WriteText(slot, "Profile", "Site", ini));
    EXPECT_TRUE(WriteText(slot, "Address", "ftp.example.org", ini));
    for (const auto& [key, value] : keys) EXPECT_TRUE(WriteText(slot, key, value, ini));
    ConnectionProfile profile;
    EXPECT_TRUE(ReadProfile(slot, profile, ini));
    return profile;
  }
};

TEST_F(SessionOptionsTest, ProfileKeysPresetTheFields) {
  const struct {
    std::vector<std::pair<std::string, std::string>> keys;
    int32_t threadChoice;
    int32_t afterUpload;
    std::string moveFolder;
  } cases[] = {
      {{}, 2, kKeepUploaded, ""},  // "MaxThread" missing: 3 threads
      {{{"MaxThread", "5"}}, 4, kKeepUploaded, ""},
      {{{"MaxThread", "0"}}, 0, kKeepUploaded, ""},
      {{{"MaxThread", "12"}}, 6, kKeepUploaded, ""},
      {{{"DeleteAfterUpload", "0"}, {"BackupDir", "/srv/sent"}}, 2, kKeepUploaded, ""},
      {{{"DeleteAfterUpload", "1"}, {"BackupDir", ""}}, 2, kDeleteUploaded, ""},
      {{{"DeleteAfterUpload", "1"}, {"BackupDir", "/srv/sent"}}, 2, kMoveUploaded, "/srv/sent"},
  };
  int32_t slot = 0;
  for (const auto& c : cases) {
    const SessionOptions options = SessionOptionsOfProfile(Profile(slot, c.keys), ini);
    EXPECT_EQ(options.threadChoice, c.threadChoice) << slot;
    EXPECT_EQ(options.afterUpload, c.afterUpload) << slot;
    EXPECT_EQ(options.moveFolder, c.moveFolder) << slot;
    ++slot;
  }

  const SessionOptions flags = SessionOptionsOfProfile(Profile(9, {{"BinaryMode", "0"},
                                                                   {"DeleteAfterDownload", "1"},
                                                                   {"BackupLocalFile", "1"},
                                                                   {"BackupRemoteFile", "0"}}),
                                                       ini);
  EXPECT_FALSE(flags.binaryMode);
  EXPECT_EQ(flags.afterDownload, 1);
  EXPECT_TRUE(flags.backupLocalFile);
  EXPECT_FALSE(flags.backupRemoteFile);
}

TEST_F(SessionOptionsTest, StoringWritesTheSectionAndReadsBack) {
  ConnectionProfile profile = Profile(3, {{"MaxThread", "5"}, {"Port", "2121"}});
  SessionOptions options = SessionOptionsOfProfile(profile, ini);
  options.threadChoice = 0;  // "1"
  options.binaryMode = false;
  options.afterUpload = kMoveUploaded;
  options.moveFolder = "/srv/sent";
  options.afterDownload = 1;
  options.backupRemoteFile = true;
  ASSERT_TRUE(StoreSessionOptions(options, profile, ini));
  EXPECT_EQ(profile.threadCount, 1);
  EXPECT_TRUE(profile.deleteAfterUpload && profile.deleteAfterDownload && profile.backupRemoteFile);

  const std::pair<const char*, const char*> stored[] = {
      {"MaxThread", "1"},           {"BinaryMode", "0"},
      {"DeleteAfterUpload", "1"},   {"BackupDir", "/srv/sent"},
      {"DeleteAfterDownload", "1"}, {"BackupLocalFile", "0"},
      {"BackupRemoteFile", "1"},    {"Port", "2121"}};
  for (const auto& [key, value] : stored) EXPECT_EQ(ini::Read(ini, "SESSION03", key), value) << key;

  ConnectionProfile reread;
  ASSERT_TRUE(ReadProfile(3, reread, ini));
  EXPECT_EQ(SessionOptionsOfProfile(reread, ini), options);

  // Deleting instead of moving keeps "BackupDir" present but empty.
  options.afterUpload = kDeleteUploaded;
  options.moveFolder.clear();
  ASSERT_TRUE(StoreSessionOptions(options, profile, ini));
  EXPECT_EQ(ini::Read(ini, "SESSION03", "BackupDir"), "");
  EXPECT_EQ(ini::Read(ini, "SESSION03", "DeleteAfterUpload"), "1");
  options.afterUpload = kKeepUploaded;
  ASSERT_TRUE(StoreSessionOptions(options, profile, ini));
  EXPECT_EQ(ini::Read(ini, "SESSION03", "DeleteAfterUpload"), "0");
  EXPECT_FALSE(profile.deleteAfterUpload);
}

TEST_F(SessionOptionsTest, AProfileWithoutSlotIsTakenButNotWritten) {
  ConnectionProfile profile;  // slot -1
  SessionOptions options;
  options.threadChoice = 5;
  EXPECT_TRUE(StoreSessionOptions(options, profile, ini));
  EXPECT_EQ(profile.threadCount, 6);
  EXPECT_TRUE(ini::SectionNames(ini).empty());
}

TEST(SessionOptionsRules, MoveFolderOnOk) {
  const struct {
    int32_t choice;
    std::string folder;
    MoveFolderCheck check;
    std::string after;
  } cases[] = {
      {kMoveUploaded, "/srv/sent", MoveFolderCheck::Accept, "/srv/sent"},
      {kMoveUploaded, "  /srv/sent dir \t", MoveFolderCheck::Accept, "/srv/sent dir"},
      {kMoveUploaded, "", MoveFolderCheck::NeedFolder, ""},
      {kMoveUploaded, "   ", MoveFolderCheck::NeedFolder, ""},
      {kMoveUploaded, "sent", MoveFolderCheck::NeedFolder, "sent"},
      {kDeleteUploaded, "/srv/sent", MoveFolderCheck::Accept, ""},
      {kKeepUploaded, "/srv/sent", MoveFolderCheck::Accept, ""},
  };
  for (const auto& c : cases) {
    SessionOptions options;
    options.afterUpload = c.choice;
    options.moveFolder = c.folder;
    EXPECT_EQ(FinishMoveFolder(options), c.check) << c.choice << " [" << c.folder << "]";
    EXPECT_EQ(options.moveFolder, c.after) << c.choice << " [" << c.folder << "]";
  }
}

TEST_F(SessionOptionsTest, StartupConnectionActsWhenClicked) {
  const struct {
    std::optional<std::string> stored;
    bool ticked;
  } reads[] = {{std::nullopt, false}, {"", false}, {"4", true}, {"3", false}, {" 4x", true}};
  for (const auto& r : reads) {
    if (r.stored) {
      ASSERT_TRUE(ini::Write(ini, "Quillon", "AutoConnect", *r.stored));
    }
    EXPECT_EQ(IsStartupConnection(4, ini), r.ticked) << r.stored.value_or("(missing)");
  }
  // A slot of -1 is never the start-up connection, not even when "AutoConnect" says -1.
  ASSERT_TRUE(ini::Write(ini, "Quillon", "AutoConnect", "-1"));
  EXPECT_FALSE(IsStartupConnection(-1, ini));

  test::TempDir other;
  const std::string file = other.file("Quillon.ini");
  test::RecordingMessages messages;
  EXPECT_FALSE(ClickStartupConnection(true, 4, false, file, messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "'Save Password' must be checked on the login screen to use this option.    ");
  EXPECT_EQ(ini::Read(file, "Quillon", "AutoConnect"), std::nullopt);

  EXPECT_TRUE(ClickStartupConnection(true, 4, true, file, messages));
  EXPECT_EQ(ini::Read(file, "Quillon", "AutoConnect"), "4");
  EXPECT_TRUE(IsStartupConnection(4, file));
  EXPECT_FALSE(ClickStartupConnection(false, 4, true, file, messages));
  EXPECT_EQ(ini::Read(file, "Quillon", "AutoConnect"), "");  // present but empty
  EXPECT_FALSE(IsStartupConnection(4, file));
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(SessionOptionsRules, CommandWarningOncePerRun) {
  CommandWarning warning;
  test::RecordingMessages messages;
  warning.OnTicked(messages);
  warning.OnTicked(messages);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "IMPORTANT!\n\nPlease make sure the command or program you    \nset to run will "
            "execute and return properly!");
  EXPECT_TRUE(warning.Shown());
  EXPECT_EQ(&CommandWarning::ForThisRun(), &CommandWarning::ForThisRun());
}

TEST(SessionOptionsRules, AChosenProgramRunsAsItselfThroughTheShell) {
  EXPECT_EQ(CommandForProgram("/usr/local/bin/sync-job.sh"), "/usr/local/bin/sync-job.sh");
  test::TempDir dir;
  for (const std::string name :
       {"plain.sh", "with blank.sh", "it's $HOME; echo x.sh", "back\\slash `x`.sh", "star*?.sh"}) {
    const std::string path = dir.file(name);
    test::WriteFile(path, "#!/bin/sh\necho ran\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    const test::ProcessResult run = test::RunProcess({"/bin/sh", "-c", CommandForProgram(path)});
    EXPECT_EQ(run.exitCode, 0) << name << ": " << run.err;
    EXPECT_EQ(run.out, "ran\n") << name;
  }
}

TEST(SessionOptionsRules, TaskRecordsMapBothWays) {
  TaskDefinition task;
  task.slot = 2;
  task.backupLocalFile = true;
  task.deleteAfterUpload = true;
  task.backupDir = "/srv/sent";
  task.deleteAfterDownload = true;
  task.runBeforeUpload = "/usr/local/bin/prepare";
  task.runAfterDownload = "/usr/local/bin/import";
  SessionOptions options = SessionOptionsOfTask(task);
  EXPECT_TRUE(options.backupLocalFile);
  EXPECT_FALSE(options.backupRemoteFile);
  EXPECT_EQ(options.afterUpload, kMoveUploaded);
  EXPECT_EQ(options.moveFolder, "/srv/sent");
  EXPECT_EQ(options.afterDownload, 1);
  EXPECT_EQ(options.runBeforeUpload, "/usr/local/bin/prepare");
  EXPECT_EQ(options.runAfterDownload, "/usr/local/bin/import");

  // A new task's commands are not offered.
  task.isNew = true;
  EXPECT_EQ(SessionOptionsOfTask(task).runBeforeUpload, "");
  task.backupDir.clear();
  EXPECT_EQ(SessionOptionsOfTask(task).afterUpload, kDeleteUploaded);

  TaskDefinition back;
  options.afterUpload = kDeleteUploaded;
  options.moveFolder.clear();
  options.runAfterUpload = "/usr/local/bin/notify";
  ApplySessionOptionsToTask(options, back);
  EXPECT_TRUE(back.deleteAfterUpload && back.deleteAfterDownload && back.backupLocalFile);
  EXPECT_EQ(back.backupDir, "");
  EXPECT_EQ(back.runBeforeUpload, "/usr/local/bin/prepare");
  EXPECT_EQ(back.runAfterUpload, "/usr/local/bin/notify");
  EXPECT_EQ(back.runAfterDownload, "/usr/local/bin/import");
  options.afterUpload = kKeepUploaded;
  options.afterDownload = 0;
  ApplySessionOptionsToTask(options, back);
  EXPECT_FALSE(back.deleteAfterUpload || back.deleteAfterDownload);
}

}  // namespace
}  // namespace quillon

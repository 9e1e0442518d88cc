// The "Settings" text of a task: its section's lines as stored, between a heading and rules.
#include <gtest/gtest.h>

#include <string>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"
#include "tasks/TaskSettingsText.h"
#include "tasks/TaskStore.h"

namespace quillon {
namespace {

class TaskSettingsTextTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string store = dir.file("QvrTask.ini");
};

TEST_F(TaskSettingsTextTest, ShowsOnlyTheSlotsKeysAsStored) {
  // LF line ends, blanks around keys and values, a quoted value, a comment and a line without
  // "=" inside the section, and neighbours on both sides.
  test::WriteFile(store,
                  "[SESSION00]\nProfile=Other\n"
                  "[session03]\n"
                  "Profile = Nightly  \n"
                  "; a comment\n"
                  "not a key line\n"
                  "RunAfterUpload=\"/opt/my tool/run\"\n"
                  "EncryptionKey=QUJD+/==\n"
                  "\n"
                  "[SESSION04]\nProfile=Later\n");
  EXPECT_EQ(TaskSettingsText(3, store),
            "Settings for the selected task.\r\n"
            "=======================\r\n"
            "[SESSION03]\r\n"
            "Profile=Nightly\r\n"
            "RunAfterUpload=\"/opt/my tool/run\"\r\n"
            "EncryptionKey=QUJD+/==\r\n"
            "=======================\r\n");

  // A missing section or file shows the frame alone.
  const std::string frame =
      "Settings for the selected task.\r\n=======================\r\n[SESSION07]\r\n"
      "=======================\r\n";
  EXPECT_EQ(TaskSettingsText(7, store), frame);
  EXPECT_EQ(TaskSettingsText(7, dir.file("missing.ini")), frame);
}

TEST_F(TaskSettingsTextTest, ASavedTaskShowsItsProtectedKeysInStoredFormOnly) {
  TaskDefinition task;
  task.slot = 12;
  task.name = "Backup";
  task.upload = true;
  task.uploadFrom = "/data";
  task.uploadTo = "/in";
  task.encryptionKey = "the real key";
  task.encryptionKeyName = "kname";
  // Long hooks push the section well beyond 2048 bytes; the keys written last still show.
  task.runBeforeUpload = std::string(500, 'b');
  task.runAfterUpload = std::string(500, 'a');
  task.runBeforeDownload = std::string(500, 'c');
  task.runAfterDownload = std::string(500, 'd');
  task.emailServer = "mail.example.org";
  task.emailFrom = "q@example.org";
  task.emailTo = "ops@example.org";
  task.useEmail = true;
  ASSERT_TRUE(SaveTask(task, store));

  const std::string text = TaskSettingsText(task, store);
  EXPECT_GT(text.size(), 2048u);
  EXPECT_EQ(text.find("the real key"), std::string::npos);
  const std::string stored = ReadText(12, "EncryptionKey", store);
  ASSERT_FALSE(stored.empty());
  EXPECT_NE(text.find("\r\nEncryptionKey=" + stored + "\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nEmailTo=ops@example.org\r\nUseEmail=1\r\n=======================\r\n"),
            std::string::npos);
  EXPECT_EQ(text.rfind("Settings for the selected task.\r\n=======================\r\n[SESSION12]"
                       "\r\nProfile=Backup\r\n",
                       0),
            0u);
}

TEST_F(TaskSettingsTextTest, ARecordNotSavedYetSaysSo) {
  test::WriteFile(store, "[SESSION00]\r\nProfile=Stored\r\n");
  TaskDefinition fresh;  // no slot: no task selected
  TaskDefinition made = fresh;
  made.slot = 0;
  made.isNew = true;  // "New Task" loaded slot 0 of the profile file
  for (const TaskDefinition& task : {fresh, made})
    EXPECT_EQ(TaskSettingsText(task, store), "Task has not been saved.");
  made.isNew = false;
  EXPECT_NE(TaskSettingsText(made, store).find("[SESSION00]\r\nProfile=Stored\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quillon

// The session options dialog driven through its controls in both modes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "profiles/ui/SessionOptionsDialog.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

using test::Find;

const char* const kCommands[] = {"beforeUpload", "afterUpload", "beforeDownload", "afterDownload"};

std::string Join(const char* a, const char* b) { return std::string(a) + b; }

template <class T>
T* Control(const QWidget* dialog, const std::string& name) {
  return Find<T>(dialog, name.c_str());
}

using test::Click;

// Answers the pickers from queues and records what they were asked.
struct FakePickers {
  std::vector<std::optional<std::string>> folders;
  std::vector<std::optional<std::string>> programs;
  std::vector<QString> folderPrompts;

  LocalPickers Pickers() {
    LocalPickers pickers;
    pickers.chooseFolder = [this](QWidget*, const QString& prompt, const QString&) {
      folderPrompts.push_back(prompt);
      return Next(folders);
    };
    pickers.chooseProgram = [this](QWidget*, const QString&) { return Next(programs); };
    return pickers;
  }
  static std::optional<std::string> Next(std::vector<std::optional<std::string>>& queue) {
    if (queue.empty()) return std::nullopt;
    auto next = queue.front();
    queue.erase(queue.begin());
    return next;
  }
};

class SessionOptionsDialogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");
  test::RecordingMessages messages;
  FakePickers pickers;
  CommandWarning warning;  // a fresh program run for each test

  std::unique_ptr<SessionOptionsDialog> Open(const SessionOptionsRequest& request) {
    auto dialog = std::make_unique<SessionOptionsDialog>(request, messages);
    dialog->SetPickers(pickers.Pickers());
    dialog->SetCommandWarning(warning);
    dialog->show();
    return dialog;
  }

  SessionOptionsRequest TaskRequest(SessionOptions options = {}) {
    SessionOptionsRequest request;
    request.mode = SessionOptionsMode::Task;
    request.options = std::move(options);
    return request;
  }

  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& m : messages.shown) texts.push_back(m.text);
    return texts;
  }
};

TEST_F(SessionOptionsDialogTest, ProfileModeEditsAProfileFromItsKeysToItsKeys) {
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"Profile", "Site"},
                                                        {"Address", "ftp.example.org"},
                                                        {"MaxThread", "5"},
                                                        {"BinaryMode", "1"},
                                                        {"DeleteAfterUpload", "1"},
                                                        {"BackupDir", "/srv/sent"},
                                                        {"RunBeforeUpload", "/bin/true"}})
    ASSERT_TRUE(WriteText(4, key, value, ini));
  ConnectionProfile profile;
  ASSERT_TRUE(ReadProfile(4, profile, ini));
  SessionOptionsRequest request;
  request.options = SessionOptionsOfProfile(profile, ini);
  request.options.runBeforeUpload = "/bin/true";
  request.profileSlot = 4;
  request.profileFile = ini;
  auto dialog = Open(request);

  EXPECT_EQ(dialog->windowTitle(), "Session Options...");
  auto* threads = Find<QComboBox>(dialog.get(), "threads");
  EXPECT_EQ(threads->currentText(), "5");
  EXPECT_EQ(threads->count(), 7);
  EXPECT_TRUE(Find<QRadioButton>(dialog.get(), "afterUploadMove")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(dialog.get(), "moveFolder")->text(), "/srv/sent");
  EXPECT_TRUE(Find<QRadioButton>(dialog.get(), "afterDownloadKeep")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(dialog.get(), "binaryMode")->isEnabled());
  EXPECT_TRUE(threads->isEnabled());
  EXPECT_FALSE(Find<QCheckBox>(dialog.get(), "startupConnection")->isChecked());
  for (const char* disabled : {"safetyQueue", "safetyQueueHelp", "encryptHtml"})
    EXPECT_FALSE(Find<QWidget>(dialog.get(), disabled)->isEnabled()) << disabled;
  for (const char* command : kCommands) {
    auto* box = Control<QCheckBox>(dialog.get(), command);
    EXPECT_FALSE(box->isEnabled() || box->isChecked()) << command;
    EXPECT_FALSE(Control<QLineEdit>(dialog.get(), Join(command, "Text"))->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(dialog.get(), Join(command, "Browse"))->isEnabled());
  }

  threads->setFocus();
  QTest::keyClick(threads, Qt::Key_Home);  // "1"
  Click(Find<QCheckBox>(dialog.get(), "binaryMode"));
  Click(Find<QRadioButton>(dialog.get(), "afterDownloadDelete"));
  Click(Find<QCheckBox>(dialog.get(), "backupLocal"));
  Click(Find<QPushButton>(dialog.get(), "okButton"));
  ASSERT_EQ(dialog->result(), QDialog::Accepted);
  const SessionOptions options = dialog->Options();
  EXPECT_EQ(options.runBeforeUpload, "/bin/true");  // profile mode leaves commands alone

  ASSERT_TRUE(StoreSessionOptions(options, profile, ini));
  EXPECT_EQ(ini::Read(ini, "SESSION04", "MaxThread"), "1");
  EXPECT_EQ(ini::Read(ini, "SESSION04", "BinaryMode"), "0");
  EXPECT_EQ(ini::Read(ini, "SESSION04", "DeleteAfterDownload"), "1");
  EXPECT_EQ(ini::Read(ini, "SESSION04", "BackupLocalFile"), "1");
  EXPECT_EQ(ini::Read(ini, "SESSION04", "BackupDir"), "/srv/sent");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionOptionsDialogTest, TaskModeOffersTheCommandsAndNothingOfTheProfile) {
  SessionOptions options;
  options.runBeforeUpload = "/usr/local/bin/prepare";
  options.runAfterDownload = "/usr/local/bin/import";
  ASSERT_TRUE(ini::Write(ini, "Quillon", "AutoConnect", "0"));
  SessionOptionsRequest request = TaskRequest(options);
  request.profileSlot = 0;
  request.profileFile = ini;
  auto dialog = Open(request);
  for (const char* disabled : {"binaryMode", "threads", "threadsLabel", "startupConnection",
                               "safetyQueue", "safetyQueueHelp", "encryptHtml"})
    EXPECT_FALSE(Find<QWidget>(dialog.get(), disabled)->isEnabled()) << disabled;
  const bool ticked[] = {true, false, false, true};
  for (int i = 0; i < 4; ++i) {
    const char* command = kCommands[i];
    auto* box = Control<QCheckBox>(dialog.get(), command);
    EXPECT_TRUE(box->isEnabled()) << command;
    EXPECT_EQ(box->isChecked(), ticked[i]) << command;
    EXPECT_EQ(Control<QLineEdit>(dialog.get(), Join(command, "Text"))->isEnabled(), ticked[i]);
    EXPECT_EQ(Control<QPushButton>(dialog.get(), Join(command, "Browse"))->isEnabled(), ticked[i]);
  }
  // Unticking a command drops it even though its edit still holds the text.
  Click(Find<QCheckBox>(dialog.get(), "afterDownload"));
  EXPECT_EQ(Find<QLineEdit>(dialog.get(), "afterDownloadText")->text(), "/usr/local/bin/import");
  Click(Find<QPushButton>(dialog.get(), "okButton"));
  ASSERT_EQ(dialog->result(), QDialog::Accepted);
  SessionOptions expected = options;
  expected.runAfterDownload.clear();
  EXPECT_EQ(dialog->Options(), expected);
  EXPECT_TRUE(messages.shown.empty());  // unticking never warns
}

TEST_F(SessionOptionsDialogTest, TickingACommandWarnsOncePerRunAndItsPickerFillsIt) {
  auto first = Open(TaskRequest());
  Click(Find<QCheckBox>(first.get(), "beforeUpload"));
  EXPECT_TRUE(Find<QLineEdit>(first.get(), "beforeUploadText")->isEnabled());
  auto* browse = Find<QPushButton>(first.get(), "beforeUploadBrowse");
  ASSERT_TRUE(browse->isEnabled());
  pickers.programs = {"/opt/tools/sync job.sh", std::nullopt};
  Click(browse);
  EXPECT_EQ(Find<QLineEdit>(first.get(), "beforeUploadText")->text(), "'/opt/tools/sync job.sh'");
  Click(browse);  // cancelled: the command stays
  EXPECT_EQ(Find<QLineEdit>(first.get(), "beforeUploadText")->text(), "'/opt/tools/sync job.sh'");
  Click(Find<QCheckBox>(first.get(), "afterDownload"));
  QTest::keyClicks(Find<QLineEdit>(first.get(), "afterDownloadText"), "/usr/bin/logger done");
  Click(Find<QPushButton>(first.get(), "okButton"));
  ASSERT_EQ(first->result(), QDialog::Accepted);
  EXPECT_EQ(first->Options().runBeforeUpload, "'/opt/tools/sync job.sh'");
  EXPECT_EQ(first->Options().runAfterDownload, "/usr/bin/logger done");

  auto second = Open(TaskRequest());
  Click(Find<QCheckBox>(second.get(), "afterUpload"));
  EXPECT_EQ(Shown(), std::vector<std::string>{"IMPORTANT!\n\nPlease make sure the command or "
                                              "program you    \nset to run will execute and "
                                              "return properly!"});
}

TEST_F(SessionOptionsDialogTest, MovingWithoutAFolderAsksForOne) {
  auto dialog = Open(TaskRequest());
  Click(Find<QRadioButton>(dialog.get(), "afterUploadMove"));
  auto* ok = Find<QPushButton>(dialog.get(), "okButton");
  auto* folder = Find<QLineEdit>(dialog.get(), "moveFolder");

  pickers.folders = {std::nullopt, "/srv/sent"};
  Click(ok);  // the picker is cancelled
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(folder->text(), "");
  Click(ok);  // now a folder is chosen, and the dialog still waits for OK
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(folder->text(), "/srv/sent");
  EXPECT_EQ(Shown(), std::vector<std::string>(2, "Please choose a backup folder."));
  EXPECT_EQ(pickers.folderPrompts, std::vector<QString>(2, "Please select a folder:"));

  Click(ok);
  ASSERT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->Options().afterUpload, kMoveUploaded);
  EXPECT_EQ(dialog->Options().moveFolder, "/srv/sent");
}

TEST_F(SessionOptionsDialogTest, TheMoveFolderIsTakenOnlyWhenMoving) {
  const struct {
    const char* radio;
    QString typed;
    bool accepted;
    std::string folder;
  } cases[] = {
      {"afterUploadMove", "  /srv/sent  ", true, "/srv/sent"},
      {"afterUploadMove", "   ", false, ""},
      {"afterUploadMove", "sent", false, ""},
      {"afterUploadDelete", "/srv/sent", true, ""},
      {"afterUploadKeep", "/srv/sent", true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.radio) + " [" + c.typed.toStdString() + "]");
    messages.shown.clear();
    auto dialog = Open(TaskRequest());
    Click(Find<QRadioButton>(dialog.get(), c.radio));
    QTest::keyClicks(Find<QLineEdit>(dialog.get(), "moveFolder"), c.typed);
    Click(Find<QPushButton>(dialog.get(), "okButton"));
    EXPECT_EQ(dialog->result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(messages.shown.size(), c.accepted ? 0u : 1u);
    if (c.accepted) {
      EXPECT_EQ(dialog->Options().moveFolder, c.folder);
    }
  }
}

TEST_F(SessionOptionsDialogTest, StartupConnectionIsWrittenWhenClicked) {
  SessionOptionsRequest request;
  request.profileSlot = 2;
  request.profileFile = ini;
  request.savePassword = false;
  auto refused = Open(request);
  auto* box = Find<QCheckBox>(refused.get(), "startupConnection");
  Click(box);
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(Shown(), std::vector<std::string>{
                         "'Save Password' must be checked on the login screen to use this "
                         "option.    "});
  EXPECT_EQ(ini::Read(ini, "Quillon", "AutoConnect"), std::nullopt);

  request.savePassword = true;
  auto dialog = Open(request);
  box = Find<QCheckBox>(dialog.get(), "startupConnection");
  Click(box);
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(ini::Read(ini, "Quillon", "AutoConnect"), "2");
  Click(Find<QPushButton>(dialog.get(), "cancelButton"));  // Cancel keeps what was written
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(ini::Read(ini, "Quillon", "AutoConnect"), "2");

  auto again = Open(request);
  box = Find<QCheckBox>(again.get(), "startupConnection");
  EXPECT_TRUE(box->isChecked());
  Click(box);
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(ini::Read(ini, "Quillon", "AutoConnect"), "");
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(SessionOptionsDialogTest, TheHtmlBoxCannotBeTicked) {
  auto dialog = Open(SessionOptionsRequest{});
  auto* html = Find<QCheckBox>(dialog.get(), "encryptHtml");
  Click(html);
  html->setFocus();
  QTest::keyClick(html, Qt::Key_Space);
  EXPECT_FALSE(html->isChecked());
  EXPECT_EQ(html->text(), "Encrypt HTML Files (available only in Encrypt mode.):");
}

TEST_F(SessionOptionsDialogTest, AskGivesNothingOnCancel) {
  SessionOptions preset;
  preset.backupRemoteFile = true;
  test::WhenModalOpens([](QWidget* modal) {
    Click(Find<QCheckBox>(modal, "backupRemote"));
    Click(Find<QPushButton>(modal, "cancelButton"));
  });
  EXPECT_EQ(SessionOptionsDialog::Ask(TaskRequest(preset), messages), std::nullopt);

  test::WhenModalOpens([](QWidget* modal) {
    Click(Find<QCheckBox>(modal, "backupRemote"));
    Click(Find<QPushButton>(modal, "okButton"));
  });
  const auto options = SessionOptionsDialog::Ask(TaskRequest(preset), messages);
  ASSERT_TRUE(options);
  EXPECT_FALSE(options->backupRemoteFile);
}

}  // namespace
}  // namespace quillon

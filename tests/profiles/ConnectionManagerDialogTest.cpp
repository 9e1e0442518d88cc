// The connection manager driven as a newcomer would: add a server, change it, copy it, delete
// it, and pick one to connect to; a locked profile stays untouched.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest/QTest>

#include "profiles/ConnectionProfile.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "profiles/ui/ConnectionManagerDialog.h"
#include "profiles/ui/LocalPickers.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

using test::Find;

class ConnectionManagerTest : public ::testing::Test {
 protected:
  std::unique_ptr<ConnectionManagerDialog> Open() {
    auto dialog = std::make_unique<ConnectionManagerDialog>(ini, messages);
    dialog->show();
    return dialog;
  }
  static QLineEdit* Edit(QWidget* dialog, const char* name) {
    return Find<QLineEdit>(dialog, name);
  }
  static void Type(QWidget* dialog, const char* name, const QString& text) {
    QLineEdit* edit = Edit(dialog, name);
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  static void Press(QWidget* dialog, const char* name) { Find<QPushButton>(dialog, name)->click(); }
  static QStringList Rows(QWidget* dialog) {
    QStringList rows;
    auto* list = Find<QListWidget>(dialog, "profileList");
    for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
    return rows;
  }

  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");
  test::RecordingMessages messages;
};

TEST_F(ConnectionManagerTest, ANewcomerAddsAServerAndConnectsInTwoClicksAfterwards) {
  auto dialog = Open();
  // Nothing stored yet: a new profile waits for its fields, the name field has the focus.
  EXPECT_EQ(Rows(dialog.get()), QStringList{"New site"});
  EXPECT_EQ(dialog->Slots(), std::vector<int>{-1});
  EXPECT_EQ(Edit(dialog.get(), "nameField")->text(), "New site");
  EXPECT_EQ(Find<QSpinBox>(dialog.get(), "portField")->value(), 21);
  EXPECT_TRUE(Find<QCheckBox>(dialog.get(), "passiveBox")->isChecked());

  Press(dialog.get(), "saveButton");
  EXPECT_EQ(messages.shown.back().text, "Please enter the address of the server.");
  Type(dialog.get(), "nameField", "Demo");
  Type(dialog.get(), "addressField", "ftp.example.org");
  Find<QSpinBox>(dialog.get(), "portField")->setValue(2121);
  Type(dialog.get(), "userField", "demo");
  Type(dialog.get(), "passwordField", "demo-password");
  Find<QCheckBox>(dialog.get(), "savePasswordBox")->setChecked(true);
  Find<QSpinBox>(dialog.get(), "threadsField")->setValue(5);
  Type(dialog.get(), "remoteDirField", "/exchange");
  Press(dialog.get(), "connectButton");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  ASSERT_TRUE(dialog->ChosenConnection());
  EXPECT_EQ(dialog->ChosenConnection()->slot, 0);
  EXPECT_EQ(dialog->ChosenConnection()->password, "") << "saved, so read from the file";

  ConnectionProfile stored;
  ASSERT_TRUE(ReadProfile(0, stored, ini));
  EXPECT_EQ(stored.name, "Demo");
  EXPECT_EQ(stored.address, "ftp.example.org");
  EXPECT_EQ(stored.port, 2121);
  EXPECT_EQ(stored.password, "demo-password");
  EXPECT_EQ(stored.threadCount, 5);
  EXPECT_EQ(stored.remoteDir, "/exchange");

  // Next time: the profile is selected; Connect is the second click.
  auto again = Open();
  EXPECT_EQ(Rows(again.get()), QStringList{"Demo  (ftp.example.org)"});
  Press(again.get(), "connectButton");
  ASSERT_TRUE(again->ChosenConnection());
  EXPECT_EQ(again->ChosenConnection()->slot, 0);
}

TEST_F(ConnectionManagerTest, EditsAreStoredOnSwitchingAndAskedForOnClosing) {
  auto dialog = Open();
  Type(dialog.get(), "nameField", "First");
  Type(dialog.get(), "addressField", "one.example.org");
  Press(dialog.get(), "newButton");  // the first is stored before the second starts
  Type(dialog.get(), "nameField", "Second");
  Type(dialog.get(), "addressField", "two.example.org");
  Type(dialog.get(), "userField", "ann");
  Type(dialog.get(), "passwordField", "typed only");  // not saved: handed to Connect
  Find<QListWidget>(dialog.get(), "profileList")->setCurrentRow(0);
  EXPECT_EQ(dialog->Slots(), (std::vector<int>{0, 1}));
  EXPECT_EQ(ReadText(1, "Address", ini), "two.example.org");
  EXPECT_EQ(ini::Read(ini, "SESSION01", "Password"), std::nullopt);

  // Duplicate copies the whole section into the next free slot.
  ASSERT_TRUE(WriteText(0, "BackupDir", "/kept", ini));
  Press(dialog.get(), "duplicateButton");
  EXPECT_EQ(Rows(dialog.get()).back(), "Copy of First  (one.example.org)");
  EXPECT_EQ(ReadText(2, "BackupDir", ini), "/kept");

  // Closing with a change asks; No leaves the file as it was.
  Find<QListWidget>(dialog.get(), "profileList")->setCurrentRow(1);
  Type(dialog.get(), "addressField", "changed.example.org");
  messages.QueueAnswer(MessageAnswer::No);
  Press(dialog.get(), "closeButton");
  EXPECT_EQ(messages.shown.back().text, "Save the changes to the connection \"Second\"?");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(ReadText(1, "Address", ini), "two.example.org");

  // Delete asks, then the slot is free again.
  auto next = Open();
  Find<QListWidget>(next.get(), "profileList")->setCurrentRow(1);
  Press(next.get(), "connectButton");
  ASSERT_TRUE(next->ChosenConnection());
  EXPECT_EQ(next->ChosenConnection()->password, "");
  auto last = Open();
  Find<QListWidget>(last.get(), "profileList")->setCurrentRow(0);
  messages.QueueAnswer(MessageAnswer::Yes);
  Press(last.get(), "deleteButton");
  EXPECT_EQ(messages.shown.back().text, "Delete the connection \"First\"?");
  EXPECT_EQ(ReadText(0, "Address", ini), "");
  EXPECT_EQ(Rows(last.get()).size(), 2);
}

TEST_F(ConnectionManagerTest, ALockedProfileIsReadOnlyAndHidesItsAddress) {
  ASSERT_TRUE(WriteText(3, "Profile", "Company", ini));
  ASSERT_TRUE(WriteText(3, "Address", "0.0.0.0", ini));
  ASSERT_TRUE(WriteProtected(3, "Password", "secret.example.org:[QVR]:pw", ini));
  ASSERT_TRUE(WriteProtected(3, "LockPassword", "lock", ini));
  ASSERT_TRUE(WriteBound(3, "RMTROOT", "/jail", "lock", ini));
  const std::string before = test::ReadFile(ini);
  auto dialog = Open();
  EXPECT_EQ(Rows(dialog.get()), QStringList{"Company  (locked)"});
  EXPECT_EQ(Edit(dialog.get(), "addressField")->text(), "");
  EXPECT_FALSE(Edit(dialog.get(), "nameField")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(dialog.get(), "deleteButton")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(dialog.get(), "duplicateButton")->isEnabled());
  EXPECT_TRUE(Find<QLabel>(dialog.get(), "lockedNote")->isVisible());
  Press(dialog.get(), "connectButton");
  ASSERT_TRUE(dialog->ChosenConnection());
  EXPECT_EQ(dialog->ChosenConnection()->slot, 3);
  EXPECT_EQ(test::ReadFile(ini), before);
}

// Choosing SFTP shows the key fields, hides what SFTP lacks and moves a default port; going
// back to FTP leaves no SFTP key in the file.
TEST_F(ConnectionManagerTest, TheProtocolChoiceShowsItsFieldsAndPorts) {
  LocalPickers pickers;
  pickers.chooseFile = [](QWidget*, const QString& prompt, const QString&) {
    EXPECT_EQ(prompt, "Please select your private key:");
    return std::optional<std::string>("/home/demo/.ssh/id_ed25519");
  };
  auto dialog = Open();
  dialog->SetPickers(pickers);
  auto* protocol = Find<QComboBox>(dialog.get(), "protocolField");
  auto* port = Find<QSpinBox>(dialog.get(), "portField");
  EXPECT_EQ(protocol->currentText(), "FTP");
  EXPECT_FALSE(Edit(dialog.get(), "keyFileField")->isVisible());
  Type(dialog.get(), "nameField", "Secure");
  Type(dialog.get(), "addressField", "sftp.example.org");

  protocol->setCurrentIndex(protocol->findText("SFTP (SSH)"));
  EXPECT_EQ(port->value(), 22);
  EXPECT_TRUE(Edit(dialog.get(), "keyFileField")->isVisible());
  EXPECT_TRUE(Edit(dialog.get(), "passphraseField")->isVisible());
  EXPECT_FALSE(Find<QCheckBox>(dialog.get(), "passiveBox")->isEnabled());
  Press(dialog.get(), "keyFileBrowse");
  EXPECT_EQ(Edit(dialog.get(), "keyFileField")->text(), "/home/demo/.ssh/id_ed25519");
  Type(dialog.get(), "passphraseField", "key words");
  Press(dialog.get(), "saveButton");
  ConnectionProfile stored;
  ASSERT_TRUE(ReadProfile(0, stored, ini));
  EXPECT_EQ(stored.protocol, ServerProtocol::Sftp);
  EXPECT_EQ(stored.port, 22);
  EXPECT_EQ(stored.privateKeyFile, "/home/demo/.ssh/id_ed25519");
  EXPECT_EQ(stored.privateKeyPassphrase, "key words");

  // A port the user typed stays when the protocol changes.
  port->setValue(2222);
  protocol->setCurrentIndex(protocol->findText("FTP over TLS (explicit)"));
  EXPECT_EQ(port->value(), 2222);
  EXPECT_FALSE(Edit(dialog.get(), "keyFileField")->isVisible());
  EXPECT_TRUE(Find<QCheckBox>(dialog.get(), "passiveBox")->isEnabled());
  port->setValue(21);
  protocol->setCurrentIndex(protocol->findText("FTP over TLS (implicit)"));
  EXPECT_EQ(port->value(), 990);
  protocol->setCurrentIndex(protocol->findText("FTP"));
  EXPECT_EQ(port->value(), 21);
  Press(dialog.get(), "saveButton");
  for (const char* gone : {"Protocol", "PrivateKeyFile", "PrivateKeyPassphrase"})
    EXPECT_EQ(ini::Read(ini, "SESSION00", gone), std::nullopt) << gone;

  // Reopened, a stored protocol is shown as stored.
  ASSERT_TRUE(WriteText(0, "Protocol", "ftpes", ini));
  auto again = Open();
  EXPECT_EQ(Find<QComboBox>(again.get(), "protocolField")->currentText(),
            "FTP over TLS (explicit)");
}

TEST(LocalPickers, TheCommandPickerShowsProgramsOrEveryFile) {
  test::TempDir dir;
  test::WriteFile(dir.path() / "run.sh", "#!/bin/sh\n");
  chmod((dir.path() / "run.sh").c_str(), 0755);
  QStringList filters;
  QDir::Filters shown;
  test::WhenModalOpens([&](QWidget* modal) {
    auto* picker = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(picker, nullptr);
    filters = picker->nameFilters();
    shown = picker->filter();
    picker->reject();
  });
  EXPECT_FALSE(
      QtLocalPickers().chooseProgram(nullptr, QString::fromStdString(dir.path().string())));
  EXPECT_EQ(filters, (QStringList{"Programs (*)", "All Files (*)"}));
  EXPECT_TRUE(shown & QDir::Executable);
}

}  // namespace
}  // namespace quillon

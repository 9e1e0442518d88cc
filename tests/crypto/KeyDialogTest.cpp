// The key dialog driven through its controls: what it shows, what it refuses, what it returns.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QtTest/QTest>

#include "crypto/ui/KeyDialog.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

using test::Find;

struct Controls {
  explicit Controls(const QWidget* dialog)
      : messageLine(Find<QLabel>(dialog, "messageLine")),
        keyName(Find<QLineEdit>(dialog, "keyName")),
        key(Find<QLineEdit>(dialog, "key")),
        confirmation(Find<QLineEdit>(dialog, "confirmation")),
        keyNameHelp(Find<QPushButton>(dialog, "keyNameHelp")),
        keyHelp(Find<QPushButton>(dialog, "keyHelp")),
        remember(Find<QCheckBox>(dialog, "remember")),
        ok(Find<QPushButton>(dialog, "okButton")),
        cancel(Find<QPushButton>(dialog, "cancelButton")) {}
  QLabel* messageLine;
  QLineEdit* keyName;
  QLineEdit* key;
  QLineEdit* confirmation;
  QPushButton* keyNameHelp;
  QPushButton* keyHelp;
  QCheckBox* remember;
  QPushButton* ok;
  QPushButton* cancel;
};

KeyRequest Request(KeyPurpose purpose, bool showRemember = false) {
  KeyRequest request;
  request.purpose = purpose;
  request.showRemember = showRemember;
  return request;
}

TEST(KeyDialog, OpensAsEachCallerNeedsIt) {
  const struct {
    KeyPurpose purpose;
    bool showRemember;
    QString title;
    QString messageLine;
    QString keyName;
    bool keyNameEnabled;
    bool confirmationEnabled;
  } cases[] = {
      {KeyPurpose::Encryption, true, "Enter your encryption key...",
       "Do not forget your encryption key!", "default", true, true},
      {KeyPurpose::Encryption, false, "Enter your encryption key...",
       "Do not forget your encryption key!", "default", true, true},
      {KeyPurpose::Decryption, true, "Enter the decryption key...",
       "Please enter the decryption key.", "", false, false},
      {KeyPurpose::ConfirmedDecryption, false, "Enter the decryption key...",
       "Please enter the decryption key.", "", false, true},
  };
  for (const auto& c : cases) {
    test::RecordingMessages messages;
    KeyDialog dialog(Request(c.purpose, c.showRemember), messages);
    dialog.show();
    Controls ui(&dialog);
    SCOPED_TRACE(c.title.toStdString() + (c.showRemember ? " with remember" : ""));
    EXPECT_EQ(dialog.windowTitle(), c.title);
    EXPECT_EQ(ui.messageLine->text(), c.messageLine);
    EXPECT_EQ(ui.keyName->text(), c.keyName);
    EXPECT_EQ(ui.keyName->isEnabled(), c.keyNameEnabled);
    EXPECT_EQ(ui.keyNameHelp->isVisible(), c.keyNameEnabled);
    EXPECT_TRUE(ui.keyHelp->isVisible());
    EXPECT_EQ(ui.confirmation->isEnabled(), c.confirmationEnabled);
    EXPECT_EQ(ui.remember->isVisible(), c.showRemember);
    EXPECT_FALSE(ui.remember->isChecked());
    EXPECT_TRUE(ui.key->text().isEmpty() && ui.confirmation->text().isEmpty());
    EXPECT_EQ(ui.key->echoMode(), QLineEdit::Password);
    EXPECT_EQ(ui.confirmation->echoMode(), QLineEdit::Password);
    // A key, not a warning sign: the theme's icon, or one drawn when the theme has none.
    auto* icon = dialog.findChild<QLabel*>("keyIcon");
    ASSERT_NE(icon, nullptr);
    const QImage shown = icon->pixmap().toImage();
    EXPECT_FALSE(shown.isNull());
    EXPECT_NE(shown,
              dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32).toImage());
  }
}

TEST(KeyDialog, FieldsRefuseInputBeyondTheirLimits) {
  test::RecordingMessages messages;
  KeyDialog dialog(Request(KeyPurpose::Encryption), messages);
  dialog.show();
  Controls ui(&dialog);
  ui.keyName->clear();
  QTest::keyClicks(ui.keyName, QString(16, 'n'));
  QTest::keyClicks(ui.key, QString(33, 'k'));
  QTest::keyClicks(ui.confirmation, QString(33, 'k'));
  EXPECT_EQ(ui.keyName->text(), QString(15, 'n'));
  EXPECT_EQ(ui.key->text(), QString(32, 'k'));
  EXPECT_EQ(ui.confirmation->text(), QString(32, 'k'));

  // The limits count bytes of the stored form: "é" takes two.
  ui.keyName->clear();
  test::TypeText(ui.keyName, QString(10, QChar(0xE9)));
  EXPECT_EQ(ui.keyName->text(), QString(7, QChar(0xE9)));
  ui.key->clear();
  test::TypeText(ui.key, QString(20, QChar(0xE9)));
  EXPECT_EQ(ui.key->text(), QString(16, QChar(0xE9)));
}

TEST(KeyDialog, OkChecksTheKeys) {
  const struct {
    KeyPurpose purpose;
    QString key;
    QString confirmation;
    bool accepted;
    QString messageLine;             // after OK
    std::vector<std::string> shown;  // message boxes
  } cases[] = {
      {KeyPurpose::Encryption, "", "", false, "Enter a valid key, or click cancel!", {}},
      {KeyPurpose::Encryption,
       "Secret",
       "secret",
       false,
       "Do not forget your encryption key!",
       {"The keys you entered are different!"}},
      {KeyPurpose::Encryption,
       "Secret",
       "",
       false,
       "Do not forget your encryption key!",
       {"The keys you entered are different!"}},
      {KeyPurpose::Encryption, "Secret", "Secret", true, "Do not forget your encryption key!", {}},
      {KeyPurpose::Decryption, "", "", false, "Enter a valid key, or click cancel!", {}},
      {KeyPurpose::Decryption, "any key", "", true, "Please enter the decryption key.", {}},
      {KeyPurpose::ConfirmedDecryption,
       "Key",
       "KEY",
       false,
       "Please enter the decryption key.",
       {"The keys you entered are different!"}},
      {KeyPurpose::ConfirmedDecryption, "Key", "Key", true, "Please enter the decryption key.", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key.toStdString() + " / " + c.confirmation.toStdString());
    test::RecordingMessages messages;
    KeyDialog dialog(Request(c.purpose), messages);
    dialog.show();
    Controls ui(&dialog);
    QTest::keyClicks(ui.key, c.key);
    if (ui.confirmation->isEnabled()) QTest::keyClicks(ui.confirmation, c.confirmation);
    QTest::mouseClick(ui.ok, Qt::LeftButton);
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(dialog.isVisible(), !c.accepted);
    EXPECT_EQ(ui.messageLine->text(), c.messageLine);
    std::vector<std::string> shown;
    for (const auto& m : messages.shown) {
      shown.push_back(m.text);
      EXPECT_EQ(m.icon, MessageIcon::None);
    }
    EXPECT_EQ(shown, c.shown);
    if (!c.accepted) {
      EXPECT_EQ(dialog.focusWidget(), ui.key);
    }
  }
}

TEST(KeyDialog, HandsBackNameKeyAndRememberTick) {
  test::RecordingMessages messages;
  KeyRequest request = Request(KeyPurpose::Encryption, true);
  KeyDialog dialog(request, messages);
  dialog.show();
  Controls ui(&dialog);
  ui.keyName->selectAll();
  QTest::keyClicks(ui.keyName, "Payroll 2026");
  QTest::keyClicks(ui.key, "s3cret");
  QTest::keyClicks(ui.confirmation, "s3cret");
  test::Click(ui.remember);
  QTest::mouseClick(ui.ok, Qt::LeftButton);
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Entered(), (EnteredKey{"Payroll 2026", "s3cret", true}));
  EXPECT_TRUE(messages.shown.empty());  // remembering an encryption key is not warned about

  // A decryption key comes back without a name, whatever the caller preset.
  request = Request(KeyPurpose::Decryption);
  request.keyName = "ignored";
  KeyDialog decryption(request, messages);
  decryption.show();
  QTest::keyClicks(Find<QLineEdit>(&decryption, "key"), "d");
  QTest::keyClick(&decryption, Qt::Key_Return);  // OK is the default button
  ASSERT_EQ(decryption.result(), QDialog::Accepted);
  EXPECT_EQ(decryption.Entered(), (EnteredKey{"", "d", false}));
}

TEST(KeyDialog, PresetsFillTheFieldsCutToTheirLimits) {
  test::RecordingMessages messages;
  KeyRequest request = Request(KeyPurpose::Encryption, true);
  request.keyName = "a name much longer than fifteen";
  request.key = std::string(40, 'k');
  request.confirmation = request.key;
  request.remember = true;
  KeyDialog dialog(request, messages);
  dialog.show();
  Controls ui(&dialog);
  EXPECT_EQ(ui.keyName->text(), "a name much lon");
  EXPECT_TRUE(ui.remember->isChecked());
  QTest::mouseClick(ui.ok, Qt::LeftButton);
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Entered(), (EnteredKey{"a name much lon", std::string(32, 'k'), true}));
}

TEST(KeyDialog, HelpButtonsAndTheRememberWarning) {
  test::RecordingMessages messages;
  KeyDialog encryption(Request(KeyPurpose::Encryption, true), messages);
  encryption.show();
  Controls ui(&encryption);
  QTest::mouseClick(ui.keyNameHelp, Qt::LeftButton);
  QTest::mouseClick(ui.keyHelp, Qt::LeftButton);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text,
            "\nKey Name can be used later to remind you which key\t\t\nyou used to encrypt the "
            "files. So choose a name that\ncan help you remember the key.");
  EXPECT_EQ(messages.shown[1].text,
            "\nA key is similar to a password. It is used to encrypt your files.\t\nNobody will "
            "be able to open an encrypted file without knowing the key.\t\n\nAll files copied "
            "to Harbell are required to be encrypted.");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
  EXPECT_EQ(messages.shown[1].icon, MessageIcon::Information);
  EXPECT_TRUE(encryption.isVisible());

  const struct {
    KeyPurpose purpose;
    bool warns;
  } cases[] = {{KeyPurpose::Encryption, false},
               {KeyPurpose::Decryption, true},
               {KeyPurpose::ConfirmedDecryption, false}};
  for (const auto& c : cases) {
    test::RecordingMessages recorded;
    KeyDialog dialog(Request(c.purpose, true), recorded);
    dialog.show();
    auto* remember = Find<QCheckBox>(&dialog, "remember");
    test::Click(remember);  // ticked
    EXPECT_TRUE(remember->isChecked());
    test::Click(remember);  // unticked: never warned about
    test::Click(remember);  // ticked again
    std::vector<std::string> expected;
    if (c.warns)
      expected.assign(2, "Unless this is your private computer, this is not recommended.\t");
    std::vector<std::string> shown;
    for (const auto& m : recorded.shown) shown.push_back(m.text);
    EXPECT_EQ(shown, expected) << static_cast<int>(c.purpose);
    EXPECT_TRUE(remember->isChecked());
  }
}

TEST(KeyDialog, AskReturnsNothingOnCancel) {
  test::RecordingMessages messages;
  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(Find<QLineEdit>(modal, "key"), "typed but cancelled");
    QTest::mouseClick(Find<QPushButton>(modal, "cancelButton"), Qt::LeftButton);
  });
  EXPECT_EQ(KeyDialog::Ask(Request(KeyPurpose::Decryption, true), messages), std::nullopt);

  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(Find<QLineEdit>(modal, "key"), "k");
    QTest::keyClicks(Find<QLineEdit>(modal, "confirmation"), "k");
    QTest::mouseClick(Find<QPushButton>(modal, "okButton"), Qt::LeftButton);
  });
  EXPECT_EQ(KeyDialog::Ask(Request(KeyPurpose::ConfirmedDecryption), messages),
            (EnteredKey{"", "k", false}));
}

}  // namespace
}  // namespace quillon

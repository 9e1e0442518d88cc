// The question about an untrusted server: every answer, Enter and Escape never trusting, and a
// changed identity shown as such.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>

#include "remote/Fingerprint.h"
#include "remote/ui/TrustDialog.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

using test::Find;
using test::WhenModalOpens;

ServerIdentity SelfSigned() {
  ServerIdentity identity;
  identity.host = "localhost";
  identity.port = 2121;
  identity.fingerprint = Sha256Fingerprint("der");
  identity.problem = "self-signed certificate";
  identity.certificate.subject = "CN=localhost\n<b>bold</b>";
  identity.certificate.issuer = "CN=localhost";
  return identity;
}

// The answer the asker returns when the user does `act` in the dialog.
TrustAnswer AnswerAfter(const ServerIdentity& identity, std::function<void(QWidget*)> act) {
  QWidget parent;
  DialogTrustAsker asker(&parent);
  WhenModalOpens(std::move(act));
  return asker.Ask(identity);
}

TEST(TrustDialogTest, EachButtonGivesItsAnswer) {
  const struct {
    const char* button;
    TrustAnswer answer;
  } cases[] = {{"trustAlwaysButton", TrustAnswer::Always},
               {"trustOnceButton", TrustAnswer::Once},
               {"cancelButton", TrustAnswer::Refuse}};
  for (const auto& c : cases) {
    EXPECT_EQ(AnswerAfter(SelfSigned(),
                          [&](QWidget* dialog) {
                            QTest::mouseClick(Find<QPushButton>(dialog, c.button), Qt::LeftButton);
                          }),
              c.answer)
        << c.button;
  }
}

TEST(TrustDialogTest, EnterAndEscapeNeverTrust) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    EXPECT_EQ(AnswerAfter(SelfSigned(), [&](QWidget* dialog) { QTest::keyClick(dialog, key); }),
              TrustAnswer::Refuse)
        << key;
  }
}

TEST(TrustDialogTest, ShowsWhatTheServerPresentsAsPlainText) {
  const ServerIdentity identity = SelfSigned();
  TrustDialog dialog(identity);
  auto* text = Find<QLabel>(&dialog, "trustText");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->textFormat(), Qt::PlainText);
  EXPECT_EQ(text->text().toStdString(), TrustQuestionText(identity));
  EXPECT_TRUE(text->text().contains(QString::fromStdString(identity.fingerprint)));
  EXPECT_EQ(dialog.windowTitle(), "Untrusted Server - Harbell");

  ServerIdentity changed = identity;
  changed.changed = true;
  changed.knownFingerprint = Sha256Fingerprint("old");
  TrustDialog warning(changed);
  EXPECT_EQ(warning.windowTitle(), "Server Identity Changed - Harbell");
  EXPECT_TRUE(Find<QLabel>(&warning, "trustText")->text().startsWith("WARNING: The identity"));
}

}  // namespace
}  // namespace quillon

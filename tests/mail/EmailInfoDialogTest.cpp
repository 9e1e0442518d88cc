// The e-mail settings dialog driven through its controls; "Test" talks to a real SMTP server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>

#include "mail/ui/EmailInfoDialog.h"
#include "support/SmtpServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

using test::Click;
using test::Find;

struct Controls {
  explicit Controls(const QWidget* dialog)
      : from(Find<QLineEdit>(dialog, "from")),
        server(Find<QLineEdit>(dialog, "server")),
        to(Find<QLineEdit>(dialog, "to")),
        useEmail(Find<QCheckBox>(dialog, "useEmail")),
        ok(Find<QPushButton>(dialog, "okButton")),
        test(Find<QPushButton>(dialog, "testButton")),
        cancel(Find<QPushButton>(dialog, "cancelButton")) {}
  bool FieldsEnabled() const {
    return from->isEnabled() && server->isEnabled() && to->isEnabled() && test->isEnabled();
  }
  bool FieldsDisabled() const {
    return !from->isEnabled() && !server->isEnabled() && !to->isEnabled() && !test->isEnabled();
  }
  void Retype(QLineEdit* edit, const QString& text) const {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  QLineEdit* from;
  QLineEdit* server;
  QLineEdit* to;
  QCheckBox* useEmail;
  QPushButton* ok;
  QPushButton* test;
  QPushButton* cancel;
};

const EmailSettings kPreset{true, "ops@example.com", "mail.example.com", "admin@example.org"};

std::vector<std::string> Texts(const test::RecordingMessages& messages) {
  std::vector<std::string> texts;
  for (const auto& m : messages.shown) {
    texts.push_back(m.text);
    EXPECT_EQ(m.icon, MessageIcon::Warning) << m.text;
  }
  return texts;
}

TEST(EmailInfoDialog, TheBoxEnablesTheFieldsAndTest) {
  test::RecordingMessages messages;
  for (bool useEmail : {true, false}) {
    EmailSettings preset = kPreset;
    preset.useEmail = useEmail;
    EmailInfoDialog dialog(preset, messages);
    dialog.show();
    Controls ui(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Email Info");
    EXPECT_EQ(ui.from->text(), "ops@example.com");
    EXPECT_EQ(ui.server->text(), "mail.example.com");
    EXPECT_EQ(ui.to->text(), "admin@example.org");
    EXPECT_EQ(ui.useEmail->isChecked(), useEmail);
    EXPECT_TRUE(useEmail ? ui.FieldsEnabled() : ui.FieldsDisabled());
    Click(ui.useEmail);
    EXPECT_TRUE(useEmail ? ui.FieldsDisabled() : ui.FieldsEnabled());
    Click(ui.useEmail);
    EXPECT_TRUE(useEmail ? ui.FieldsEnabled() : ui.FieldsDisabled());
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST(EmailInfoDialog, OkTakesTheFields) {
  const struct {
    QString from;
    QString server;
    QString to;
    bool untick;
    bool accepted;
    EmailSettings result;
    std::string refusal = "Fields cannot be blank.";
  } cases[] = {
      {"  me@example.com",
       " smtp.example.com",
       "   a@x;b@y",
       false,
       true,
       {true, "me@example.com", "smtp.example.com", "a@x;b@y"}},
      {"", "smtp.example.com", "a@x", false, false, {}},
      {"me@example.com", "   ", "a@x", false, false, {}},
      {"me@example.com", "smtp.example.com", "", false, false, {}},
      {"me@example.com", "smtp.example.com", ";;", false, false, {}, "Invalid recipient address."},
      {"me@example.com",
       "smtp.example.com",
       "a@x <b@y>",
       false,
       false,
       {},
       "Invalid recipient address."},
      {"me", "smtp.example.com", "a@x", false, false, {}, "Invalid sender address."},
      // Turned off: the task is saved without any of the three.
      {"me@example.com", "smtp.example.com", "a@x", true, true, {false, "", "", ""}},
      {"", "", "", true, true, {false, "", "", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from.toStdString() + "|" + c.server.toStdString() + "|" + c.to.toStdString());
    test::RecordingMessages messages;
    EmailInfoDialog dialog(kPreset, messages);
    dialog.show();
    Controls ui(&dialog);
    ui.Retype(ui.from, c.from);
    ui.Retype(ui.server, c.server);
    ui.Retype(ui.to, c.to);
    if (c.untick) Click(ui.useEmail);
    Click(ui.ok);
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(dialog.isVisible(), !c.accepted);
    if (c.accepted) {
      EXPECT_EQ(dialog.Settings(), c.result);
      EXPECT_TRUE(messages.shown.empty());
    } else {
      EXPECT_EQ(Texts(messages), std::vector<std::string>{c.refusal});
    }
  }
}

TEST(EmailInfoDialog, TestSendsToARealServerAndStaysOpen) {
  test::SmtpServer server;
  const struct {
    std::string server;
    QString to;
    std::string shown;
  } cases[] = {
      {server.address(), "  admin@example.org; night@example.org",
       "A test email has been sent to: admin@example.org; night@example.org"},
      {server.address(), " ; , ", "Invalid recipient address."},
      {"127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()), "admin@example.org",
       "Test failed: Cannot connect to server."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server + " " + c.to.toStdString());
    test::RecordingMessages messages;
    EmailInfoDialog dialog(kPreset, messages);
    dialog.show();
    Controls ui(&dialog);
    ui.Retype(ui.server, QString::fromStdString(c.server));
    ui.Retype(ui.to, c.to);
    Click(ui.test);
    EXPECT_EQ(Texts(messages), std::vector<std::string>{c.shown});
    EXPECT_TRUE(dialog.isVisible() && dialog.isEnabled());
    EXPECT_EQ(ui.to->text(), c.to);  // a test changes no field
  }
  ASSERT_TRUE(server.WaitForMessages(1));
  const test::SmtpServer::Message m = server.Messages().at(0);
  EXPECT_EQ(m.mailFrom, "ops@example.com");
  EXPECT_EQ(m.rcptTo, (std::vector<std::string>{"admin@example.org", "night@example.org"}));
  EXPECT_NE(m.data.find("\r\nSubject: Quillon Email Notification Test\r\n"), std::string::npos);
  EXPECT_EQ(m.data.substr(m.data.find("\r\n\r\n") + 4), "Test OK.\r\n\r\n");
  EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(EmailInfoDialog, ClosingWaitsForTheTestsAnswer) {
  test::RecordingMessages messages;
  EmailInfoDialog dialog(kPreset, messages);
  std::atomic<bool> release{false};
  bool disabledMeanwhile = false;
  dialog.SetTestSender([&](const EmailSettings& settings) {
    EXPECT_TRUE(test::WaitFor([&] { return release.load(); }));
    return "sent to " + settings.to;
  });
  dialog.show();
  // While the message is on its way, closing is refused; then the answer comes.
  QTimer::singleShot(0, &dialog, [&] {
    disabledMeanwhile = !dialog.isEnabled();
    dialog.reject();
    release = true;
  });
  Click(Find<QPushButton>(&dialog, "testButton"));
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(Texts(messages), std::vector<std::string>{"sent to admin@example.org"});
  Click(Find<QPushButton>(&dialog, "cancelButton"));
  EXPECT_FALSE(dialog.isVisible());
}

TEST(EmailInfoDialog, AskGivesNothingOnCancel) {
  test::RecordingMessages messages;
  test::WhenModalOpens([](QWidget* modal) {
    Click(Find<QCheckBox>(modal, "useEmail"));
    Click(Find<QPushButton>(modal, "cancelButton"));
  });
  EXPECT_EQ(EmailInfoDialog::Ask(kPreset, messages), std::nullopt);

  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(Find<QLineEdit>(modal, "to"), ";ops@example.com");
    Click(Find<QPushButton>(modal, "okButton"));
  });
  EXPECT_EQ(EmailInfoDialog::Ask(kPreset, messages),
            (EmailSettings{true, "ops@example.com", "mail.example.com",
                           "admin@example.org;ops@example.com"}));
}

}  // namespace
}  // namespace quillon

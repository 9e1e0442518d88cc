// The "Schedule" and "Shortcut name" dialogs, driven through their real widgets offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "tasks/ui/ScheduleDialog.h"
#include "tasks/ui/ShortcutNameDialog.h"

namespace quillon {
namespace {

void Retype(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

ScheduleSettings Preset() {
  ScheduleSettings s;
  s.startDate = {2024, 5, 31};
  s.startHour = 23;
  s.startMinute = 59;
  s.startSecond = 10;
  s.repeat = 3;
  s.every = true;
  s.hours = 800;
  s.minutes = 59;
  s.times = 2;
  return s;
}

TEST(ScheduleDialog, ShowsThePresetWithTheAccountDisabled) {
  test::RecordingMessages messages;
  ScheduleDialog dialog(Preset(), messages);
  EXPECT_EQ(dialog.windowTitle(), "Schedule");
  EXPECT_EQ(test::Find<QDateEdit>(&dialog, "startDate")->date(), QDate(2024, 5, 31));
  EXPECT_EQ(test::Find<QTimeEdit>(&dialog, "startTime")->time(), QTime(23, 59, 10));
  EXPECT_TRUE(test::Find<QRadioButton>(&dialog, "monthly")->isChecked());
  EXPECT_TRUE(test::Find<QCheckBox>(&dialog, "every")->isChecked());
  EXPECT_EQ(test::Find<QLineEdit>(&dialog, "hours")->text(), "800");
  EXPECT_EQ(test::Find<QLineEdit>(&dialog, "minutes")->text(), "59");
  EXPECT_EQ(test::Find<QLineEdit>(&dialog, "times")->text(), "2");
  EXPECT_FALSE(test::Find<QLineEdit>(&dialog, "userId")->isEnabled());
  QLineEdit* password = test::Find<QLineEdit>(&dialog, "password");
  EXPECT_FALSE(password->isEnabled());
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);

  test::Click(test::Find<QPushButton>(&dialog, "help"));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, kScheduleHelpText);
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
}

TEST(ScheduleDialog, OkStaysOpenOnANumberOutOfRangeAndTakesTheFixedValues) {
  test::RecordingMessages messages;
  ScheduleDialog dialog(Preset(), messages);
  dialog.show();
  QLineEdit* hours = test::Find<QLineEdit>(&dialog, "hours");
  Retype(hours, "801");
  test::Click(test::Find<QPushButton>(&dialog, "ok"));
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Please enter an integer between 0 and 800.");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
  EXPECT_EQ(dialog.Settings(), Preset());

  // Out of range is fine while "Every" is off; what is typed is still taken.
  test::Click(test::Find<QCheckBox>(&dialog, "every"));
  test::Click(test::Find<QRadioButton>(&dialog, "weekly"));
  test::Find<QDateEdit>(&dialog, "startDate")->setDate(QDate(2024, 6, 5));
  test::Find<QTimeEdit>(&dialog, "startTime")->setTime(QTime(7, 5, 0));
  test::Click(test::Find<QPushButton>(&dialog, "ok"));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ScheduleSettings expected = Preset();
  expected.startDate = {2024, 6, 5};
  expected.startHour = 7;
  expected.startMinute = 5;
  expected.startSecond = 0;
  expected.repeat = 2;
  expected.every = false;
  expected.hours = 801;
  EXPECT_EQ(dialog.Settings(), expected);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(ScheduleDialog, TheEditorOpensItModally) {
  test::RecordingMessages messages;
  ScheduleDialogEditor editor(messages);
  ScheduleSettings settings = Preset();
  test::WhenModalOpens([](QWidget* modal) { test::Find<QPushButton>(modal, "cancel")->click(); });
  EXPECT_FALSE(editor.Edit(settings, {}));
  EXPECT_EQ(settings, Preset());

  test::WhenModalOpens([](QWidget* modal) {
    test::Click(test::Find<QRadioButton>(modal, "daily"));
    test::Find<QPushButton>(modal, "ok")->click();
  });
  EXPECT_TRUE(editor.Edit(settings, {}));
  EXPECT_EQ(settings.repeat, 1);
}

// Timers that run only while the user is logged in are said to do so, with a button that turns
// lingering on; without that note the dialog shows neither.
TEST(ScheduleDialog, OffersLingeringWhenTimersStopAtLogOut) {
  test::RecordingMessages messages;
  {
    ScheduleDialog plain(Preset(), messages);
    EXPECT_EQ(plain.findChild<QWidget*>("lingerNote"), nullptr);
    EXPECT_EQ(plain.findChild<QWidget*>("enableLinger"), nullptr);
  }
  std::vector<bool> answers = {false, true};
  int asked = 0;
  ScheduleNotes notes;
  notes.enableLingering = [&](std::string* error) {
    bool ok = answers[asked++];
    if (!ok) *error = "Could not enable linger: Access denied";
    return ok;
  };
  ScheduleDialog dialog(Preset(), messages, nullptr, notes);
  dialog.show();
  QLabel* note = test::Find<QLabel>(&dialog, "lingerNote");
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->text().contains(QStringLiteral("only while you are logged in")));
  QPushButton* linger = test::Find<QPushButton>(&dialog, "enableLinger");
  test::Click(linger);
  test::Click(linger);
  EXPECT_EQ(asked, 2);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text,
            "Lingering could not be turned on: Could not enable linger: Access denied");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
  EXPECT_EQ(messages.shown[1].text,
            "Lingering is on: your scheduled tasks also run while you are logged out.");
  EXPECT_EQ(messages.shown[1].icon, MessageIcon::Information);
  EXPECT_FALSE(note->isVisible());
  EXPECT_FALSE(linger->isVisible());
}

TEST(ShortcutNameDialog, DefaultsNameAndPlaces) {
  test::RecordingMessages messages;
  ShortcutNameDialog dialog(messages);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Shortcut name");
  QLineEdit* name = test::Find<QLineEdit>(&dialog, "name");
  EXPECT_EQ(name->maxLength(), 64);
  QCheckBox* desktop = test::Find<QCheckBox>(&dialog, "desktop");
  QCheckBox* startMenu = test::Find<QCheckBox>(&dialog, "startMenu");
  EXPECT_TRUE(desktop->isChecked());
  EXPECT_TRUE(test::Find<QCheckBox>(&dialog, "quickLaunch")->isChecked());
  EXPECT_FALSE(startMenu->isChecked());
  EXPECT_EQ(test::Find<QCheckBox>(&dialog, "quickLaunch")->text(), "Quick Launch Bar");

  QTest::keyClicks(name, "   ");
  test::Click(test::Find<QPushButton>(&dialog, "ok"));
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Invalid name.");

  QTest::keyClicks(name, "Nightly run  ");
  test::Click(desktop);
  test::Click(startMenu);
  test::Click(test::Find<QPushButton>(&dialog, "ok"));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Choice().name, "Nightly run");
  EXPECT_EQ(dialog.Choice().places, kShortcutQuickLaunch | kShortcutStartMenu);
}

TEST(ShortcutNameDialog, APlaceThatDoesNotExistIsOffWithItsReason) {
  test::RecordingMessages messages;
  ShortcutNameDialog dialog(messages, nullptr, kNoQuickLaunch);
  dialog.show();
  QCheckBox* quickLaunch = test::Find<QCheckBox>(&dialog, "quickLaunch");
  EXPECT_FALSE(quickLaunch->isChecked());
  EXPECT_FALSE(quickLaunch->isEnabled());
  EXPECT_EQ(quickLaunch->toolTip().toStdString(), kNoQuickLaunch);
  QTest::keyClicks(test::Find<QLineEdit>(&dialog, "name"), "Nightly");
  test::Click(test::Find<QPushButton>(&dialog, "ok"));
  EXPECT_EQ(dialog.Choice().places, kShortcutDesktop);
}

TEST(ShortcutNameDialog, NoPlaceOrCancelAsksForNothing) {
  test::RecordingMessages messages;
  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(test::Find<QLineEdit>(modal, "name"), "Nightly");
    test::Find<QCheckBox>(modal, "desktop")->setChecked(false);
    test::Find<QCheckBox>(modal, "quickLaunch")->setChecked(false);
    test::Find<QPushButton>(modal, "ok")->click();
  });
  EXPECT_EQ(AskShortcutChoice(messages), std::nullopt);
  test::WhenModalOpens([](QWidget* modal) { test::Find<QPushButton>(modal, "cancel")->click(); });
  EXPECT_EQ(AskShortcutChoice(messages), std::nullopt);
  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(test::Find<QLineEdit>(modal, "name"), "Nightly");
    test::Find<QPushButton>(modal, "ok")->click();
  });
  std::optional<ShortcutChoice> choice = AskShortcutChoice(messages);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->places, kShortcutDesktop | kShortcutQuickLaunch);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace quillon

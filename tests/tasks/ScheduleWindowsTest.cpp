// The "Schedule" and "Shortcut name" dialogs, driven through their real widgets offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
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

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

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
  EXPECT_EQ(Child<QDateEdit>(&dialog, "startDate")->date(), QDate(2024, 5, 31));
  EXPECT_EQ(Child<QTimeEdit>(&dialog, "startTime")->time(), QTime(23, 59, 10));
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "monthly")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(&dialog, "every")->isChecked());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "hours")->text(), "800");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "minutes")->text(), "59");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "times")->text(), "2");
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "userId")->isEnabled());
  QLineEdit* password = Child<QLineEdit>(&dialog, "password");
  EXPECT_FALSE(password->isEnabled());
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);

  QTest::mouseClick(Child<QPushButton>(&dialog, "help"), Qt::LeftButton);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, kScheduleHelpText);
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
}

TEST(ScheduleDialog, OkStaysOpenOnANumberOutOfRangeAndTakesTheFixedValues) {
  test::RecordingMessages messages;
  ScheduleDialog dialog(Preset(), messages);
  dialog.show();
  QLineEdit* hours = Child<QLineEdit>(&dialog, "hours");
  Retype(hours, "801");
  QTest::mouseClick(Child<QPushButton>(&dialog, "ok"), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Please enter an integer between 0 and 800.");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
  EXPECT_EQ(dialog.Settings(), Preset());

  // Out of range is fine while "Every" is off; what is typed is still taken.
  QTest::keyClick(Child<QCheckBox>(&dialog, "every"), Qt::Key_Space);
  QTest::mouseClick(Child<QRadioButton>(&dialog, "weekly"), Qt::LeftButton);
  Child<QDateEdit>(&dialog, "startDate")->setDate(QDate(2024, 6, 5));
  Child<QTimeEdit>(&dialog, "startTime")->setTime(QTime(7, 5, 0));
  QTest::mouseClick(Child<QPushButton>(&dialog, "ok"), Qt::LeftButton);
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
  test::WhenModalOpens([](QWidget* modal) {
    Child<QPushButton>(modal, "cancel")->click();
  });
  EXPECT_FALSE(editor.Edit(settings));
  EXPECT_EQ(settings, Preset());

  test::WhenModalOpens([](QWidget* modal) {
    QTest::mouseClick(Child<QRadioButton>(modal, "daily"), Qt::LeftButton);
    Child<QPushButton>(modal, "ok")->click();
  });
  EXPECT_TRUE(editor.Edit(settings));
  EXPECT_EQ(settings.repeat, 1);
}

TEST(ShortcutNameDialog, DefaultsNameAndPlaces) {
  test::RecordingMessages messages;
  ShortcutNameDialog dialog(messages);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Shortcut name");
  QLineEdit* name = Child<QLineEdit>(&dialog, "name");
  EXPECT_EQ(name->maxLength(), 64);
  QCheckBox* desktop = Child<QCheckBox>(&dialog, "desktop");
  QCheckBox* startMenu = Child<QCheckBox>(&dialog, "startMenu");
  EXPECT_TRUE(desktop->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(&dialog, "quickLaunch")->isChecked());
  EXPECT_FALSE(startMenu->isChecked());
  EXPECT_EQ(Child<QCheckBox>(&dialog, "quickLaunch")->text(), "Quick Launch Bar");

  QTest::keyClicks(name, "   ");
  QTest::mouseClick(Child<QPushButton>(&dialog, "ok"), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Invalid name.");

  QTest::keyClicks(name, "Nightly run  ");
  QTest::keyClick(desktop, Qt::Key_Space);
  QTest::keyClick(startMenu, Qt::Key_Space);
  QTest::mouseClick(Child<QPushButton>(&dialog, "ok"), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Choice().name, "Nightly run");
  EXPECT_EQ(dialog.Choice().places, kShortcutQuickLaunch | kShortcutStartMenu);
}

TEST(ShortcutNameDialog, NoPlaceOrCancelAsksForNothing) {
  test::RecordingMessages messages;
  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(Child<QLineEdit>(modal, "name"), "Nightly");
    Child<QCheckBox>(modal, "desktop")->setChecked(false);
    Child<QCheckBox>(modal, "quickLaunch")->setChecked(false);
    Child<QPushButton>(modal, "ok")->click();
  });
  EXPECT_EQ(AskShortcutChoice(messages), std::nullopt);
  test::WhenModalOpens([](QWidget* modal) { Child<QPushButton>(modal, "cancel")->click(); });
  EXPECT_EQ(AskShortcutChoice(messages), std::nullopt);
  test::WhenModalOpens([](QWidget* modal) {
    QTest::keyClicks(Child<QLineEdit>(modal, "name"), "Nightly");
    Child<QPushButton>(modal, "ok")->click();
  });
  std::optional<ShortcutChoice> choice = AskShortcutChoice(messages);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->places, kShortcutDesktop | kShortcutQuickLaunch);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace quillon

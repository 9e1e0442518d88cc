#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <thread>

#include "app/MainApp.h"
#include "app/ui/ActivityLogWidget.h"
#include "app/ui/Colour.h"
#include "app/ui/QtMessagePresenter.h"
#include "app/ui/StartupMessagePresenter.h"
#include "common/ui/InformationDialog.h"
#include "profiles/IniFile.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

TEST(Colour, ValuesAreRedGreenBlueFromTheLowByte) {
  EXPECT_EQ(ToQColor(255), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(0x008800), QColor(0, 0x88, 0));
  EXPECT_EQ(ToQColor(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(ToQColor(136), QColor(136, 0, 0));
  EXPECT_EQ(ToQColor(-1, Qt::darkGray), QColor(Qt::darkGray));
}

TEST(ActivityLogWidget, KeepsAtMost1001LinesAndSelectsTheNewest) {
  ActivityLogWidget log;
  for (int i = 0; i < 1001; ++i) log.AddLine("line " + std::to_string(i), colour::kBlack);
  ASSERT_EQ(log.count(), 1001);
  EXPECT_EQ(log.item(0)->text(), "line 0");
  log.AddLine("one more", colour::kRed);
  EXPECT_EQ(log.count(), 1001);
  EXPECT_EQ(log.item(0)->text(), "line 1");
  EXPECT_EQ(log.currentItem()->text(), "one more");
  EXPECT_TRUE(log.AllText().endsWith("line 1000\r\none more\r\n"));
}

TEST(ActivityLogWidget, LinesFromOtherThreadsArriveInOrder) {
  ActivityLogWidget log;
  std::thread lane([&] {
    for (int i = 0; i < 50; ++i) log.AddLine("lane " + std::to_string(i), colour::kBlue);
  });
  lane.join();
  EXPECT_TRUE(test::WaitFor([&] {
    QCoreApplication::processEvents();
    return log.count() == 50;
  }));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(log.item(i)->text(), QString("lane %1").arg(i));
}

TEST(QtMessagePresenter, ReturnsTheClickedButtonsAnswer) {
  QtMessagePresenter messages;
  struct Case {
    MessageButtons buttons;
    QString click;
    MessageAnswer answer;
  } cases[] = {
      {MessageButtons::Ok, "OK", MessageAnswer::Ok},
      {MessageButtons::OkCancel, "Cancel", MessageAnswer::Cancel},
      {MessageButtons::YesNo, "&No", MessageAnswer::No},
      {MessageButtons::YesYesToAllNoNoToAll, "Yes to &All", MessageAnswer::YesToAll},
      {MessageButtons::YesYesToAllNoNoToAll, "No to All", MessageAnswer::NoToAll},
  };
  for (const auto& c : cases) {
    QString seenText, seenTitle;
    test::WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      seenText = box->text();
      seenTitle = box->windowTitle();
      for (QAbstractButton* button : box->buttons())
        if (button->text() == c.click) button->click();
    });
    EXPECT_EQ(messages.Show("report.txt already exists!", c.buttons, MessageIcon::Question),
              c.answer)
        << c.click.toStdString();
    EXPECT_EQ(seenText, "report.txt already exists!");
    EXPECT_EQ(seenTitle, c.buttons == MessageButtons::YesYesToAllNoNoToAll
                             ? "File Already Exists..."
                             : "Harbell");
  }
}

TEST(InformationDialog, ShowsTheTextAndDiscardsEdits) {
  InformationDialog dialog;
  dialog.Append("first\r\n");
  dialog.Append("second\r\n");
  test::WhenModalOpens([](QWidget* modal) {
    auto* box = modal->findChild<QPlainTextEdit*>("text");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->toPlainText(), "first\nsecond\n");
    box->insertPlainText("typed");
    modal->findChild<QPushButton*>("close")->click();
  });
  dialog.exec();
  EXPECT_EQ(dialog.Text(), "first\r\nsecond\r\n");
  EXPECT_EQ(dialog.windowTitle(), "Information");
}

// A refused task line from a launcher comes up in a box (and on stderr); one from cron goes to
// stderr alone. Start-up itself talks to the presenter, as the real program does.
TEST(StartupMessagePresenter, RefusalsGoToStderrAndIntoABoxWhenAsked) {
  test::TempDir dir;
  const std::string folder = dir.path().string() + "/";
  ASSERT_TRUE(WriteText(1, "Profile", "Nightly", folder + "QvrTask.ini"));
  ASSERT_TRUE(WriteNumber(1, "TaskID", 20, folder + "QvrTask.ini"));
  int argc = 1;
  char name[] = "quillon";
  char* argv[] = {name, nullptr};
  struct Case {
    std::string line;
    bool boxes;
    std::string text;
  } cases[] = {
      {"QvrTask.ini SESSION01 -Notify -TaskID 19 -ShowWin", true,
       "Task Failed:\n\nThe task is outdated."},
      {"QvrTask.ini SESSION01 -TaskID 21", false,
       "Task Failed:\n\nThe target task cannot be found.\nPlease re-create the shortcut."},
      {"QvrTask.ini SESSION33 -Notify", true, "Session number out of range."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    StartupMessagePresenter presenter(argc, argv, c.boxes);
    MainApp app(folder, presenter);
    std::string boxText = "(no box)";
    if (c.boxes) {
      test::WhenModalOpens([&boxText](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        boxText = box->text().toStdString();
        box->buttons().front()->click();
      });
    }
    testing::internal::CaptureStderr();
    app.Run(c.line, {});
    // (The offscreen platform may add a line of its own after it.)
    EXPECT_TRUE(testing::internal::GetCapturedStderr().starts_with(c.text + "\n"));
    EXPECT_EQ(boxText, c.boxes ? c.text : "(no box)");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

}  // namespace
}  // namespace quillon

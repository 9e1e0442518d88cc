// The progress window driving real lanes against a real FTP server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <filesystem>

#include "ftp/CurlFtp.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"
#include "transfer/ui/TransferProgressDialog.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class TransferProgressDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitCurlGlobal());
    fs::create_directories(dir.path() / "server/in");
    fs::create_directories(dir.path() / "local");
    server = std::make_unique<test::FtpServer>(test::FtpServer::Options{dir.path() / "server"});
    settings.profile = server->Profile();
  }

  std::unique_ptr<UploadManager> Manager(const std::vector<std::pair<std::string, size_t>>& files) {
    auto manager = std::make_unique<UploadManager>(settings, connector, messages, clock);
    manager->SetActivityLog(&log);
    for (const auto& [name, size] : files) {
      fs::path local = dir.path() / "local" / name;
      test::WriteFile(local, std::string(size, 'q'));
      auto job = std::make_unique<TransferJob>();
      job->source = local.string();
      job->destination = "/in/" + name;
      job->size = size;
      EXPECT_TRUE(manager->AddJob(std::move(job)));
    }
    return manager;
  }

  test::TempDir dir;
  std::unique_ptr<test::FtpServer> server;
  TransferSettings settings;
  CurlFtpConnector connector;
  test::RecordingMessages messages;
  test::RecordingLog log;
  SystemClock clock;
};

TEST_F(TransferProgressDialogTest, RunsTheQueueOnItsLanesAndEndsByItself) {
  auto manager = Manager({{"a.txt", 1000}, {"b.txt", 200000}});
  manager->SetMaxThreads(6);
  TransferProgressDialog dialog(*manager, false);
  dialog.Run();

  EXPECT_EQ(manager->LaneCount(), 2) << "no more lanes than files";
  EXPECT_EQ(manager->Succeeded(), 2);
  EXPECT_EQ(test::ReadFile(dir.path() / "server/in/b.txt"), std::string(200000, 'q'));
  EXPECT_TRUE(log.Contains("Transmission completed successfully!"));
  EXPECT_TRUE(log.Contains("All of the 2 selected file(s) have been uploaded."));
  EXPECT_TRUE(messages.shown.empty()) << "no box when every file arrived";
  EXPECT_EQ(dialog.findChild<QLabel*>("succeeded")->text(), "OK: 2");
  EXPECT_EQ(dialog.windowTitle(), "0 files to upload ...");
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(TransferProgressDialogTest, CancelStopsTheRunAndSaysSo) {
  auto manager = Manager({{"big1.bin", 60 << 20}, {"big2.bin", 60 << 20}, {"big3.bin", 60 << 20}});
  manager->SetMaxThreads(1);
  TransferProgressDialog dialog(*manager, false);
  test::WhenModalOpens([](QWidget* modal) {
    if (auto* cancel = modal->findChild<QPushButton*>("cancelButton")) cancel->click();
  });
  dialog.Run();

  EXPECT_TRUE(manager->Cancelled());
  EXPECT_LT(manager->Succeeded(), 3);
  EXPECT_TRUE(log.Contains("Transmission canceled!"));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("Transmission canceled!", 0), 0u);
}

TEST_F(TransferProgressDialogTest, EachLaneShowsItsSpeedAndTheRunItsTimeLeft) {
  // A slow line, so that the run lasts long enough to be watched.
  server = std::make_unique<test::FtpServer>(
      test::FtpServer::Options{.root = dir.path() / "server", .rate = 1'000'000});
  settings.profile = server->Profile();
  // Downloads: their progress is what arrived, whatever the kernel buffers on the way.
  auto manager = std::make_unique<DownloadManager>(settings, connector, messages, clock);
  manager->SetActivityLog(&log);
  for (const char* name : {"big1.bin", "big2.bin"}) {
    test::WriteFile(dir.path() / "server/in" / name, std::string(6 << 20, 'd'));
    auto job = std::make_unique<TransferJob>();
    job->source = std::string("/in/") + name;
    job->destination = (dir.path() / "local" / name).string();
    job->size = 6 << 20;
    ASSERT_TRUE(manager->AddJob(std::move(job)));
  }
  manager->SetMaxThreads(2);
  TransferProgressDialog dialog(*manager, false);
  std::string speed, percentColour, left;
  test::WhenModalOpens([&](QWidget* modal) {
    QPointer<QWidget> lane = modal->findChild<QWidget*>("lane0");
    ASSERT_NE(lane, nullptr);
    auto* remaining = modal->findChild<QLabel*>("remaining");
    // Seen once the lane has moved for a while: its pace, and the run's time left from it.
    ASSERT_TRUE(test::WaitFor([&] {
      QCoreApplication::processEvents();
      if (lane && percentColour.empty())
        percentColour = lane->findChild<QLabel*>("percent")
                            ->palette()
                            .color(QPalette::WindowText)
                            .name()
                            .toStdString();
      if (lane && speed.empty()) speed = lane->findChild<QLabel*>("speed")->text().toStdString();
      left = remaining->text().toStdString();
      return !speed.empty() && left != "Time left: --:--:--";
    })) << speed
        << " | " << left;
    modal->findChild<QPushButton*>("cancelButton")->click();
  });
  dialog.Run();
  EXPECT_TRUE(speed.ends_with("B/s")) << speed;
  EXPECT_EQ(left.rfind("Time left: ", 0), 0u) << left;
  EXPECT_NE(left, "Time left: --:--:--");
  EXPECT_EQ(percentColour, "#ff0000");
}

TEST_F(TransferProgressDialogTest, AnEmptyQueueEndsAtOnce) {
  auto manager = Manager({});
  TransferProgressDialog dialog(*manager, false);
  dialog.Run();
  EXPECT_EQ(manager->Total(), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
}  // namespace quillon

// The main window's event loop never stalls on the network: neither while it connects to a
// server that never answers nor while it lists a folder of 10 000 entries. A short timer's
// largest gap, less the time the machine kept the thread from running, is the longest stall.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "app/MainApp.h"
#include "app/ui/MainWindow.h"
#include "ftp/CurlFtp.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "remote/ConnectionWorker.h"
#include "remote/ui/CFTPList.h"
#include "remote/ui/RemoteBrowserPanel.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/StallMeter.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLongestStall = 100ms;

bool WaitForGui(const std::function<bool()>& done) {
  return test::WaitFor(
      [&] {
        QCoreApplication::processEvents();
        return done();
      },
      60s);
}

// Runs the event loop as the program's own would (it sleeps only until the next event: the
// meter's timer ticks every 10 ms) until `done` holds or `timeout` passes.
bool Loop(const std::function<bool()>& done, std::chrono::milliseconds timeout = 60s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// Runs the event loop for `duration`, as a user who waits.
void Spin(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  Loop([&] { return std::chrono::steady_clock::now() >= end; });
}

class ResponsivenessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitCurlGlobal());
    app.SetSession(std::make_unique<CurlFtpConnector>());
  }
  void TearDown() override { ConnectionWorker::WaitForDropped(30s); }

  void WriteProfile(const ConnectionProfile& p) {
    ASSERT_TRUE(test::ProfileSection::Of(p, "Server").Write(0, ini));
  }

  test::TempDir dir;
  std::string ini = dir.path().string() + "/Quillon.ini";
  test::RecordingMessages messages;
  MainApp app{dir.path().string() + "/", messages};
};

TEST_F(ResponsivenessTest, ConnectingToASilentServer) {
  test::ScriptedFtpServer silent("silent");
  WriteProfile(silent.Profile());
  MainWindow window(app);
  window.show();
  test::StallMeter meter;
  test::Find<QPushButton>(&window, "connectButton")->click();
  ASSERT_TRUE(window.IsConnecting());
  Spin(1500ms);
  EXPECT_TRUE(window.IsConnecting()) << "the server never answers";
  test::Find<QPushButton>(&window, "cancelConnectButton")->click();
  Spin(200ms);
  EXPECT_FALSE(window.IsConnecting());
  EXPECT_GT(meter.Ticks(), 20);
  EXPECT_LT(meter.Longest(), kLongestStall) << "over " << meter.Ticks() << " ticks";
  RecordProperty("longest_stall_ms", static_cast<int>(meter.Longest().count()));
}

TEST_F(ResponsivenessTest, ListingAFolderOfTenThousandEntries) {
  const fs::path root = dir.path() / "server";
  fs::create_directories(root / "big");
  for (int i = 0; i < 10'000; ++i)
    std::ofstream(root / "big" / ("file-" + std::to_string(i) + ".dat")) << i;
  test::FtpServer server(test::FtpServer::Options{root});
  WriteProfile(server.Profile());
  MainWindow window(app);
  window.show();
  test::Find<QPushButton>(&window, "connectButton")->click();
  ASSERT_TRUE(WaitForGui([&] { return window.IsConnected() && !window.IsBusy(); }));

  test::StallMeter meter;
  std::optional<bool> shown;
  window.GoToRemotePath("/big", [&](bool ok) { shown = ok; });
  ASSERT_TRUE(Loop([&] { return shown.has_value(); }));
  Spin(200ms);  // the rows are painted
  ASSERT_TRUE(*shown);
  EXPECT_EQ(window.RemoteList().RowCount(), 10'000);
  EXPECT_GT(meter.Ticks(), 5);
  EXPECT_LT(meter.Longest(), kLongestStall) << "over " << meter.Ticks() << " ticks";
  RecordProperty("longest_stall_listing_ms", static_cast<int>(meter.Longest().count()));

  // Sorting them by a header click is quick too.
  meter.Restart();
  window.RemoteList().SortByColumn(FileColumn::Size);
  Spin(100ms);
  EXPECT_LT(meter.Longest(), kLongestStall);
  RecordProperty("longest_stall_sorting_ms", static_cast<int>(meter.Longest().count()));
}

}  // namespace
}  // namespace quillon

// The main window driven as a user would, against a real FTP server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>

#include "app/MainApp.h"
#include "app/ui/ActivityLogWidget.h"
#include "app/ui/MainWindow.h"
#include "localfs/ui/CDirList.h"
#include "platform/CurlFtp.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "remote/ui/CFTPList.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitCurlGlobal());
    fs::create_directories(serverRoot / "inbox");
    fs::create_directories(local / "out");
    fs::create_directories(local / "in");
    WriteFile(serverRoot / "readme.txt", "hello");
    server = std::make_unique<test::FtpServer>(test::FtpServer::Options{serverRoot});
    app.SetSession(std::make_unique<CurlFtpConnector>());
  }

  void WriteProfile(const std::string& password) {
    ConnectionProfile p = server->Profile();
    ASSERT_TRUE(WriteText(0, "Profile", "Test server", ini));
    ASSERT_TRUE(WriteText(0, "Address", p.address, ini));
    ASSERT_TRUE(WriteNumber(0, "Port", p.port, ini));
    ASSERT_TRUE(WriteText(0, "UserName", p.userName, ini));
    ASSERT_TRUE(WriteProtected(0, "Password", password, ini));
    ASSERT_TRUE(WriteNumber(0, "SavePassword", 1, ini));
    ASSERT_TRUE(WriteNumber(0, "PASVMode", 1, ini));
    ASSERT_TRUE(WriteNumber(0, "BinaryMode", 1, ini));
    ASSERT_TRUE(WriteProtected(0, "EncryptionKeyName", "test key", ini));
    ASSERT_TRUE(WriteProtected(0, "EncryptionKey", "pass phrase", ini));
    ASSERT_TRUE(WriteProtected(0, "DecryptionKey", "pass phrase", ini));
  }

  std::unique_ptr<MainWindow> Open() {
    auto window = std::make_unique<MainWindow>(app);
    window->show();
    return window;
  }

  void Connect(MainWindow& window) {
    test::Find<QPushButton>(&window, "connectButton")->click();
    ASSERT_TRUE(window.IsConnected()) << LogText(window);
  }

  static std::string LogText(MainWindow& window) {
    return window.ActivityLog().AllText().toStdString();
  }

  static QTreeWidgetItem* RemoteRow(MainWindow& window, const QString& name) {
    auto rows = window.RemoteList().findItems(name, Qt::MatchExactly, 0);
    return rows.isEmpty() ? nullptr : rows.front();
  }

  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string ini = folder + "Quillon.ini";
  fs::path serverRoot = dir.path() / "server";
  fs::path local = dir.path() / "local";
  std::unique_ptr<test::FtpServer> server;
  test::RecordingMessages messages;
  MainApp app{folder, messages};
};

TEST_F(MainWindowTest, ConnectShowsTheServerAndDisconnectSavesTheFolders) {
  WriteProfile(server->Profile().password);
  auto window = Open();
  EXPECT_EQ(window->windowTitle(), "Harbell (Not connected)");
  EXPECT_EQ(window->width(), 640);
  EXPECT_EQ(window->height(), 406);

  Connect(*window);
  EXPECT_EQ(window->windowTitle(), "Harbell: Connected to: Test server");
  std::string log = LogText(*window);
  EXPECT_NE(log.find("Starting a new session.\r\n127.0.0.1: Trying to connect......\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("127.0.0.1: Connected.\r\nBrowsing remote folder: /\r\n"), std::string::npos);
  EXPECT_NE(RemoteRow(*window, "readme.txt"), nullptr);
  EXPECT_EQ(ReadProgramNumber(ini, kLastSessionID), 0);
  EXPECT_TRUE(test::Find<QCheckBox>(window.get(), "encryptBox")->isChecked())
      << "a stored key name and key switch encryption on";
  EXPECT_FALSE(test::Find<QPushButton>(window.get(), "connectButton")->isVisible());

  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  ASSERT_TRUE(window->GoToRemotePath("/inbox"));
  test::Find<QPushButton>(window.get(), "disconnectButton")->click();
  EXPECT_FALSE(window->IsConnected());
  EXPECT_EQ(window->windowTitle(), "Harbell: (Not connected)");
  EXPECT_EQ(ReadText(0, "LocalDir", ini), (local / "out").string());
  EXPECT_EQ(ReadText(0, "RemoteDir", ini), "/inbox");
  EXPECT_NE(LogText(*window).find("Test server: Disconnected."), std::string::npos);
  EXPECT_EQ(app.currentProfile.slot, -1);
}

TEST_F(MainWindowTest, ConnectFailuresSayWhy) {
  auto window = Open();
  test::Find<QPushButton>(window.get(), "connectButton")->click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Invalid configuration.");

  WriteProfile("not the password");
  test::Find<QPushButton>(window.get(), "connectButton")->click();
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, "Cannot connect to the server.");
  EXPECT_FALSE(window->IsConnected());
  EXPECT_NE(LogText(*window).find("Test server: Cannot be connected."), std::string::npos);
  EXPECT_TRUE(test::WaitFor([&] {
    QCoreApplication::processEvents();
    return window->ActivityLog().count() > 0 &&
           !app.LastConnectionError().empty() &&
           LogText(*window).find(app.LastConnectionError()) != std::string::npos;
  })) << "the red line with the server's reason follows";
}

TEST_F(MainWindowTest, UploadEncryptsAndDownloadDecrypts) {
  WriteProfile(server->Profile().password);
  std::string payload(100000, 'z');
  WriteFile(local / "out/ledger.csv", payload);
  auto window = Open();
  Connect(*window);
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  ASSERT_TRUE(window->GoToRemotePath("/inbox"));

  ASSERT_TRUE(window->LocalList().SelectItem("ledger.csv"));
  window->Upload();
  EXPECT_EQ(messages.shown.at(0).text.rfind("All files and folders in remote computer", 0), 0u)
      << "warning level 0 asks before overwriting";
  EXPECT_EQ(ReadFile(serverRoot / "inbox/ledger.csv.qvr").substr(0, 4), "QVR4");
  EXPECT_TRUE(window->IsConnected()) << "reconnected after the transfer";
  QTreeWidgetItem* row = RemoteRow(*window, "ledger.csv.qvr");
  ASSERT_NE(row, nullptr) << "the remote side shows the new file";

  ASSERT_TRUE(window->GoToLocalPath((local / "in").string()));
  window->RemoteList().clearSelection();
  row->setSelected(true);
  window->Download();
  EXPECT_EQ(ReadFile(local / "in/ledger.csv"), payload) << LogText(*window);
  EXPECT_NE(LogText(*window).find("All of the 1 selected file(s) have been downloaded."),
            std::string::npos);
}

TEST_F(MainWindowTest, ALostServerDisconnectsOnTheKeepAliveCheck) {
  WriteProfile(server->Profile().password);
  auto window = Open();
  Connect(*window);
  server->Stop();
  window->KeepAliveCheck();
  EXPECT_FALSE(window->IsConnected());
  EXPECT_EQ(window->windowTitle(), "Harbell: (Not connected)");
}

TEST_F(MainWindowTest, ClosingAndTheWindowOptions) {
  WriteProfile(server->Profile().password);
  ASSERT_TRUE(WriteProgramNumber(ini, kWinW, 300));
  ASSERT_TRUE(WriteProgramNumber(ini, kWinH, 200));
  auto window = Open();
  EXPECT_EQ(window->size(), QSize(640, 406)) << "never smaller than 640 by 406";
  Connect(*window);

  window->close();  // the close box
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(messages.shown.back().text, "You are currently connected to a server. ");

  messages.QueueAnswer(MessageAnswer::No);
  window->accept();  // "Exit", answered No
  EXPECT_TRUE(window->IsConnected());
  window->resize(700, 500);
  messages.QueueAnswer(MessageAnswer::Yes);
  window->accept();
  EXPECT_FALSE(window->IsConnected());
  EXPECT_EQ(ReadProgramNumber(ini, kWinW), 700);
  EXPECT_EQ(ReadProgramNumber(ini, kWinH), 500);

  app.warningLevel = 1;
  window->ToggleWarnings();
  EXPECT_EQ(app.warningLevel, 0);
  window->ToggleWarnings();
  EXPECT_EQ(app.warningLevel, 2);
  EXPECT_EQ(ReadProgramNumber(ini, kSuppressWarningLevel), 2);
  bool minimize = window->Minimize();
  window->ToggleMinimize();
  EXPECT_EQ(ReadProgramNumber(ini, kMinimizeWndDuringTransfer), minimize ? 0 : 1);
}

}  // namespace
}  // namespace quillon

// The main window driven as a user would, against a real FTP server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>

#include "app/MainApp.h"
#include "app/ui/ActivityLogWidget.h"
#include "app/ui/MainWindow.h"
#include "ftp/CurlFtp.h"
#include "localfs/ui/CDirList.h"
#include "localfs/ui/LocalBrowserPanel.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "remote/ConnectionWorker.h"
#include "remote/ui/CFTPList.h"
#include "remote/ui/RemoteBrowserPanel.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "tasks/ProgramTransferSettings.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::WriteFile;

bool WaitForGui(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  return test::WaitFor(
      [&] {
        QCoreApplication::processEvents();
        return done();
      },
      timeout);
}

// Answers like RecordingMessages, but lets the window's event loop run while a question "is
// open" when a hook for that text is set, as a real message box does.
class ModalMessages : public test::RecordingMessages {
 public:
  MessageAnswer Show(std::string_view text, MessageButtons buttons, MessageIcon icon) override {
    for (const auto& [start, hook] : whileOpen)
      if (text.substr(0, start.size()) == start) hook();
    return RecordingMessages::Show(text, buttons, icon);
  }
  std::vector<std::pair<std::string, std::function<void()>>> whileOpen;
};

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
  void TearDown() override { ConnectionWorker::WaitForDropped(20s); }

  void WriteProfile(const std::string& password, int port = 0) {
    test::ProfileSection section = test::ProfileSection::Of(server->Profile(), "Test server");
    if (port) section.port = port;
    section.password = password;
    section.binary = true;
    section.encryptionKeyName = "test key";
    section.encryptionKey = section.decryptionKey = "pass phrase";
    ASSERT_TRUE(section.Write(0, ini));
  }

  std::unique_ptr<MainWindow> Open() {
    auto window = std::make_unique<MainWindow>(app);
    window->show();
    return window;
  }

  static bool Idle(MainWindow& window) {
    return WaitForGui([&] { return !window.IsConnecting() && !window.IsBusy(); });
  }

  void Connect(MainWindow& window) {
    test::Find<QPushButton>(&window, "connectButton")->click();
    ASSERT_TRUE(Idle(window));
    ASSERT_TRUE(window.IsConnected()) << LogText(window);
  }

  static std::string LogText(MainWindow& window) {
    return window.ActivityLog().AllText().toStdString();
  }
  static int LineOf(MainWindow& window, const std::string& text) {
    for (int i = 0; i < window.ActivityLog().count(); ++i)
      if (window.ActivityLog().item(i)->text().toStdString() == text) return i;
    return -1;
  }

  static int RemoteRow(MainWindow& window, const std::string& name) {
    return window.RemoteList().RowNamed(name);
  }
  static void SelectRemote(MainWindow& window, const std::string& name) {
    CFTPList& list = window.RemoteList();
    list.clearSelection();
    list.selectionModel()->select(list.model()->index(list.RowNamed(name), 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  static bool Visible(MainWindow& window, const char* name) {
    return test::Find<QWidget>(&window, name)->isVisible();
  }
  static bool Enabled(MainWindow& window, const char* name) {
    return test::Find<QWidget>(&window, name)->isEnabled();
  }

  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string ini = folder + "Quillon.ini";
  fs::path serverRoot = dir.path() / "server";
  fs::path local = dir.path() / "local";
  std::unique_ptr<test::FtpServer> server;
  ModalMessages messages;
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
  EXPECT_GE(RemoteRow(*window, "readme.txt"), 0);
  EXPECT_EQ(ReadProgramNumber(ini, kLastSessionID), 0);
  EXPECT_TRUE(test::Find<QCheckBox>(window.get(), "encryptBox")->isChecked())
      << "a stored key name and key switch encryption on";
  EXPECT_FALSE(Visible(*window, "connectButton"));
  EXPECT_TRUE(Visible(*window, "disconnectButton"));

  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  std::optional<bool> shown;
  window->GoToRemotePath("/inbox", [&](bool ok) { shown = ok; });
  ASSERT_TRUE(WaitForGui([&] { return shown.has_value(); }));
  ASSERT_TRUE(*shown);
  test::Find<QPushButton>(window.get(), "disconnectButton")->click();
  EXPECT_FALSE(window->IsConnected());
  EXPECT_EQ(window->windowTitle(), "Harbell: (Not connected)");
  EXPECT_EQ(ReadText(0, "LocalDir", ini), (local / "out").string());
  EXPECT_EQ(ReadText(0, "RemoteDir", ini), "/inbox");
  EXPECT_NE(LogText(*window).find("Test server: Disconnected."), std::string::npos);
  EXPECT_EQ(app.currentProfile.slot, -1);
  EXPECT_TRUE(Visible(*window, "connectButton"));
}

TEST_F(MainWindowTest, ConnectFailuresSayWhyInTheirOrder) {
  // A slot that holds a profile which cannot be read.
  ASSERT_TRUE(WriteText(0, "Profile", "Broken", ini));
  ASSERT_TRUE(WriteText(0, "Address", "0.0.0.0", ini));
  auto window = Open();
  test::Find<QPushButton>(window.get(), "connectButton")->click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Invalid configuration.");

  WriteProfile("not the password");
  int redLine = -1, blackLine = -1;
  messages.whileOpen.emplace_back("Cannot connect to the server.", [&] {
    blackLine = LineOf(*window, "Test server: Cannot be connected.");
    redLine = LineOf(*window, app.LastConnectionError());
  });
  test::Find<QPushButton>(window.get(), "connectButton")->click();
  ASSERT_TRUE(Idle(*window));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, "Cannot connect to the server.");
  EXPECT_FALSE(window->IsConnected());
  // The black line, then the server's reason in red, both before the message.
  EXPECT_GE(blackLine, 0) << LogText(*window);
  EXPECT_EQ(redLine, blackLine + 1) << LogText(*window);
  EXPECT_NE(app.LastConnectionError().find("530"), std::string::npos) << app.LastConnectionError();
  EXPECT_TRUE(Visible(*window, "connectButton"));
}

TEST_F(MainWindowTest, ConnectingShowsProgressAndCanBeCancelled) {
  test::ScriptedFtpServer silent("silent");
  WriteProfile("any", silent.port());
  auto window = Open();
  test::Find<QPushButton>(window.get(), "connectButton")->click();
  EXPECT_TRUE(window->IsConnecting());
  EXPECT_TRUE(Visible(*window, "cancelConnectButton"));
  EXPECT_FALSE(Visible(*window, "connectButton"));
  EXPECT_TRUE(WaitForGui([&] { return Visible(*window, "busyBar"); }));
  // The window goes on working meanwhile: the local side can be browsed.
  EXPECT_TRUE(window->GoToLocalPath((local / "out").string()));

  test::Find<QPushButton>(window.get(), "cancelConnectButton")->click();
  EXPECT_FALSE(window->IsConnecting());
  EXPECT_FALSE(window->IsConnected());
  EXPECT_TRUE(Visible(*window, "connectButton"));
  EXPECT_FALSE(Visible(*window, "busyBar"));
  EXPECT_NE(LogText(*window).find("127.0.0.1: Connecting canceled."), std::string::npos);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(window->windowTitle(), "Harbell (Not connected)");
}

TEST_F(MainWindowTest, UploadEncryptsAndDownloadDecrypts) {
  WriteProfile(server->Profile().password);
  std::string payload(100000, 'z');
  WriteFile(local / "out/ledger.csv", payload);
  auto window = Open();
  Connect(*window);
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  window->GoToRemotePath("/inbox");
  ASSERT_TRUE(Idle(*window));

  app.warningLevel = 0;
  ASSERT_TRUE(window->LocalList().SelectItem("ledger.csv"));
  window->Upload();
  ASSERT_TRUE(Idle(*window));
  EXPECT_EQ(messages.shown.at(0).text.rfind("All files and folders in remote computer", 0), 0u)
      << "warning level 0 asks before overwriting";
  EXPECT_EQ(ReadFile(serverRoot / "inbox/ledger.csv.qvr").substr(0, 4), "QVR4");
  EXPECT_TRUE(window->IsConnected()) << "reconnected after the transfer";
  ASSERT_GE(RemoteRow(*window, "ledger.csv.qvr"), 0) << "the remote side shows the new file";
  EXPECT_EQ(window->RemotePanel().CurrentFolder(), "/inbox");

  ASSERT_TRUE(window->GoToLocalPath((local / "in").string()));
  SelectRemote(*window, "ledger.csv.qvr");
  window->Download();
  ASSERT_TRUE(Idle(*window));
  EXPECT_EQ(ReadFile(local / "in/ledger.csv"), payload) << LogText(*window);
  EXPECT_NE(LogText(*window).find("All of the 1 selected file(s) have been downloaded."),
            std::string::npos);
  EXPECT_TRUE(window->LocalList().Refresh());
}

TEST_F(MainWindowTest, ALostServerDisconnectsOnTheKeepAliveCheck) {
  WriteProfile(server->Profile().password);
  auto window = Open();
  Connect(*window);
  EXPECT_EQ(window->RemotePanel().KeepAliveInterval(), 15s);
  server->Stop();
  window->KeepAliveCheck();
  ASSERT_TRUE(WaitForGui([&] { return !window->IsConnected(); }));
  EXPECT_EQ(window->windowTitle(), "Harbell: (Not connected)");
  EXPECT_NE(LogText(*window).find("Test server: Disconnected."), std::string::npos);
}

TEST_F(MainWindowTest, AfterATransferWhoseReconnectFailsTheWindowShowsItIsDisconnected) {
  WriteProfile(server->Profile().password);
  auto window = Open();
  Connect(*window);
  server->Stop();
  SystemClock clock;
  UploadManager job(MakeTransferSettings(app, ini), app.Connector(), app.Messages(), clock);
  window->RunTransferJob(job, false, true);
  ASSERT_TRUE(Idle(*window));
  EXPECT_FALSE(window->IsConnected());
  EXPECT_EQ(window->windowTitle(), "Harbell: (Not connected)");
  EXPECT_TRUE(Visible(*window, "connectButton"));
  EXPECT_FALSE(Visible(*window, "disconnectButton"));
  EXPECT_FALSE(Enabled(*window, "uploadButton"));
  EXPECT_FALSE(Enabled(*window, "downloadButton"));
  EXPECT_EQ(window->RemoteList().RowCount(), 0) << "no stale rows";
  EXPECT_NE(LogText(*window).find("Test server: Disconnected."), std::string::npos);
}

TEST_F(MainWindowTest, StartFoldersThatCannotBeShown) {
  WriteProfile(server->Profile().password);
  ASSERT_TRUE(WriteText(0, "LocalDir", (local / "gone").string(), ini));
  ASSERT_TRUE(WriteText(0, "RemoteDir", "/gone", ini));
  auto window = Open();
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  Connect(*window);
  // The local side stays where it was; the remote side shows the root, and its history holds
  // the folder asked for.
  EXPECT_EQ(window->LocalPanel().CurrentFolder(), (local / "out").string());
  EXPECT_EQ(window->RemotePanel().CurrentFolder(), "/");
  EXPECT_EQ(window->RemotePanel().History().entries(), std::vector<std::string>{"/gone"});
  test::Find<QPushButton>(window.get(), "disconnectButton")->click();
  EXPECT_EQ(ReadText(0, "LocalDir", ini), (local / "out").string()) << "not saved back";
}

TEST_F(MainWindowTest, TransferButtonsNeedAConnection) {
  WriteProfile(server->Profile().password);
  WriteFile(local / "out/a.txt", "a");
  auto window = Open();
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  ASSERT_TRUE(window->LocalList().SelectItem("a.txt"));
  QApplication::setActiveWindow(window.get());
  window->LocalList().setFocus();
  emit window->LocalList().focusEntered();
  EXPECT_FALSE(Enabled(*window, "uploadButton")) << "not connected";
  Connect(*window);
  emit window->LocalList().focusEntered();
  EXPECT_TRUE(Enabled(*window, "uploadButton"));
  SelectRemote(*window, "readme.txt");
  emit window->RemoteList().focusEntered();
  EXPECT_TRUE(Enabled(*window, "downloadButton"));
  EXPECT_FALSE(Enabled(*window, "uploadButton"));
}

// After a transfer the window connects again; a file chosen in the focused local list meanwhile
// can be uploaded once it has.
TEST_F(MainWindowTest, AFileChosenWhileTheWindowConnectsAgainCanBeUploaded) {
  WriteProfile(server->Profile().password);
  WriteFile(local / "out/a.txt", "a");
  auto window = Open();
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  Connect(*window);
  QApplication::setActiveWindow(window.get());
  SystemClock clock;
  DownloadManager job(MakeTransferSettings(app, ini), app.Connector(), app.Messages(), clock);
  window->RunTransferJob(job, false, false);  // nothing to move: it connects again at once
  ASSERT_TRUE(window->LocalList().hasFocus());
  ASSERT_TRUE(window->LocalList().SelectItem("a.txt"));
  EXPECT_FALSE(Enabled(*window, "uploadButton")) << "still connecting";
  ASSERT_TRUE(Idle(*window));
  ASSERT_TRUE(window->IsConnected());
  EXPECT_TRUE(Enabled(*window, "uploadButton"));
}

TEST_F(MainWindowTest, EnterOpensInTheListsAndNeverAsksToQuit) {
  WriteProfile(server->Profile().password);
  auto window = Open();
  Connect(*window);
  CFTPList& remote = window->RemoteList();
  remote.setCurrentIndex(remote.model()->index(RemoteRow(*window, "inbox"), 0));
  QTest::keyClick(&remote, Qt::Key_Return);
  ASSERT_TRUE(Idle(*window));
  EXPECT_EQ(window->RemotePanel().CurrentFolder(), "/inbox");
  QTest::keyClick(&remote, Qt::Key_Backspace);
  ASSERT_TRUE(Idle(*window));
  EXPECT_EQ(window->RemotePanel().CurrentFolder(), "/");
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
  EXPECT_TRUE(window->IsConnected());
}

TEST_F(MainWindowTest, AServerLostWhileTheUploadQuestionIsOpenIsNoCrash) {
  WriteProfile(server->Profile().password);
  WriteFile(local / "out/a.txt", "a");
  auto window = Open();
  Connect(*window);
  window->RemotePanel().SetKeepAliveInterval(20ms);
  window->RemotePanel().StartKeepAlive();
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  ASSERT_TRUE(window->LocalList().SelectItem("a.txt"));
  app.warningLevel = 0;
  messages.whileOpen.emplace_back("All files and folders in remote computer", [&] {
    server->Stop();
    EXPECT_TRUE(WaitForGui([&] { return !window->IsConnected(); }));
  });
  window->Upload();
  ASSERT_TRUE(Idle(*window));
  EXPECT_FALSE(window->IsConnected());
  EXPECT_EQ(messages.shown.back().text, "Not connected or connection lost.");
}

TEST_F(MainWindowTest, TheJobBuilderHoldsItsConnectionThroughTheOverwriteQuestion) {
  WriteProfile(server->Profile().password);
  fs::create_directories(serverRoot / "inbox/deeper");
  WriteFile(serverRoot / "inbox/one.txt", "one");
  WriteFile(serverRoot / "inbox/deeper/two.txt", "two");
  fs::create_directories(local / "in/inbox");
  WriteFile(local / "in/inbox/one.txt", "old");
  auto window = Open();
  Connect(*window);
  window->RemotePanel().SetKeepAliveInterval(20ms);
  ASSERT_TRUE(window->GoToLocalPath((local / "in").string()));
  app.decryptMode = 1;  // no key question
  SelectRemote(*window, "inbox");
  messages.whileOpen.emplace_back((local / "in/inbox").string() + " already exists!", [&] {
    // The keep-alive would find the server gone now; the builder's connection stays its own.
    server->Stop();
    QTest::qWait(200);
  });
  window->Download();
  ASSERT_TRUE(Idle(*window));
  EXPECT_FALSE(window->IsConnected());
  EXPECT_NE(LogText(*window).find("Test server: Disconnected."), std::string::npos);
}

TEST_F(MainWindowTest, WithMinimizeOnTheWindowComesBackAfterTheTransfer) {
  WriteProfile(server->Profile().password);
  WriteFile(local / "out/a.txt", std::string(2'000'000, 'a'));
  ASSERT_TRUE(WriteProgramNumber(ini, kMinimizeWndDuringTransfer, 1));
  auto window = Open();
  ASSERT_TRUE(window->Minimize());
  Connect(*window);
  ASSERT_TRUE(window->GoToLocalPath((local / "out").string()));
  ASSERT_TRUE(window->LocalList().SelectItem("a.txt"));

  // A quit that the last window's closing would post is caught here.
  struct QuitWatch : QObject {
    bool quit = false;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Quit) quit = true;
      return event->type() == QEvent::Quit;
    }
  } watch;
  qApp->installEventFilter(&watch);
  bool hiddenDuring = false;
  test::WhenModalOpens(
      [&](QWidget* progress) { hiddenDuring = !window->isVisible() && progress->isVisible(); });
  window->Upload();
  ASSERT_TRUE(Idle(*window));
  qApp->removeEventFilter(&watch);
  EXPECT_TRUE(hiddenDuring);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(watch.quit);
  EXPECT_TRUE(fs::exists(serverRoot / "a.txt.qvr"));
}

TEST_F(MainWindowTest, ANewcomerAddsAServerAndConnectsFromTheConnectionManager) {
  auto window = std::make_unique<MainWindow>(app);
  // The first start with no profile opens the connection manager by itself.
  ConnectionProfile p = server->Profile();
  bool opened = false;
  test::WhenModalOpens([&](QWidget* manager) {
    opened = manager->objectName() == "connectionManager";
    test::Find<QLineEdit>(manager, "nameField")->setText("My server");
    test::Find<QLineEdit>(manager, "addressField")->setText("127.0.0.1");
    test::Find<QSpinBox>(manager, "portField")->setValue(p.port);
    test::Find<QLineEdit>(manager, "userField")->setText(QString::fromStdString(p.userName));
    test::Find<QLineEdit>(manager, "passwordField")->setText(QString::fromStdString(p.password));
    test::Find<QCheckBox>(manager, "savePasswordBox")->setChecked(true);
    test::Find<QPushButton>(manager, "connectButton")->click();
  });
  window->show();
  ASSERT_TRUE(WaitForGui([&] { return opened && window->IsConnected() && !window->IsBusy(); }));
  EXPECT_EQ(window->windowTitle(), "Harbell: Connected to: My server");
  EXPECT_GE(RemoteRow(*window, "readme.txt"), 0);
  ConnectionProfile stored;
  ASSERT_TRUE(ReadProfile(0, stored, ini));
  EXPECT_EQ(stored.password, p.password);
  EXPECT_TRUE(stored.passiveMode);

  // "Connect" with nothing in slot 0 opens it again; a password that is not saved is asked for.
  test::Find<QPushButton>(window.get(), "disconnectButton")->click();
  ASSERT_TRUE(WriteNumber(0, "SavePassword", 0, ini));
  test::WhenModalOpens([&](QWidget* prompt) {
    ASSERT_EQ(prompt->objectName(), "passwordPrompt");
    static_cast<QInputDialog*>(prompt)->setTextValue(QString::fromStdString(p.password));
    static_cast<QInputDialog*>(prompt)->accept();
  });
  Connect(*window);
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

// The main window's questions about servers it cannot trust by itself, against pyftpdlib over
// TLS with a self-signed certificate: trusted once, always, refused, and a changed certificate.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>

#include "app/MainApp.h"
#include "app/ui/ActivityLogWidget.h"
#include "app/ui/MainWindow.h"
#include "common/Paths.h"
#include "ftp/CurlFtp.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "remote/CertificateTrust.h"
#include "remote/ConnectionWorker.h"
#include "remote/ServerTrust.h"
#include "remote/ui/CFTPList.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Answers the trust question as told, and keeps what it was asked.
class ScriptedTrustAsker : public TrustAsker {
 public:
  TrustAnswer Ask(const ServerIdentity& identity) override {
    asked.push_back(identity);
    return answer;
  }
  TrustAnswer answer = TrustAnswer::Refuse;
  std::vector<ServerIdentity> asked;
};

class MainWindowTrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitCurlGlobal());
    fs::create_directories(serverRoot);
    test::WriteFile(serverRoot / "readme.txt", "hello");
    server = std::make_unique<test::FtpServer>(test::FtpServer::Options{
        .root = serverRoot, .tlsCertificate = certificates.ServerPem("selfsigned")});
    test::ProfileSection section = test::ProfileSection::Of(server->Profile(), "Secure server");
    section.protocol = "ftpes";
    ASSERT_TRUE(section.Write(0, ini));
  }
  void TearDown() override { ConnectionWorker::WaitForDropped(20s); }

  // A program session of its own (nothing trusted once yet), its window and its answer.
  struct Session {
    explicit Session(const std::string& folder, MessagePresenter& messages)
        : app(folder, messages) {
      app.SetSession(std::make_unique<CurlFtpConnector>());
      window = std::make_unique<MainWindow>(app);
      window->SetTrustAsker(&asker);
      window->show();
    }
    ~Session() { window.reset(); }
    bool Connect() {
      test::Find<QPushButton>(window.get(), "connectButton")->click();
      test::WaitFor(
          [&] {
            QCoreApplication::processEvents();
            return !window->IsConnecting() && !window->IsBusy();
          },
          20s);
      return window->IsConnected();
    }
    std::string Log() const { return window->ActivityLog().AllText().toStdString(); }
    MainApp app;
    ScriptedTrustAsker asker;
    std::unique_ptr<MainWindow> window;
  };

  std::string TrustFile() const { return JoinPath(folder, kTrustedCertificatesFileName); }
  long Logins() const {
    auto commands = server->Commands();
    return std::count_if(commands.begin(), commands.end(),
                         [](const std::string& c) { return c.rfind("USER", 0) == 0; });
  }

  test::TestCertificates certificates;
  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  std::string ini = folder + "Quillon.ini";
  fs::path serverRoot = dir.path() / "server";
  std::unique_ptr<test::FtpServer> server;
  test::RecordingMessages messages;
};

TEST_F(MainWindowTrustTest, RefusedTheConnectFailsAndNothingIsSent) {
  Session session(folder, messages);
  EXPECT_FALSE(session.Connect());
  ASSERT_EQ(session.asker.asked.size(), 1u);
  const ServerIdentity& asked = session.asker.asked[0];
  EXPECT_EQ(asked.fingerprint, certificates.Fingerprint("selfsigned"));
  EXPECT_EQ(asked.problem, "self-signed certificate");
  EXPECT_FALSE(asked.changed);
  EXPECT_NE(TrustQuestionText(asked).find(asked.fingerprint), std::string::npos);
  ASSERT_FALSE(messages.shown.empty());
  EXPECT_EQ(messages.shown.back().text, "Cannot connect to the server.");
  EXPECT_NE(session.Log().find("is not trusted: self-signed certificate"), std::string::npos)
      << session.Log();
  EXPECT_EQ(Logins(), 0);
  EXPECT_FALSE(fs::exists(TrustFile()));
}

TEST_F(MainWindowTrustTest, TrustedOnceForTheSessionOnly) {
  {
    Session session(folder, messages);
    session.asker.answer = TrustAnswer::Once;
    ASSERT_TRUE(session.Connect()) << session.Log();
    EXPECT_EQ(session.asker.asked.size(), 1u);
    EXPECT_GE(session.window->RemoteList().RowNamed("readme.txt"), 0);
    // Connected again in the same session: not asked again; a lane's connection takes it too.
    test::Find<QPushButton>(session.window.get(), "disconnectButton")->click();
    ASSERT_TRUE(session.Connect()) << session.Log();
    EXPECT_EQ(session.asker.asked.size(), 1u);
    std::string error;
    EXPECT_TRUE(
        session.app.Connector().OpenWithError(ConnectParametersOf(server->Profile()), &error))
        << error;
  }
  EXPECT_FALSE(fs::exists(TrustFile()));
  Session next(folder, messages);
  EXPECT_FALSE(next.Connect());
  EXPECT_EQ(next.asker.asked.size(), 1u) << "a new session asks again";
}

TEST_F(MainWindowTrustTest, TrustedAlwaysIsPinnedAndNotAskedAgain) {
  {
    Session session(folder, messages);
    session.asker.answer = TrustAnswer::Always;
    ASSERT_TRUE(session.Connect()) << session.Log();
    EXPECT_EQ(session.asker.asked.size(), 1u);
  }
  EXPECT_EQ(PinnedCertificate(TrustFile(), "127.0.0.1", server->port()),
            certificates.Fingerprint("selfsigned"));
  Session next(folder, messages);
  ASSERT_TRUE(next.Connect()) << next.Log();
  EXPECT_TRUE(next.asker.asked.empty());
}

TEST_F(MainWindowTrustTest, AlwaysThatCannotBeWrittenIsSaidAndTrustsForTheSession) {
  fs::create_directories(TrustFile());  // a folder where the file should go
  Session session(folder, messages);
  session.asker.answer = TrustAnswer::Always;
  ASSERT_TRUE(session.Connect()) << session.Log();
  EXPECT_NE(session.Log().find("Cannot write the trust file in " + folder), std::string::npos)
      << session.Log();
}

TEST_F(MainWindowTrustTest, AChangedCertificateIsAskedAboutWithAWarning) {
  const std::string old = certificates.Fingerprint("expired");
  ASSERT_TRUE(PinCertificate(TrustFile(), "127.0.0.1", server->port(), old, "old"));
  Session session(folder, messages);
  EXPECT_FALSE(session.Connect());
  ASSERT_EQ(session.asker.asked.size(), 1u);
  const ServerIdentity& asked = session.asker.asked[0];
  EXPECT_TRUE(asked.changed);
  EXPECT_EQ(asked.knownFingerprint, old);
  EXPECT_EQ(TrustQuestionText(asked).rfind("WARNING: The identity of the server 127.0.0.1:", 0),
            0u);
  EXPECT_NE(session.Log().find("has changed"), std::string::npos) << session.Log();
  EXPECT_EQ(Logins(), 0);
}

}  // namespace
}  // namespace quillon

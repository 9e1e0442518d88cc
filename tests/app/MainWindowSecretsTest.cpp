// The main window never shows a password, a passphrase or a private key: it connects with a
// wrong secret and then with the right one, over FTP, FTP over TLS and SFTP (password and
// protected key) against the real servers, and over FTP to a server that repeats the password
// in its refusal; the activity log, the message boxes, the trust questions and the caption must
// hold none of the secrets.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <sstream>

#include "app/MainApp.h"
#include "app/ui/ActivityLogWidget.h"
#include "app/ui/MainWindow.h"
#include "ftp/CurlFtp.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "remote/ConnectionWorker.h"
#include "remote/ServerTrust.h"
#include "remote/ui/CFTPList.h"
#include "support/FtpServer.h"
#include "support/SshServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

enum class Peer { Ftp, FtpOverTls, RepeatingFtp, SftpPassword, SftpKey };

std::string PeerName(const testing::TestParamInfo<Peer>& info) {
  switch (info.param) {
    case Peer::Ftp:
      return "Ftp";
    case Peer::FtpOverTls:
      return "FtpOverTls";
    case Peer::RepeatingFtp:
      return "FtpRepeatingThePassword";
    case Peer::SftpPassword:
      return "SftpPassword";
    case Peer::SftpKey:
      return "SftpKey";
  }
  return "?";
}

// Trusts every server for the session, and keeps the questions' texts.
class TrustingAsker : public TrustAsker {
 public:
  TrustAnswer Ask(const ServerIdentity& identity) override {
    questions.push_back(TrustQuestionText(identity));
    return TrustAnswer::Once;
  }
  std::vector<std::string> questions;
};

class MainWindowSecretsTest : public testing::TestWithParam<Peer> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitCurlGlobal());
    fs::create_directories(serverRoot);
    test::WriteFile(serverRoot / "readme.txt", "hello");
    const Peer peer = GetParam();
    ASSERT_TRUE(WriteText(0, "Profile", "Secret keeper", ini));
    ASSERT_TRUE(WriteText(0, "Address", "127.0.0.1", ini));
    ASSERT_TRUE(WriteNumber(0, "SavePassword", 1, ini));
    ASSERT_TRUE(WriteNumber(0, "PASVMode", 1, ini));
    if (peer == Peer::SftpPassword || peer == Peer::SftpKey) {
      ssh = std::make_unique<test::SshServer>(serverRoot);
      if (peer == Peer::SftpPassword && !ssh->PasswordLogin())
        GTEST_SKIP() << "sshd takes passwords only when the tests run as root";
      ASSERT_TRUE(WriteNumber(0, "Port", ssh->port(), ini));
      ASSERT_TRUE(WriteText(0, "Protocol", "sftp", ini));
      ASSERT_TRUE(WriteText(0, "UserName", ssh->user(), ini));
      ASSERT_TRUE(WriteText(0, "RemoteDir", ssh->RemotePath(), ini));
      if (peer == Peer::SftpKey) {
        const std::string keyFile = ssh->KeyFile("ed25519-protected");
        ASSERT_TRUE(WriteText(0, std::string(kPrivateKeyFileKey), keyFile, ini));
        right = ssh->KeyPassphrase();
        // Every line of the key file's body is a secret too.
        std::istringstream key(test::ReadFile(keyFile));
        for (std::string line; std::getline(key, line);)
          if (line.size() >= 16 && line.find("-----") == std::string::npos) secrets.push_back(line);
      } else {
        right = ssh->Password();
      }
    } else {
      test::FtpServer::Options options{.root = serverRoot, .password = "ftp-Right-Pw31"};
      if (peer == Peer::FtpOverTls) options.tlsCertificate = certificates.ServerPem("selfsigned");
      if (peer == Peer::RepeatingFtp) options.faults = {"--repeat-password"};
      ftp = std::make_unique<test::FtpServer>(options);
      const ConnectionProfile p = ftp->Profile();
      ASSERT_TRUE(WriteNumber(0, "Port", p.port, ini));
      if (peer == Peer::FtpOverTls) {
        ASSERT_TRUE(WriteText(0, "Protocol", "ftpes", ini));
      }
      ASSERT_TRUE(WriteText(0, "UserName", p.userName, ini));
      right = p.password;
    }
    secrets.push_back(right);
    secrets.push_back(kWrong);
  }
  void TearDown() override { ConnectionWorker::WaitForDropped(20s); }

  // Puts `secret` where the profile keeps the secret of this row.
  void StoreSecret(const std::string& secret) {
    const bool passphrase = GetParam() == Peer::SftpKey;
    ASSERT_TRUE(WriteProtected(
        0, passphrase ? std::string(kPrivateKeyPassphraseKey) : std::string("Password"), secret,
        ini));
  }

  bool Connect(MainWindow& window) {
    test::Find<QPushButton>(&window, "connectButton")->click();
    test::WaitFor(
        [&] {
          QCoreApplication::processEvents();
          return !window.IsConnecting() && !window.IsBusy();
        },
        30s);
    return window.IsConnected();
  }

  // Everything the window showed: the activity log, message boxes, trust questions, caption.
  std::string Shown(MainWindow& window) const {
    std::string all = window.ActivityLog().AllText().toStdString() + "\n" +
                      window.windowTitle().toStdString() + "\n";
    for (const auto& message : messages.shown) all += message.text + "\n";
    for (const auto& question : asker.questions) all += question + "\n";
    return all;
  }

  void ExpectNoSecretIn(const std::string& shown) const {
    for (const std::string& secret : secrets) {
      EXPECT_EQ(shown.find(secret), std::string::npos) << secret << " in:\n" << shown;
      // Nor a piece of one, as a cut of a long text would leave it.
      EXPECT_EQ(shown.find(secret.substr(0, 5)), std::string::npos) << secret << " in:\n" << shown;
    }
  }

  static constexpr const char* kWrong = "Xq7-wrong-Secret";
  test::TestCertificates certificates;
  test::TempDir dir;
  test::TempDir home;
  test::ScopedEnv homeEnv{"HOME", home.path().c_str()};  // no known_hosts of the machine's user
  std::string folder = dir.path().string() + "/";
  std::string ini = folder + "Quillon.ini";
  fs::path serverRoot = dir.path() / "server";
  std::unique_ptr<test::FtpServer> ftp;
  std::unique_ptr<test::SshServer> ssh;
  std::string right;
  std::vector<std::string> secrets;
  test::RecordingMessages messages;
  TrustingAsker asker;
};

INSTANTIATE_TEST_SUITE_P(Peers, MainWindowSecretsTest,
                         testing::Values(Peer::Ftp, Peer::FtpOverTls, Peer::RepeatingFtp,
                                         Peer::SftpPassword, Peer::SftpKey),
                         PeerName);

TEST_P(MainWindowSecretsTest, NoSecretIsShownWhetherTheLoginFailsOrWorks) {
  MainApp app(folder, messages);
  app.SetSession(std::make_unique<CurlFtpConnector>());
  MainWindow window(app);
  window.SetTrustAsker(&asker);
  window.show();

  StoreSecret(kWrong);
  EXPECT_FALSE(Connect(window));
  ASSERT_FALSE(messages.shown.empty());
  EXPECT_EQ(messages.shown.back().text, "Cannot connect to the server.");
  EXPECT_NE(Shown(window).find("Cannot be connected."), std::string::npos) << Shown(window);

  StoreSecret(right);
  if (GetParam() == Peer::RepeatingFtp) {
    // This server refuses every password, and says which one it was given.
    EXPECT_FALSE(Connect(window));
    EXPECT_NE(Shown(window).find("530 Login incorrect"), std::string::npos) << Shown(window);
  } else {
    ASSERT_TRUE(Connect(window)) << Shown(window);
    EXPECT_TRUE(test::WaitFor(
        [&] {
          QCoreApplication::processEvents();
          return window.RemoteList().RowNamed("readme.txt") >= 0;
        },
        20s));
    test::Find<QPushButton>(&window, "disconnectButton")->click();
  }
  ExpectNoSecretIn(Shown(window));
}

}  // namespace
}  // namespace quillon

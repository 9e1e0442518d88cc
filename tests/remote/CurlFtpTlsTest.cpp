// FTP over TLS beyond the operations (which CurlFtpTest runs over TLS too): which certificates
// are trusted, what a refused one reports, the probe of `quillon-tool trust`, and vsftpd, which
// insists that data connections resume the control connection's TLS session.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/Paths.h"
#include "ftp/CurlFtp.h"
#include "remote/CertificateTrust.h"
#include "remote/RemoteOperations.h"
#include "support/FtpServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/VsftpdServer.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::TempDir;

long CountUser(const std::vector<std::string>& commands) {
  return std::count_if(commands.begin(), commands.end(),
                       [](const std::string& c) { return c.rfind("USER", 0) == 0; });
}

class CurlFtpTlsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { certificates_ = std::make_unique<test::TestCertificates>(); }
  static void TearDownTestSuite() { certificates_.reset(); }
  void SetUp() override { ASSERT_TRUE(InitCurlGlobal()); }

  FtpConnectParameters Parameters(const FtpServer& server) const {
    auto parameters = ConnectParametersOf(server.Profile(true));
    parameters.certificateAuthorities = certificates_->CaFile();
    parameters.trustFolder = trustFolder_.path().string();
    return parameters;
  }
  std::string TrustFile() const {
    return JoinPath(trustFolder_.path().string(), kTrustedCertificatesFileName);
  }

  static inline std::unique_ptr<test::TestCertificates> certificates_;
  TempDir root_;
  TempDir trustFolder_;
  CurlFtpConnector connector_;
};

// Each certificate that does not check out is refused in the handshake (no user name, no
// password sent) with what it is and why; pinned, or accepted for the session, it connects.
TEST_F(CurlFtpTlsTest, ACertificateIsTrustedWhenItChecksOutOrWasTrustedByTheUser) {
  struct Case {
    std::string certificate;
    std::string problem;  // empty: trusted as it is
  };
  for (const Case& c :
       {Case{"leaf", ""}, Case{"selfsigned", "self-signed certificate"},
        Case{"expired", "certificate has expired"}, Case{"wrongname", "issued for other names"}}) {
    SCOPED_TRACE(c.certificate);
    for (bool implicitTls : {false, true}) {
      SCOPED_TRACE(implicitTls ? "implicit" : "explicit");
      FtpServer server({.root = root_.path(),
                        .tlsCertificate = certificates_->ServerPem(c.certificate),
                        .implicitTls = implicitTls});
      const auto parameters = Parameters(server);
      const std::string fingerprint = certificates_->Fingerprint(c.certificate);
      ConnectFailure failure;
      auto connection = connector_.OpenExplained(parameters, &failure);
      if (c.problem.empty()) {
        ASSERT_TRUE(connection) << failure.text;
        EXPECT_TRUE(connection->IsAlive());
        continue;
      }
      ASSERT_FALSE(connection);
      ASSERT_TRUE(failure.untrusted) << failure.text;
      EXPECT_EQ(failure.untrusted->kind, IdentityKind::Certificate);
      EXPECT_EQ(failure.untrusted->host, "127.0.0.1");
      EXPECT_EQ(failure.untrusted->port, server.port());
      EXPECT_EQ(failure.untrusted->fingerprint, fingerprint);
      EXPECT_EQ(failure.untrusted->certificate.fingerprint, fingerprint);
      EXPECT_NE(failure.untrusted->problem.find(c.problem), std::string::npos)
          << failure.untrusted->problem;
      EXPECT_FALSE(failure.untrusted->changed);
      EXPECT_EQ(failure.text,
                "The certificate of the server 127.0.0.1:" + std::to_string(server.port()) +
                    " is not trusted: " + failure.untrusted->problem + ".");
      EXPECT_EQ(CountUser(server.Commands()), 0);

      auto once = parameters;
      once.acceptedFingerprint = fingerprint;
      auto accepted = connector_.OpenExplained(once, &failure);
      ASSERT_TRUE(accepted) << failure.text;
      EXPECT_TRUE(accepted->IsAlive());
      EXPECT_EQ(accepted->List().has_value(), true) << accepted->LastError();

      ASSERT_TRUE(PinCertificate(TrustFile(), "127.0.0.1", server.port(), fingerprint, "test"));
      auto pinned = connector_.OpenExplained(parameters, &failure);
      ASSERT_TRUE(pinned) << failure.text;
      EXPECT_TRUE(pinned->IsAlive());
      fs::remove(TrustFile());
    }
  }
}

// Another certificate pinned for the server: its identity changed, said with both fingerprints.
// A certificate that checks out wins over a stale pin.
TEST_F(CurlFtpTlsTest, ACertificateOtherThanThePinnedOneIsAChangedIdentity) {
  FtpServer server(
      {.root = root_.path(), .tlsCertificate = certificates_->ServerPem("selfsigned")});
  const std::string other = certificates_->Fingerprint("expired");
  ASSERT_TRUE(PinCertificate(TrustFile(), "127.0.0.1", server.port(), other, "old"));
  ConnectFailure failure;
  auto parameters = Parameters(server);
  EXPECT_FALSE(connector_.OpenExplained(parameters, &failure));
  ASSERT_TRUE(failure.untrusted);
  EXPECT_TRUE(failure.untrusted->changed);
  EXPECT_EQ(failure.untrusted->knownFingerprint, other);
  EXPECT_EQ(failure.text, "The identity of the server 127.0.0.1:" + std::to_string(server.port()) +
                              " has changed: its certificate " +
                              certificates_->Fingerprint("selfsigned") + " is not the trusted " +
                              other + ".");
  EXPECT_EQ(CountUser(server.Commands()), 0);

  FtpServer valid({.root = root_.path(), .tlsCertificate = certificates_->ServerPem("leaf")});
  ASSERT_TRUE(PinCertificate(TrustFile(), "127.0.0.1", valid.port(), other, "old"));
  EXPECT_TRUE(connector_.OpenExplained(Parameters(valid), &failure)) << failure.text;
}

// The probe stops in the handshake whatever the certificate, and reports it.
TEST_F(CurlFtpTlsTest, TheProbeReportsTheCertificateWithoutLoggingIn) {
  for (const std::string name : {"leaf", "selfsigned"}) {
    FtpServer server({.root = root_.path(), .tlsCertificate = certificates_->ServerPem(name)});
    ConnectFailure failure;
    auto identity = ProbeServerIdentity(Parameters(server), &failure);
    ASSERT_TRUE(identity) << failure.text;
    EXPECT_EQ(identity->fingerprint, certificates_->Fingerprint(name));
    EXPECT_EQ(identity->problem.empty(), name == "leaf") << identity->problem;
    EXPECT_NE(identity->certificate.subject.find("CN="), std::string::npos);
    EXPECT_EQ(CountUser(server.Commands()), 0);
  }
  FtpServer plain({.root = root_.path()});
  ConnectFailure failure;
  EXPECT_FALSE(ProbeServerIdentity(Parameters(plain), &failure));
  EXPECT_EQ(failure.text, "Plain FTP has no certificate to check.");
}

// vsftpd refuses data connections that do not resume the control connection's session. Many
// uploads, downloads and listings in a row on one connection prove the reuse, and the lingering
// close of the upload's data connection; in passive mode and in active mode, which a libcurl
// that cannot encrypt the data connections the server opens refuses at once, before the server
// hears from us.
TEST_F(CurlFtpTlsTest, VsftpdWithSessionReuseRequiredServesEveryOperation) {
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    test::VsftpdServer server(
        {.root = root_.path(), .certificatePem = certificates_->ServerPem("leaf")});
    FtpConnectParameters parameters;
    parameters.host = "127.0.0.1";
    parameters.port = server.port();
    parameters.user = server.user();
    parameters.passive = passive;
    parameters.protocol = ServerProtocol::FtpExplicitTls;
    parameters.certificateAuthorities = certificates_->CaFile();
    ConnectFailure failure;
    auto connection = connector_.OpenExplained(parameters, &failure);
    if (!passive && !ActiveModeOverTlsWorks()) {
      EXPECT_FALSE(connection);
      EXPECT_EQ(failure.text.rfind("FTP over TLS in active mode needs libcurl 8.0 or later", 0), 0u)
          << failure.text;
      EXPECT_EQ(server.Log().find("FTP command"), std::string::npos) << server.Log();
      continue;
    }
    ASSERT_TRUE(connection) << failure.text << server.Log();
    const std::string data(700'000, 'q');
    const std::string folder = server.RemotePath(passive ? "passive" : "active");
    ASSERT_TRUE(connection->CreateFolder(folder)) << connection->LastError();
    for (int round = 0; round < 8; ++round) {
      SCOPED_TRACE(round);
      const std::string path = folder + "/f" + std::to_string(round) + ".bin";
      auto up = connection->OpenFile(path, RemoteFileMode::Write, true);
      ASSERT_TRUE(up) << connection->LastError() << server.Log();
      ASSERT_TRUE(up->Write(data.data(), data.size()));
      ASSERT_TRUE(up->Close()) << up->ErrorText() << server.Log();
      EXPECT_EQ(connection->Size(path), data.size());
      auto down = connection->OpenFile(path, RemoteFileMode::Read, true);
      ASSERT_TRUE(down) << connection->LastError() << server.Log();
      std::string back;
      char buffer[65536];
      for (int64_t n; (n = down->Read(buffer, sizeof buffer)) > 0;)
        back.append(buffer, static_cast<size_t>(n));
      ASSERT_TRUE(down->Close()) << down->ErrorText() << server.Log();
      EXPECT_EQ(back, data);
      ASSERT_TRUE(connection->SetCurrentFolder(folder));
      auto entries = connection->List();
      ASSERT_TRUE(entries) << connection->LastError() << server.Log();
      EXPECT_EQ(entries->size(), static_cast<size_t>(round + 1));
    }
    EXPECT_TRUE(connection->Rename(folder + "/f0.bin", folder + "/g.bin"));
    EXPECT_TRUE(connection->DeleteFile(folder + "/g.bin"));
    EXPECT_EQ(server.Log().find("No SSL session reuse"), std::string::npos);
  }
}

}  // namespace
}  // namespace quillon

#include <gtest/gtest.h>

#include "app/MainApp.h"
#include "ftp/CurlFtp.h"
#include "support/FtpServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

TEST(OpenFtpConnection, ConnectsOrKeepsAndPostsItsOwnCopyOfTheError) {
  ASSERT_TRUE(InitCurlGlobal());
  test::TempDir dir;
  test::FtpServer server({dir.path()});
  test::RecordingMessages messages;
  MainApp app(dir.path().string(), messages);
  app.SetSession(std::make_unique<CurlFtpConnector>());
  std::vector<std::pair<std::string, int32_t>> posted;
  app.SetConnectFailedPoster(
      [&](std::string text, int32_t colour) { posted.emplace_back(std::move(text), colour); });

  app.currentProfile = server.Profile();
  auto connection = app.OpenFtpConnection();
  ASSERT_TRUE(connection);
  EXPECT_TRUE(connection->IsAlive());
  EXPECT_TRUE(posted.empty());

  ConnectionProfile wrong = server.Profile();
  wrong.password = "not-the-password";
  EXPECT_FALSE(app.OpenFtpConnection(&wrong));
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].second, colour::kRed);
  EXPECT_EQ(posted[0].first, app.LastConnectionError());
  EXPECT_FALSE(app.LastConnectionError().empty());
  EXPECT_EQ(app.LastConnectionError().find("not-the-password"), std::string::npos);
  EXPECT_EQ(app.LastConnectionError().back(), '.');

  ConnectionProfile empty;
  EXPECT_FALSE(app.OpenFtpConnection(&empty)) << "no address: nothing is tried";
  EXPECT_EQ(posted.size(), 1u);
}

// A profile over TLS connects through the session; a certificate that is not trusted fails with
// what it is, until it is trusted for the session (every later connection, as a lane's, takes
// it) or pinned in the program folder. A profile that asks for TLS never reaches a server without
// it in clear text.
TEST(OpenFtpConnection, SecureProfilesConnectWithTheSessionsTrust) {
  ASSERT_TRUE(InitCurlGlobal());
  test::TempDir dir;
  test::TestCertificates certificates;
  test::FtpServer secure(
      {.root = dir.path(), .tlsCertificate = certificates.ServerPem("selfsigned")});
  test::RecordingMessages messages;
  MainApp app(dir.path().string(), messages);
  app.SetSession(std::make_unique<CurlFtpConnector>());

  const ConnectionProfile profile = secure.Profile();
  ASSERT_EQ(profile.protocol, ServerProtocol::FtpExplicitTls);
  ConnectFailure failure;
  std::string error;
  EXPECT_FALSE(app.OpenFtpConnection(ConnectParametersOf(profile), &error, &failure));
  ASSERT_TRUE(failure.untrusted) << failure.text;
  EXPECT_EQ(failure.untrusted->fingerprint, certificates.Fingerprint("selfsigned"));
  EXPECT_EQ(error, app.LastConnectionError());
  EXPECT_NE(error.find("is not trusted: self-signed certificate"), std::string::npos) << error;

  app.Trust().AcceptForSession(*failure.untrusted);
  auto connection = app.Connector().OpenWithError(ConnectParametersOf(profile), &error);
  ASSERT_TRUE(connection) << error;
  EXPECT_TRUE(connection->IsAlive());

  // Pinned in the program folder: a new session connects without being told.
  ASSERT_TRUE(RememberTrust(*failure.untrusted, app.ProgramFolder()));
  MainApp next(dir.path().string(), messages);
  next.SetSession(std::make_unique<CurlFtpConnector>());
  EXPECT_TRUE(next.OpenFtpConnection(&profile, &error)) << error;

  test::FtpServer plain({dir.path()});
  for (const ServerProtocol protocol :
       {ServerProtocol::FtpExplicitTls, ServerProtocol::FtpImplicitTls, ServerProtocol::Unknown}) {
    ConnectionProfile clear = plain.Profile();
    clear.protocol = protocol;
    EXPECT_FALSE(app.OpenFtpConnection(&clear, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error, app.LastConnectionError());
  }
  for (const auto& command : plain.Commands()) EXPECT_NE(command.rfind("USER", 0), 0u) << command;
}

}  // namespace
}  // namespace quillon

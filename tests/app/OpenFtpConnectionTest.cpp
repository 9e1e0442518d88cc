#include <gtest/gtest.h>

#include "app/MainApp.h"
#include "ftp/CurlFtp.h"
#include "support/FtpServer.h"
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
  app.SetConnectFailedPoster([&](std::string text, int32_t colour) {
    posted.emplace_back(std::move(text), colour);
  });

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

// A profile that asks for TLS or SFTP never reaches the server in clear text.
TEST(OpenFtpConnection, SecureProfilesAreNeverServedByPlainFtp) {
  ASSERT_TRUE(InitCurlGlobal());
  test::TempDir dir;
  test::FtpServer server({dir.path()});
  test::RecordingMessages messages;
  MainApp app(dir.path().string(), messages);
  app.SetSession(std::make_unique<CurlFtpConnector>());
  for (const ServerProtocol protocol :
       {ServerProtocol::FtpExplicitTls, ServerProtocol::FtpImplicitTls, ServerProtocol::Sftp,
        ServerProtocol::Unknown}) {
    ConnectionProfile profile = server.Profile();
    profile.protocol = protocol;
    std::string error;
    EXPECT_FALSE(app.OpenFtpConnection(&profile, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error, app.LastConnectionError());
  }
  EXPECT_TRUE(server.Commands().empty());
}

}  // namespace
}  // namespace quillon

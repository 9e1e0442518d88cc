// What a misbehaving server cannot do to a connection: hang it, flood it, redirect its data
// connection, or smuggle names into a listing. A scripted server plays each part; the
// transcript shows what the client sent.
#include <gtest/gtest.h>

#include <algorithm>

#include "ftp/CurlFtp.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::RecordingLog;
using test::ScriptedFtpServer;

// Short limits so that each time-out shows within a second or two.
const FtpTimeouts kShort{.connect = 2000ms, .reply = 1000ms, .stall = 1000ms, .accept = 1000ms};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class HostileServerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(InitCurlGlobal()); }
  RecordingLog log_;
  CurlFtpConnector connector_{&log_, kShort};
};

TEST_F(HostileServerTest, EachSilenceEndsInATimeOutWithItsOwnText) {
  std::string error;
  {
    ScriptedFtpServer silent("silent");
    EXPECT_EQ(connector_.OpenWithError(ConnectParametersOf(silent.Profile()), &error), nullptr);
    EXPECT_TRUE(Contains(error, "timeout") || Contains(error, "timed out")) << error;
  }
  {
    ScriptedFtpServer mute("mute-after-login");
    // The login itself is answered; the FEAT after it is not.
    EXPECT_EQ(connector_.OpenWithError(ConnectParametersOf(mute.Profile()), &error), nullptr);
    EXPECT_TRUE(Contains(error, "timeout") || Contains(error, "timed out")) << error;
  }
  {
    ScriptedFtpServer stalled("stalled-data");
    auto connection = connector_.OpenWithError(ConnectParametersOf(stalled.Profile()), &error);
    ASSERT_TRUE(connection) << error;
    auto file = connection->OpenFile("/f", RemoteFileMode::Read, true);
    ASSERT_TRUE(file) << connection->LastError();
    char buffer[4096];
    EXPECT_EQ(file->Read(buffer, sizeof buffer), -1);
    EXPECT_TRUE(Contains(file->ErrorText(), "too slow")) << file->ErrorText();
  }
  {
    ScriptedFtpServer noAccept("no-accept");
    auto connection =
        connector_.OpenWithError(ConnectParametersOf(noAccept.Profile(/*passive=*/false)), &error);
    ASSERT_TRUE(connection) << error;
    // The server says 150 and never connects: the wait for it ends the transfer.
    auto file = connection->OpenFile("/f", RemoteFileMode::Read, true);
    std::string text = connection->LastError();
    if (file) {
      char buffer[4096];
      EXPECT_EQ(file->Read(buffer, sizeof buffer), -1);
      text = file->ErrorText();
    }
    EXPECT_TRUE(Contains(text, "server connect")) << text;
  }
}

TEST_F(HostileServerTest, EndlessRepliesAndListingsFailInsteadOfGrowing) {
  std::string error;
  {
    ScriptedFtpServer endless("endless-greeting");
    EXPECT_EQ(connector_.OpenWithError(ConnectParametersOf(endless.Profile()), &error), nullptr);
    EXPECT_TRUE(Contains(error, "reply is longer than")) << error;
  }
  {
    ScriptedFtpServer endless("endless-listing");
    auto connection = connector_.OpenWithError(ConnectParametersOf(endless.Profile()), &error);
    ASSERT_TRUE(connection) << error;
    EXPECT_FALSE(connection->List());
    EXPECT_TRUE(Contains(connection->LastError(), "more than 500000 lines"))
        << connection->LastError();
  }
  {
    ScriptedFtpServer endless("endless-line");
    auto connection = connector_.OpenWithError(ConnectParametersOf(endless.Profile()), &error);
    ASSERT_TRUE(connection) << error;
    EXPECT_FALSE(connection->List());
    EXPECT_TRUE(Contains(connection->LastError(), "line of the server's listing is longer"))
        << connection->LastError();
    // Refusing the rest cost the control connection; the next call logs in again.
    EXPECT_TRUE(connection->IsAlive());
  }
}

TEST_F(HostileServerTest, ListingDropsUnsafeNamesAndTheDataGoesToTheControlAddress) {
  test::TempDir dir;
  std::string listing =
      "drwxr-xr-x 2 u g 4096 Jan 01  2024 .\r\n"
      "drwxr-xr-x 2 u g 4096 Jan 01  2024 ..\r\n"
      "-rw-r--r-- 1 u g 10 Jan 01  2024 ../../etc/passwd\r\n"
      "-rw-r--r-- 1 u g 10 Jan 01  2024 sub/file\r\n" +
      "-rw-r--r-- 1 u g 10 Jan 01  2024 nul\0name\r\n"s +
      "lrwxrwxrwx 1 u g 10 Jan 01  2024 shortcut -> /etc/passwd\r\n"
      "-rw-r--r-- 1 u g 10 Jan 01  2024 good.txt\r\n";
  test::WriteFile(dir.path() / "listing", listing);
  ScriptedFtpServer server("listing", dir.file("listing"));
  std::string error;
  auto connection = connector_.OpenWithError(ConnectParametersOf(server.Profile()), &error);
  ASSERT_TRUE(connection) << error;
  auto entries = connection->List();
  // The PASV reply named 10.255.255.1; the listing still came, from 127.0.0.1.
  ASSERT_TRUE(entries) << connection->LastError();
  std::vector<std::string> names;
  for (const auto& e : *entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"shortcut", "good.txt"}));
  EXPECT_FALSE((*entries)[0].isFolder);  // a link is a plain file
  auto lines = log_.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(Contains(lines[0].text, "\"../../etc/passwd\""));
  EXPECT_TRUE(Contains(lines[1].text, "\"sub/file\""));
  EXPECT_TRUE(Contains(lines[2].text, "\"nul\\x00name\""));
  auto commands = server.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "PASV"), commands.end());
}

TEST_F(HostileServerTest, AReplyThatRepeatsThePasswordDoesNotShowIt) {
  ScriptedFtpServer server("echo-password");
  std::string error;
  auto profile = server.Profile();
  EXPECT_EQ(connector_.OpenWithError(ConnectParametersOf(profile), &error), nullptr);
  EXPECT_TRUE(Contains(error, "530")) << error;
  EXPECT_FALSE(Contains(error, profile.password)) << error;
  EXPECT_TRUE(Contains(error, "****")) << error;
}

}  // namespace
}  // namespace quillon

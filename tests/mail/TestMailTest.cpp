// The test message of the e-mail settings against a real SMTP server (aiosmtpd), and a scripted
// peer for a refusal that a real server will not give on cue.
#include <gtest/gtest.h>

#include "mail/EmailSettings.h"
#include "mail/ScriptedSmtpPeer.h"
#include "support/SmtpServer.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using Peer = test::ScriptedSmtpPeer;

const SmtpTimeouts kBounded = SmtpTimeouts::All(20s);  // a broken client fails, not hangs

TEST(TestMail, ArrivesWithItsSubjectAndBody) {
  test::SmtpServer server;
  const EmailSettings settings{true, "ops@example.com", server.address(),
                               "admin@example.org, night@example.org;"};
  EXPECT_EQ(SendTestMail(settings, kBounded),
            "A test email has been sent to: admin@example.org, night@example.org;");
  ASSERT_TRUE(server.WaitForMessages(1));
  const test::SmtpServer::Message m = server.Messages().at(0);
  EXPECT_EQ(m.mailFrom, "ops@example.com");
  EXPECT_EQ(m.rcptTo, (std::vector<std::string>{"admin@example.org", "night@example.org"}));
  EXPECT_EQ(m.helo, "example.com");
  EXPECT_NE(m.data.find("\r\nSubject: Quillon Email Notification Test\r\n"), std::string::npos);
  EXPECT_EQ(m.data.substr(m.data.find("\r\n\r\n") + 4), "Test OK.\r\n\r\n");
}

TEST(TestMail, FailuresSayWhy) {
  test::SmtpServer server;
  Peer refusing({Peer::Say("220 peer.example ESMTP\r\n"), Peer::Say("250 peer.example\r\n"),
                 Peer::Say("250 2.1.0 Ok\r\n"),
                 Peer::Say("550 5.1.1 <nobody@example.org>: Recipient address rejected\r\n")});
  const struct {
    std::string server;
    std::string to;
    std::string shown;
    std::string from = "ops@example.com";
  } cases[] = {
      {server.address(), " ;, ;", "Invalid recipient address."},
      {server.address(), "", "Invalid recipient address."},
      {server.address(), "admin@example.org> NOTIFY=NEVER", "Invalid recipient address."},
      {server.address(), "admin@example.org", "Invalid sender address.", "ops machine"},
      {"127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()), "admin@example.org",
       "Test failed: Cannot connect to server."},
      {"", "admin@example.org", "Test failed: Cannot connect to server."},
      {refusing.address(), "nobody@example.org",
       "Test failed: 5.1.1 <nobody@example.org>: Recipient address rejected"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SendTestMail({true, c.from, c.server, c.to}, kBounded), c.shown)
        << c.server << " " << c.to;
  EXPECT_EQ(refusing.Received().back(), "RCPT TO: nobody@example.org");
  EXPECT_TRUE(server.Messages().empty());  // nothing was sent for invalid recipients
}

}  // namespace
}  // namespace quillon

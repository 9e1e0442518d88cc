// The SMTP client against a real server (aiosmtpd): what arrives is what was meant.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/Clock.h"
#include "mail/SmtpMailer.h"
#include "support/SmtpServer.h"

namespace quillon {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

// A task log with the lines that trip a careless client: a lone ".", lines starting with dots,
// bare LF line ends, and enough of it to take several sends.
std::string TaskLog() {
  std::string log =
      "Harbell task [Nightly] started at: Sat 12/05/2026 02:00:00 AM\n"
      ".\n"
      "..\n"
      ".profile was skipped\n"
      "QUIT\n"
      "\n";
  for (int i = 0; i < 2000; ++i)
    log += "OK: /home/ops/outgoing/report" + std::to_string(i) + ".csv ==> /in/report" +
           std::to_string(i) + ".csv.qvr\n";
  log += ".\nHarbell task [Nightly] completed.\n";
  return log;
}

std::string WithCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool HasBareLineFeed(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return true;
  return false;
}

Strings HeaderLines(const std::string& data) {
  Strings lines;
  size_t start = 0;
  for (size_t end; (end = data.find("\r\n", start)) != std::string::npos && end > start;
       start = end + 2)
    lines.push_back(data.substr(start, end - start));
  return lines;
}

TEST(SmtpMailerWithServer, DeliversTheWholeLogAsTheBody) {
  test::SmtpServer server;
  FixedClock clock(FromLocalTime(2026, 12, 5, 2, 3, 17));
  SmtpMailer mailer(clock);
  mailer.server = server.address();
  mailer.from = "ops@example.com";
  ASSERT_EQ(mailer.AddRecipients("a@example.org, b@example.org;c@example.org"), 3);
  mailer.subject = "Harbell task [Nightly] completed at: Sat 12/05/2026 02:03:17 AM";
  const std::string log = TaskLog();
  mailer.body = log;
  mailer.timeouts = SmtpTimeouts::All(30s);
  ASSERT_TRUE(mailer.Send()) << mailer.LastError();

  ASSERT_TRUE(server.WaitForMessages(1));
  auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const auto& m = messages[0];
  EXPECT_EQ(m.helo, "example.com");
  EXPECT_EQ(m.mailFrom, "ops@example.com");
  EXPECT_EQ(m.rcptTo, (Strings{"a@example.org", "b@example.org", "c@example.org"}));

  size_t headerEnd = m.data.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  Strings headers = HeaderLines(m.data);
  ASSERT_EQ(headers.size(), 7u);
  EXPECT_EQ(headers[0].rfind("Date: Sat Dec 05 02:03:17 ", 0), 0u) << headers[0];
  EXPECT_EQ(headers[1], "From: ops@example.com (ops@example.com)");
  EXPECT_EQ(headers[2], "To: a@example.org; b@example.org; c@example.org; ");
  EXPECT_EQ(headers[3], "Subject: " + mailer.subject);
  EXPECT_EQ(headers[4], "Reply-To: ops@example.com");
  EXPECT_EQ(headers[5], "Mime-Version: 1.0");
  EXPECT_EQ(headers[6], "Priority: 0");

  // The whole log, every line of it, then the two line ends the message always closes with.
  EXPECT_EQ(m.data.substr(headerEnd + 4), WithCrlf(log) + "\r\n\r\n");
  EXPECT_FALSE(HasBareLineFeed(m.data));
}

TEST(SmtpMailerWithServer, ASubjectWithLineBreaksAddsNoHeaderOrRecipient) {
  test::SmtpServer server;
  SmtpMailer mailer;
  mailer.server = server.address();
  mailer.from = "ops@example.com";
  mailer.AddRecipients("admin@example.org");
  mailer.subject = "Nightly\r\nBcc: victim@example.com\r\n\r\nforged body";
  mailer.body = "Test OK.";
  mailer.timeouts = SmtpTimeouts::All(30s);
  ASSERT_TRUE(mailer.Send()) << mailer.LastError();

  ASSERT_TRUE(server.WaitForMessages(1));
  auto m = server.Messages().at(0);
  EXPECT_EQ(m.rcptTo, Strings{"admin@example.org"});
  Strings headers = HeaderLines(m.data);
  ASSERT_EQ(headers.size(), 7u);
  EXPECT_EQ(headers[3], "Subject: Nightly Bcc: victim@example.com  forged body");
  EXPECT_EQ(m.data.substr(m.data.find("\r\n\r\n") + 4), "Test OK.\r\n\r\n");
}

// A loopback port that nothing listens on.
uint16_t ClosedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TEST(SmtpMailerWithServer, AnUnreachableServerCannotBeConnected) {
  for (std::string server :
       {"127.0.0.1:" + std::to_string(ClosedPort()), std::string("127.0.0.1:0"),
        std::string("127.0.0.1:smtp"), std::string("")}) {
    SCOPED_TRACE(server);
    SmtpMailer mailer;
    mailer.server = server;
    mailer.from = "ops@example.com";
    mailer.AddRecipients("admin@example.org");
    mailer.timeouts = SmtpTimeouts::All(10s);
    EXPECT_FALSE(mailer.Send());
    EXPECT_EQ(mailer.LastError(), "Cannot connect to server.");
    EXPECT_EQ(mailer.Step(), SmtpStep::Connect);
  }
}

}  // namespace
}  // namespace quillon

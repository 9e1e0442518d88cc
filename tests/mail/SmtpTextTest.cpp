// The text rules of the SMTP client that need no server: recipient lists, the server value,
// the body's wire form and the collecting of replies.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mail/MailAddress.h"
#include "mail/SmtpMailer.h"
#include "mail/SmtpSocket.h"

namespace quillon {
namespace {

using Strings = std::vector<std::string>;

TEST(SmtpMailerRecipients, SplitsAtBlanksCommasSemicolonsAndLineBreaks) {
  struct Case {
    std::string text;
    Strings expected;
  } cases[] = {
      {"a@x.com, b@y.com;c@z.com", {"a@x.com", "b@y.com", "c@z.com"}},
      {" ,; ;, ", {}},
      {"", {}},
      {"  ops@example.com  ", {"ops@example.com"}},
      // The program expects bare addresses: a display name falls apart at its blank.
      {"John Smith <js@x.com>", {"John", "Smith", "<js@x.com>"}},
      // A pasted list of lines; and no piece may carry a line break onto the wire.
      {"a@x.com\r\nb@y.com\n\tc@z.com", {"a@x.com", "b@y.com", "c@z.com"}},
      {"a@x.com\r\nRCPT TO: evil@x.com", {"a@x.com", "RCPT", "TO:", "evil@x.com"}},
  };
  for (const auto& c : cases) {
    SmtpMailer mailer;
    EXPECT_EQ(mailer.AddRecipients(c.text), static_cast<int>(c.expected.size())) << c.text;
    EXPECT_EQ(mailer.to, c.expected) << c.text;
  }
}

TEST(MailAddresses, OnlyBareAddressesPass) {
  const std::string longLocal(65, 'a'), longLabel(64, 'b');
  const struct {
    std::string address;
    bool valid;
  } cases[] = {
      {"ops@example.org", true},
      {"first.last+tag@mail.example.co.uk", true},
      {"o'neil!#$%&*/=?^_`{|}~-@example.org", true},
      {"ops@localhost", true},
      {"ops@[192.0.2.1]", true},
      {"ops@[IPv6:2001:db8::1]", true},
      {"j\xc3\xb6rg@b\xc3\xbc"
       "cher.example",
       true},
      {std::string(64, 'a') + "@example.org", true},
      {"", false},
      {"ops", false},
      {"@example.org", false},
      {"ops@", false},
      {"ops@example.org> SIZE=1 <x", false},
      {"ops@example.org>\r\nRCPT TO:<evil@x.com", false},
      {"<ops@example.org>", false},
      {"ops @example.org", false},
      {"ops@exa mple.org", false},
      {"ops@example.org\t", false},
      {"John Smith <js@x.com>", false},
      {"\"quoted\"@example.org", false},
      {"a@b@example.org", false},
      {".ops@example.org", false},
      {"ops.@example.org", false},
      {"o..ps@example.org", false},
      {"ops@example..org", false},
      {"ops@example.org.", false},
      {"ops@-example.org", false},
      {"ops@example-.org", false},
      {"ops@exa_mple.org", false},
      {"ops@[300.1.1.1.1]", false},
      {"ops@[IPv6:]", false},
      {"ops,x@example.org", false},
      {"ops;x@example.org", false},
      {std::string("o\0ps@example.org", 16), false},
      {"o\x7fps@example.org", false},
      {longLocal + "@example.org", false},
      {"ops@" + longLabel + ".org", false},
      {"ops@" + std::string(250, 'c'), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMailAddress(c.address), c.valid) << c.address;
}

TEST(SmtpMailerRecipients, AppendsToTheListAlreadyThere) {
  SmtpMailer mailer;
  mailer.to = {"first@x.com"};
  EXPECT_EQ(mailer.AddRecipients("second@x.com;third@x.com"), 2);
  EXPECT_EQ(mailer.to, (Strings{"first@x.com", "second@x.com", "third@x.com"}));
}

TEST(MailServerValue, HostAndOptionalPort) {
  struct Case {
    std::string value;
    std::optional<std::string> host;  // nullopt: refused
    uint16_t port;
  } cases[] = {
      {"mail.example.com", "mail.example.com", 25},
      {"mail.example.com:2525", "mail.example.com", 2525},
      {"  10.0.0.1:587 ", "10.0.0.1", 587},
      {"127.0.0.1:65535", "127.0.0.1", 65535},
      {"[::1]:2525", "::1", 2525},
      {"[::1]", "::1", 25},
      {"::1", "::1", 25},  // a bare IPv6 address has no port part
      {"host:1", "host", 1},
      {"", std::nullopt, 0},
      {"   ", std::nullopt, 0},
      {":25", std::nullopt, 0},
      {"host:", std::nullopt, 0},
      {"host:0", std::nullopt, 0},
      {"host:65536", std::nullopt, 0},
      {"host:123456", std::nullopt, 0},
      {"host:25a", std::nullopt, 0},
      {"host:-1", std::nullopt, 0},
      {"[::1", std::nullopt, 0},
      {"[::1]25", std::nullopt, 0},
      {"[]:25", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    auto parsed = ParseMailServer(c.value);
    ASSERT_EQ(parsed.has_value(), c.host.has_value()) << "'" << c.value << "'";
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, *c.host) << c.value;
    EXPECT_EQ(parsed->port, c.port) << c.value;
  }
}

TEST(MessageBody, LineEndsBecomeCrlfAndDotLinesAreStuffed) {
  struct Case {
    std::string body;
    std::string wire;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\rb", "a\r\nb"},
      {"a\r\r\nb", "a\r\n\r\nb"},
      {"\n\n", "\r\n\r\n"},
      {".", ".."},
      {".\n", "..\r\n"},
      {"log start\n.\nlog end\n", "log start\r\n..\r\nlog end\r\n"},
      {"x\r\n.\r\ny", "x\r\n..\r\ny"},
      {".hidden\n..two", "..hidden\r\n...two"},
      {"a.b\n a .\n", "a.b\r\n a .\r\n"},  // only a dot at the start of a line counts
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeMessageBody(c.body), c.wire) << c.body;
}

TEST(SmtpReplyText, CodeSeparatorAndLineEndsAreNotPartOfTheText) {
  struct Case {
    std::string raw;
    std::string text;
    bool failure;
  } cases[] = {
      {"250 OK\r\n", "OK", false},
      {"354 End data with <CR><LF>.<CR><LF>\r\n", "End data with <CR><LF>.<CR><LF>", false},
      {"550 5.1.1 <b@y.com>: Recipient address rejected\r\n",
       "5.1.1 <b@y.com>: Recipient address rejected", true},
      {"421 Service not available\n", "Service not available", true},
      {"250-mail.example.com\r\n250-SIZE 1000\r\n250 HELP\r\n", "mail.example.com\nSIZE 1000\nHELP",
       false},
      {"451-Try again\r\n451 later\r\n", "Try again\nlater", true},
      {"221\r\n", "", false},
      {"hello there\r\n", "o there", false},  // no code: only the first character decides
  };
  for (const auto& c : cases) {
    std::string pending = c.raw;
    auto reply = TakeSmtpReply(pending);
    ASSERT_TRUE(reply) << c.raw;
    EXPECT_EQ(reply->raw, c.raw);
    EXPECT_EQ(reply->text, c.text) << c.raw;
    EXPECT_EQ(reply->IsFailure(), c.failure) << c.raw;
    EXPECT_EQ(pending, "");
  }
}

// Whatever pieces the bytes arrive in, a reply is taken only once its last line is complete,
// and the reply after it stays for the next read.
TEST(SmtpReplyText, IsTakenWholeAtEverySplitPoint) {
  const std::string first = "220-peer.example ESMTP\r\n220-welcome\r\n220 ready\r\n";
  const std::string second = "550 5.1.1 No such user\r\n";
  const std::string stream = first + second;
  for (size_t split = 0; split <= stream.size(); ++split) {
    std::string pending = stream.substr(0, split);
    auto reply = TakeSmtpReply(pending);
    if (split < first.size()) {
      EXPECT_FALSE(reply) << split;
      EXPECT_EQ(pending, stream.substr(0, split));
      continue;
    }
    ASSERT_TRUE(reply) << split;
    EXPECT_EQ(reply->text, "peer.example ESMTP\nwelcome\nready");
    EXPECT_FALSE(reply->IsFailure());
    pending += stream.substr(split);
    auto next = TakeSmtpReply(pending);
    ASSERT_TRUE(next) << split;
    EXPECT_EQ(next->text, "5.1.1 No such user");
    EXPECT_TRUE(next->IsFailure());
    EXPECT_EQ(pending, "");
  }
}

}  // namespace
}  // namespace quillon

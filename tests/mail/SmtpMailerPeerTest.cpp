// The SMTP exchange against a scripted peer: the exact commands and header block, and what a
// real server will not do on cue (refusals at each step, replies in pieces, silence).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "mail/ScriptedSmtpPeer.h"
#include "mail/SmtpMailer.h"

namespace quillon {
namespace {

using Peer = test::ScriptedSmtpPeer;
using Script = std::vector<Peer::Reply>;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

constexpr const char* kNoAnswer = "The server did not answer in time.";

// The replies of a server that takes a message for `recipients` recipients:
// [0] greeting, [1] HELO, [2] MAIL, one per RCPT, then DATA, the final ".", QUIT.
Script Accepting(int recipients) {
  Script script = {Peer::Say("220 peer.example ESMTP ready\r\n"), Peer::Say("250 peer.example\r\n"),
                   Peer::Say("250 2.1.0 Ok\r\n")};
  for (int i = 0; i < recipients; ++i) script.push_back(Peer::Say("250 2.1.5 Ok\r\n"));
  script.push_back(Peer::Say("354 End data with <CR><LF>.<CR><LF>\r\n"));
  script.push_back(Peer::Say("250 2.0.0 Ok: queued\r\n"));
  script.push_back(Peer::Say("221 2.0.0 Bye\r\n"));
  return script;
}

// The first `count` replies of `script`, then `last`.
Script Until(Script script, size_t count, Peer::Reply last) {
  script.resize(count);
  script.push_back(std::move(last));
  return script;
}

const TimePoint kSent = FromLocalTime(2026, 12, 5, 2, 3, 17);

struct Fixture {
  FixedClock clock{kSent};
  SmtpMailer mailer{clock};

  explicit Fixture(const Peer& peer, std::string recipients = "admin@example.org") {
    mailer.server = peer.address();
    mailer.from = "ops@example.com";
    mailer.AddRecipients(recipients);
    mailer.subject = "Harbell task [Nightly] completed at: Sat 12/05/2026 02:03:17 AM";
    mailer.body = "line one\nline two\n";
    mailer.timeouts = SmtpTimeouts::All(20s);  // a broken client fails instead of hanging
  }
};

// The header block's first line carries the local time zone, the rest is fixed.
void ExpectDateLine(const std::string& message) {
  static const std::regex date("^Date: Sat Dec 05 02:03:17 [+-][0-9]{4} 2026\r\n");
  EXPECT_TRUE(std::regex_search(message, date)) << message;
}

std::string AfterDateLine(const std::string& message) {
  return message.substr(message.find("\r\n") + 2);
}

TEST(SmtpMailerDialogue, SendsTheCommandsAndTheHeaderBlockExactly) {
  Peer peer(Accepting(1));
  Fixture f(peer);
  ASSERT_TRUE(f.mailer.Send()) << f.mailer.LastError();
  EXPECT_EQ(f.mailer.Step(), SmtpStep::Done);
  EXPECT_EQ(f.mailer.LastError(), "");

  Strings received = peer.Received();
  ASSERT_EQ(received.size(), 6u);
  EXPECT_EQ(received[0], "HELO example.com");
  EXPECT_EQ(received[1], "MAIL FROM:<ops@example.com>");
  EXPECT_EQ(received[2], "RCPT TO: admin@example.org");
  EXPECT_EQ(received[3], "DATA");
  ExpectDateLine(received[4]);
  EXPECT_EQ(AfterDateLine(received[4]),
            "From: ops@example.com (ops@example.com)\r\n"
            "To: admin@example.org; \r\n"
            "Subject: Harbell task [Nightly] completed at: Sat 12/05/2026 02:03:17 AM\r\n"
            "Reply-To: ops@example.com\r\n"
            "Mime-Version: 1.0\r\n"
            "Priority: 0\r\n"
            "\r\n"
            "line one\r\n"
            "line two\r\n"
            "\r\n"
            "\r\n");
  EXPECT_EQ(received[5], "QUIT");
}

TEST(SmtpMailerDialogue, HeloTakesTheDomainOfTheSender) {
  struct Case {
    std::string from;
    std::string helo;
  } cases[] = {{"ops@example.com", "HELO example.com"},
               {"night.ops@[192.0.2.7]", "HELO [192.0.2.7]"}};
  for (const auto& c : cases) {
    Peer peer(Accepting(1));
    Fixture f(peer);
    f.mailer.from = c.from;
    ASSERT_TRUE(f.mailer.Send()) << c.from;
    Strings received = peer.Received();
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0], c.helo);
    EXPECT_EQ(received[1], "MAIL FROM:<" + c.from + ">");
  }
}

TEST(SmtpMailerDialogue, CopiesGoToTheEnvelopeAndBlindCopiesToNoHeader) {
  Peer peer(Accepting(4));
  Fixture f(peer, "a@example.org;b@example.org");
  f.mailer.cc = {"c@example.org"};
  f.mailer.bcc = {"hidden@example.org"};
  f.mailer.mailer = "Quillon";
  f.mailer.priority = 3;
  ASSERT_TRUE(f.mailer.Send()) << f.mailer.LastError();

  Strings received = peer.Received();
  ASSERT_EQ(received.size(), 9u);
  EXPECT_EQ(received[2], "RCPT TO: a@example.org");
  EXPECT_EQ(received[3], "RCPT TO: b@example.org");
  EXPECT_EQ(received[4], "RCPT TO: c@example.org");
  EXPECT_EQ(received[5], "RCPT TO: hidden@example.org");
  EXPECT_EQ(AfterDateLine(received[7]),
            "From: ops@example.com (ops@example.com)\r\n"
            "To: a@example.org; b@example.org; \r\n"
            "Subject: Harbell task [Nightly] completed at: Sat 12/05/2026 02:03:17 AM\r\n"
            "Cc: c@example.org; \r\n"
            "Reply-To: ops@example.com\r\n"
            "X-Mailer: Quillon\r\n"
            "Mime-Version: 1.0\r\n"
            "Priority: 3\r\n"
            "\r\n"
            "line one\r\n"
            "line two\r\n"
            "\r\n"
            "\r\n");
}

TEST(SmtpMailerDialogue, LineBreaksInTheSubjectStayInsideTheSubjectLine) {
  struct Case {
    std::string subject;
    std::string line;
  } cases[] = {
      {"Report\r\nBcc: victim@example.com", "Subject: Report Bcc: victim@example.com\r\n"},
      {"a\nb\rc", "Subject: a b c\r\n"},
      {"a\r\n\r\nbody", "Subject: a  body\r\n"},
  };
  for (const auto& c : cases) {
    Peer peer(Accepting(1));
    Fixture f(peer);
    f.mailer.subject = c.subject;
    f.mailer.mailer = "Q\r\nX-Injected: 1";
    ASSERT_TRUE(f.mailer.Send()) << f.mailer.LastError();
    Strings received = peer.Received();
    ASSERT_EQ(received.size(), 6u);
    const std::string& message = received[4];
    EXPECT_NE(message.find("\r\n" + c.line), std::string::npos) << message;
    EXPECT_NE(message.find("\r\nX-Mailer: Q X-Injected: 1\r\n"), std::string::npos) << message;
    EXPECT_EQ(message.find("\r\nBcc:"), std::string::npos) << message;
    EXPECT_EQ(message.find("\r\nX-Injected"), std::string::npos) << message;
  }
}

// A refusal at any step ends the exchange at once with the server's text and sends nothing
// more, not even QUIT.
TEST(SmtpMailerRefusals, EndTheExchangeWithTheServersText) {
  const Script accepting = Accepting(2);
  const Strings commands = {"HELO example.com",
                            "MAIL FROM:<ops@example.com>",
                            "RCPT TO: a@example.org",
                            "RCPT TO: b@example.org",
                            "DATA",
                            "(message)"};
  struct Case {
    size_t at;  // index of the refused reply in `accepting`
    std::string reply;
    std::string error;
    SmtpStep step;
  } cases[] = {
      {0, "554 5.3.2 No service here\r\n", "5.3.2 No service here", SmtpStep::Greeting},
      {1, "501 5.5.4 Syntax: HELO hostname\r\n", "5.5.4 Syntax: HELO hostname", SmtpStep::Helo},
      {2, "451-Greylisted, please\r\n451 try again later\r\n",
       "Greylisted, please\ntry again later", SmtpStep::MailFrom},
      {3, "550 5.1.1 <a@example.org>: Recipient address rejected\r\n",
       "5.1.1 <a@example.org>: Recipient address rejected", SmtpStep::RcptTo},
      {4, "550 5.1.1 <b@example.org>: Recipient address rejected\r\n",
       "5.1.1 <b@example.org>: Recipient address rejected", SmtpStep::RcptTo},
      {5, "554 5.5.1 No valid recipients\r\n", "5.5.1 No valid recipients", SmtpStep::Data},
      {6, "552 5.3.4 Message too big\r\n", "5.3.4 Message too big", SmtpStep::EndOfData},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    Peer peer(Until(accepting, c.at, Peer::Say(c.reply)));
    Fixture f(peer, "a@example.org b@example.org");
    EXPECT_FALSE(f.mailer.Send());
    EXPECT_EQ(f.mailer.LastError(), c.error);
    EXPECT_EQ(f.mailer.Step(), c.step);
    Strings received = peer.Received();
    ASSERT_EQ(received.size(), c.at);  // the refused command is the last one sent
    for (size_t i = 0; i < received.size() && i < 5; ++i) EXPECT_EQ(received[i], commands[i]);
  }
}

// A multi-line reply in several pieces is read whole, so every later reply stays with its own
// command and a 550 is never taken for the 250 before it.
TEST(SmtpMailerReplies, ArePairedWithTheirCommandsWhateverPiecesTheyArriveIn) {
  Script script = {
      Peer::InPieces({"220-peer.example ESMTP\r\n220-", "second line\r\n", "220 ready\r\n"}),
      Peer::InPieces({"250-peer.example\r\n", "250-SIZE 1000\r\n250 HELP\r\n"}),
      Peer::InPieces({"25", "0 2.1.0 Ok\r\n"}),
      Peer::InPieces({"550 5.1.1 No such ", "user here\r\n"}),
  };
  Peer peer(script);
  Fixture f(peer);
  EXPECT_FALSE(f.mailer.Send());
  EXPECT_EQ(f.mailer.LastError(), "5.1.1 No such user here");
  EXPECT_EQ(f.mailer.Step(), SmtpStep::RcptTo);
  EXPECT_EQ(peer.Received(), (Strings{"HELO example.com", "MAIL FROM:<ops@example.com>",
                                      "RCPT TO: admin@example.org"}));
  EXPECT_EQ(peer.EarlySends(), 0);
}

TEST(SmtpMailerReplies, AWholeExchangeInPiecesDeliversTheMessage) {
  Script script = {
      Peer::InPieces({"220-peer.example\r\n", "220 ready\r\n"}),
      Peer::InPieces({"250-peer.example\r\n250-PIPELINING\r\n", "250 8BITMIME\r\n"}),
      Peer::InPieces({"250 ", "Ok\r\n"}),
      Peer::InPieces({"250 Ok", "\r\n"}),
      Peer::InPieces({"354 go", " ahead\r\n"}),
      Peer::InPieces({"250-queued\r\n", "250 as 12345\r\n"}),
      Peer::InPieces({"221 ", "Bye\r\n"}),
  };
  Peer peer(script);
  Fixture f(peer);
  ASSERT_TRUE(f.mailer.Send()) << f.mailer.LastError();
  Strings received = peer.Received();
  ASSERT_EQ(received.size(), 6u);
  EXPECT_EQ(received[3], "DATA");
  EXPECT_EQ(received[5], "QUIT");
  EXPECT_EQ(peer.EarlySends(), 0);
}

// Once the final "." is accepted the message is delivered, whatever happens at QUIT.
TEST(SmtpMailerReplies, AnAcceptedMessageStaysSentWhenQuitGoesWrong) {
  for (auto quit : {Peer::Say("500 5.5.2 What?\r\n"), Peer::HangUp(), Peer::Silence()}) {
    Script script = Until(Accepting(1), 6, quit);
    Peer peer(script);
    Fixture f(peer);
    f.mailer.timeouts.command = 1500ms;
    EXPECT_TRUE(f.mailer.Send());
    EXPECT_EQ(f.mailer.LastError(), "");
    EXPECT_EQ(f.mailer.Step(), SmtpStep::Done);
  }
}

TEST(SmtpMailerReplies, ALostConnectionFailsWithoutAText) {
  Peer peer(Until(Accepting(1), 3, Peer::HangUp()));
  Fixture f(peer);
  EXPECT_FALSE(f.mailer.Send());
  EXPECT_EQ(f.mailer.LastError(), "");
  EXPECT_EQ(f.mailer.Step(), SmtpStep::RcptTo);
}

// A server that stops answering ends the exchange after the step's time-out instead of holding
// the task run forever.
TEST(SmtpMailerSilence, EndsTheExchangeAfterTheTimeOut) {
  const Script accepting = Accepting(1);
  struct Case {
    const char* name;
    size_t at;  // the first reply left out
    SmtpStep step;
    size_t received;
  } cases[] = {
      {"no greeting", 0, SmtpStep::Greeting, 0},
      {"no answer to RCPT", 3, SmtpStep::RcptTo, 3},
      {"no answer to the final dot", 5, SmtpStep::EndOfData, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Peer peer(Until(accepting, c.at, Peer::Silence()));
    Fixture f(peer);
    f.mailer.timeouts = SmtpTimeouts::All(1500ms);
    EXPECT_FALSE(f.mailer.Send());
    EXPECT_EQ(f.mailer.LastError(), kNoAnswer);
    EXPECT_EQ(f.mailer.Step(), c.step);
    EXPECT_EQ(peer.Received().size(), c.received);
  }
}

TEST(SmtpMailerSilence, AServerThatStopsTakingTheMessageEndsTheExchange) {
  Peer peer(Until(Accepting(1), 4, {{"354 go ahead\r\n"}, Peer::Then::Stall}));
  Fixture f(peer);
  f.mailer.timeouts = SmtpTimeouts::All(1500ms);
  // Far more than the socket buffers of both ends hold.
  f.mailer.body.clear();
  for (int i = 0; f.mailer.body.size() < 16u * 1024 * 1024; ++i)
    f.mailer.body += "OK: /home/ops/outgoing/file" + std::to_string(i) + " ==> /in/file\n";
  EXPECT_FALSE(f.mailer.Send());
  EXPECT_EQ(f.mailer.LastError(), kNoAnswer);
  EXPECT_EQ(f.mailer.Step(), SmtpStep::Message);
  Strings received = peer.Received();
  ASSERT_GE(received.size(), 4u);
  EXPECT_EQ(received[3], "DATA");
}

// An address with a line break would end its command line early and let the rest act as
// further commands, one with a blank or ">" would add parameters; nothing is sent then.
TEST(SmtpMailerAddresses, ThatAreNotBareAddressesAreRefusedBeforeConnecting) {
  struct Case {
    const char* name;
    void (*spoil)(SmtpMailer&);
    std::string error;
  } cases[] = {
      {"sender", [](SmtpMailer& m) { m.from = "ops@example.com>\r\nRCPT TO:<evil@x.com"; },
       "Invalid sender address."},
      {"sender LF", [](SmtpMailer& m) { m.from = "ops@example.com\n"; }, "Invalid sender address."},
      {"recipient", [](SmtpMailer& m) { m.to.push_back("b@x.com\r\nDATA"); },
       "Invalid recipient address."},
      {"copy", [](SmtpMailer& m) { m.cc.push_back("c@x.com\r"); }, "Invalid recipient address."},
      {"blind copy", [](SmtpMailer& m) { m.bcc.push_back("d@x.com\nQUIT"); },
       "Invalid recipient address."},
      {"sender with a parameter", [](SmtpMailer& m) { m.from = "ops@example.org> SIZE=1 <x"; },
       "Invalid sender address."},
      {"sender without a domain", [](SmtpMailer& m) { m.from = "ops-machine"; },
       "Invalid sender address."},
      {"recipient with a blank", [](SmtpMailer& m) { m.to.push_back("b@x.com NOTIFY=NEVER"); },
       "Invalid recipient address."},
      {"recipient in brackets", [](SmtpMailer& m) { m.to.push_back("<b@x.com>"); },
       "Invalid recipient address."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Peer peer(Accepting(2));
    Fixture f(peer);
    c.spoil(f.mailer);
    EXPECT_FALSE(f.mailer.Send());
    EXPECT_EQ(f.mailer.LastError(), c.error);
    EXPECT_EQ(f.mailer.Step(), SmtpStep::Ready);
  }
}

}  // namespace
}  // namespace quillon

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "mail/SmtpSocket.h"

namespace quillon {

// How long each step of the exchange may wait for the server (the values of RFC 5321 4.5.3.2;
// tests shorten them).
struct SmtpTimeouts {
  std::chrono::milliseconds connect = std::chrono::seconds(60);
  std::chrono::milliseconds greeting = std::chrono::minutes(5);
  std::chrono::milliseconds command = std::chrono::minutes(5);    // HELO, MAIL, RCPT, QUIT
  std::chrono::milliseconds dataStart = std::chrono::minutes(2);  // the reply to DATA
  std::chrono::milliseconds dataBlock = std::chrono::minutes(3);  // the server taking the message
  std::chrono::milliseconds dataEnd = std::chrono::minutes(10);   // the reply to the final "."

  static SmtpTimeouts All(std::chrono::milliseconds each) {
    return {each, each, each, each, each, each};
  }
};

// The steps of one exchange, in order. Step() tells where the last Send ended.
enum class SmtpStep {
  Ready,      // nothing sent yet
  Connect,    // resolving the server and opening the connection
  Greeting,   // waiting for the server's greeting
  Helo,       // "HELO domain"
  MailFrom,   // "MAIL FROM:<sender>"
  RcptTo,     // one "RCPT TO: address" per recipient
  Data,       // "DATA", expecting 354
  Message,    // headers and body
  EndOfData,  // the final "." line, the server accepts or refuses the message
  Quit,       // "QUIT"
  Done,       // the message was accepted
};

// The server of an "EmailServer" value: "host", "host:port", "[v6 address]" or
// "[v6 address]:port"; port 25 when none is given. A bare IPv6 address keeps port 25. Blanks
// around the value are ignored. nullopt for an empty host or a port that is not 1..65535.
struct MailServer {
  std::string host;
  uint16_t port = 25;
};
[[nodiscard]] std::optional<MailServer> ParseMailServer(std::string_view server);

// The body as it travels inside DATA: every line end becomes CRLF (a bare LF or CR too) and a
// line that starts with "." gets a second one, so no line of the text can end the message.
std::string EncodeMessageBody(std::string_view body);

// One message and the SMTP exchange that sends it: plain TCP, no authentication, the commands
// HELO, MAIL FROM, RCPT TO, DATA and QUIT. Fill the fields, call AddRecipients once, then Send
// once. Used by one thread; Send blocks it for the exchange (each wait bounded by `timeouts`).
class SmtpMailer {
 public:
  SmtpMailer();                             // the Date header takes the system clock
  explicit SmtpMailer(const Clock& clock);  // the Date header takes `clock`; it must outlive this
  SmtpMailer(const SmtpMailer&) = delete;
  SmtpMailer& operator=(const SmtpMailer&) = delete;

  std::string server;            // host name or address, optionally ":port"
  std::string from;              // sender; also "Reply-To" and, after its "@", the HELO domain
  std::vector<std::string> to;   // recipients: envelope and "To:" header
  std::vector<std::string> cc;   // copy recipients: envelope and "Cc:" header
  std::vector<std::string> bcc;  // blind copies: envelope only, never a header
  std::string subject;
  std::string body;      // the text; see EncodeMessageBody for what the wire carries
  std::string mailer;    // "X-Mailer" header when not empty
  int32_t priority = 0;  // "Priority" header
  SmtpTimeouts timeouts;

  // Splits `text` at commas, semicolons and white space (blanks, tabs, line breaks) and appends
  // the non-empty pieces to `to`, in order. Returns how many were appended (0: the text
  // holds no address).
  int AddRecipients(std::string_view text);

  // The whole exchange. True once the server has accepted the message (a server that then
  // drops the connection or refuses QUIT does not undo that). False with LastError:
  // - "Cannot connect to server." when the server cannot be resolved or reached;
  // - the server's text after the code when it answers 4xx or 5xx at any step, the lines of a
  //   multi-line reply joined by "\n" (nothing more is sent, not even QUIT);
  // - "The server did not answer in time." when a step's time-out passes;
  // - "Invalid sender address." / "Invalid recipient address." when the sender or a recipient
  //   is not a bare mail address (IsMailAddress; nothing is sent);
  // - unchanged (empty for a fresh object) when the server closes the connection or a socket
  //   call fails.
  // Line breaks in the subject and mailer are sent as blanks.
  [[nodiscard]] bool Send();

  const std::string& LastError() const { return lastError_; }
  SmtpStep Step() const { return step_; }

 private:
  void SetStep(SmtpStep step) { step_ = step; }
  [[nodiscard]] bool Fail();  // closes the connection; always false
  [[nodiscard]] bool Transmit(std::string_view data, std::chrono::milliseconds timeout);
  [[nodiscard]] bool Expect(std::chrono::milliseconds timeout);  // reads a reply; false for 4xx/5xx
  [[nodiscard]] bool Command(SmtpStep step, const std::string& line,
                             std::chrono::milliseconds timeout);
  bool CheckAddresses();
  std::string HeaderBlock() const;

  const Clock& clock_;
  std::string lastError_;
  SmtpStep step_ = SmtpStep::Ready;
  SmtpSocket socket_;
};

}  // namespace quillon

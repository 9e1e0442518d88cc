#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// One whole reply of an SMTP server: every line up to the last one ("250-..." lines continue a
// reply, the first line of any other form ends it).
struct SmtpReply {
  std::string raw;   // the reply's bytes as received, line ends included
  std::string text;  // each line from its fifth character on (after the code and its separator),
                     // without line ends, lines joined by "\n"

  // A reply whose first character is "4" or "5". Anything else, also a reply without a code,
  // lets the exchange go on.
  bool IsFailure() const { return !raw.empty() && (raw[0] == '4' || raw[0] == '5'); }
};

// Takes the first whole reply from the front of `pending` (bytes received so far) and removes
// its bytes; nullopt, leaving `pending` untouched, while its last line has not fully arrived.
// Lines end in LF, with or without a CR before it.
[[nodiscard]] std::optional<SmtpReply> TakeSmtpReply(std::string& pending);

// How an operation on the socket ended.
enum class SmtpIo {
  Ok,
  Closed,    // the server closed the connection
  TimedOut,  // nothing (or not enough) happened before the time-out
  Failed,    // a socket error, or a reply longer than kMaxSmtpReply
};

inline constexpr size_t kMaxSmtpReply = 64 * 1024;

// A TCP connection to a mail server that sends whole strings and reads whole replies, each
// within a time-out. Used by one thread; closed when destroyed. SIGPIPE is never raised.
class SmtpSocket {
 public:
  SmtpSocket() = default;
  ~SmtpSocket();
  SmtpSocket(const SmtpSocket&) = delete;
  SmtpSocket& operator=(const SmtpSocket&) = delete;

  // Connects to the first address of `host` (name or numeric, IPv4 or IPv6) that answers
  // within `timeout` altogether. False when the name does not resolve or nothing accepts.
  [[nodiscard]] bool Connect(const std::string& host, uint16_t port,
                             std::chrono::milliseconds timeout);

  // Sends all of `data`; TimedOut when the server takes no byte for `timeout`.
  [[nodiscard]] SmtpIo SendAll(std::string_view data, std::chrono::milliseconds timeout);

  // Reads the next whole reply; TimedOut when it is not complete within `timeout`.
  [[nodiscard]] SmtpIo ReadReply(SmtpReply& reply, std::chrono::milliseconds timeout);

  void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string pending_;  // received bytes not yet taken as a reply
};

}  // namespace quillon

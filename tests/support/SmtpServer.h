#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/ServerProcess.h"
#include "support/TestSupport.h"

namespace quillon::test {

// A real SMTP server (aiosmtpd, run by /usr/bin/python3 from tests/support/smtp_server.py) on
// an ephemeral loopback port, for as long as the object lives. It accepts every message and
// keeps it, so tests can read what arrived. The constructor throws std::runtime_error when the
// server cannot be started (a broken test machine, not a test result).
class SmtpServer {
 public:
  struct Message {
    std::string helo;                 // the HELO/EHLO argument
    std::string mailFrom;             // the envelope sender
    std::vector<std::string> rcptTo;  // the envelope recipients, in order
    std::string data;                 // the message as received, dot-stuffing undone
  };

  SmtpServer();
  SmtpServer(const SmtpServer&) = delete;
  SmtpServer& operator=(const SmtpServer&) = delete;

  uint16_t port() const { return static_cast<uint16_t>(process_->port()); }
  // "127.0.0.1:<port>", the form an "EmailServer" value takes.
  std::string address() const;
  // Every message accepted so far, in arrival order.
  std::vector<Message> Messages() const;
  // Waits until at least `count` messages have arrived.
  bool WaitForMessages(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  TempDir folder_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace quillon::test

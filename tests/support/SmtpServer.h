#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

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
  ~SmtpServer();
  SmtpServer(const SmtpServer&) = delete;
  SmtpServer& operator=(const SmtpServer&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>", the form an "EmailServer" value takes.
  std::string address() const;
  // Every message accepted so far, in arrival order.
  std::vector<Message> Messages() const;
  // Waits until at least `count` messages have arrived.
  bool WaitForMessages(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  void Stop();

  TempDir folder_;
  pid_t pid_ = -1;
  int stdinFd_ = -1;  // closing it ends the server
  uint16_t port_ = 0;
};

}  // namespace quillon::test

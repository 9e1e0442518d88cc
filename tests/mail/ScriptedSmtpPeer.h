#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

// An SMTP peer that answers on cue, for what a real server will not do when asked: refuse a
// step, answer in pieces, fall silent, stop reading, hang up. It listens on an ephemeral
// loopback port and serves one connection on its own thread; every wait is bounded.
class ScriptedSmtpPeer {
 public:
  enum class Then {
    Continue,  // go on with the script
    Silence,   // answer nothing more; keep reading until the client closes
    Stall,     // stop reading too, until Received() is called
    HangUp,    // close the connection
  };
  struct Reply {
    std::vector<std::string> pieces;  // sent one after another, with a short pause between
    Then then = Then::Continue;
  };
  static Reply Say(std::string text) { return {{std::move(text)}}; }
  static Reply InPieces(std::vector<std::string> pieces) { return {std::move(pieces)}; }
  static Reply Silence() { return {{}, Then::Silence}; }
  static Reply HangUp() { return {{}, Then::HangUp}; }

  // script[0] is the greeting; each further reply answers the next thing the client sends: a
  // command line, or, after DATA got a 3xx reply, the message up to its final "." line. When
  // the script runs out the peer closes the connection.
  explicit ScriptedSmtpPeer(std::vector<Reply> script);
  ~ScriptedSmtpPeer();
  ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
  ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

  // "127.0.0.1:<port>"
  std::string address() const;

  // Waits until the connection has ended and returns what the client sent, in order: each
  // command line without its CRLF, and a message as one entry (its data up to and including
  // the CRLF before the final ".", dot-stuffing left as it came).
  std::vector<std::string> Received();

  // How often the client sent something while a reply was still being sent (a client that
  // waits for whole replies never does). Valid after Received().
  int EarlySends() const { return earlySends_; }

 private:
  void Serve();
  bool Act(int fd, const Reply& reply);  // false when the connection is to end
  bool ReadUnit(int fd, bool message, std::string& unit);
  void Record(std::string unit);

  std::vector<Reply> script_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> released_{false};
  std::atomic<int> earlySends_{0};
  std::string pending_;
  std::mutex mutex_;
  std::vector<std::string> received_;
};

}  // namespace quillon::test

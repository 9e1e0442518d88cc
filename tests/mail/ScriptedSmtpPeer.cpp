#include "mail/ScriptedSmtpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace quillon::test {

namespace {

// No wait of the peer outlasts this, so a broken client fails its test instead of hanging it.
constexpr auto kPeerLimit = std::chrono::seconds(30);
constexpr int kSliceMs = 20;

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ScriptedSmtpPeer::ScriptedSmtpPeer(std::vector<Reply> script) : script_(std::move(script)) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket failed");
  // A small receive buffer, so that a stalled peer soon stops taking bytes.
  int small = 4096;
  setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenFd_, 1) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listenFd_);
    throw std::runtime_error("cannot listen on the loopback interface");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

ScriptedSmtpPeer::~ScriptedSmtpPeer() {
  stopping_ = true;
  released_ = true;
  if (thread_.joinable()) thread_.join();
  close(listenFd_);
}

std::string ScriptedSmtpPeer::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> ScriptedSmtpPeer::Received() {
  released_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return received_;
}

void ScriptedSmtpPeer::Record(std::string unit) {
  std::lock_guard lock(mutex_);
  received_.push_back(std::move(unit));
}

void ScriptedSmtpPeer::Serve() {
  auto deadline = std::chrono::steady_clock::now() + kPeerLimit;
  int fd = -1;
  while (fd < 0 && !stopping_ && std::chrono::steady_clock::now() < deadline) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) > 0) fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  if (fd < 0) return;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  Then state = Then::HangUp;
  if (!script_.empty()) state = Act(fd, script_[0]) ? script_[0].then : Then::HangUp;
  size_t next = 1;
  bool message = false;
  while (state != Then::HangUp) {
    if (state == Then::Stall) {
      auto stallEnd = std::chrono::steady_clock::now() + kPeerLimit;
      while (!released_ && std::chrono::steady_clock::now() < stallEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
      state = Then::Silence;
    }
    std::string unit;
    if (!ReadUnit(fd, message, unit)) break;
    bool wasData = !message && unit == "DATA";
    message = false;
    Record(std::move(unit));
    if (state == Then::Silence) continue;
    if (next >= script_.size()) break;
    const Reply& reply = script_[next++];
    state = reply.then;
    if (!Act(fd, reply)) break;
    message = wasData && !reply.pieces.empty() && reply.pieces[0].rfind('3', 0) == 0;
  }
  close(fd);
}

bool ScriptedSmtpPeer::Act(int fd, const Reply& reply) {
  for (size_t i = 0; i < reply.pieces.size(); ++i) {
    if (i > 0) {
      // The pause lets the client receive the pieces apart; a client that does not wait for
      // the whole reply shows itself by sending in the meantime.
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 0) > 0) ++earlySends_;
    }
    if (!SendAll(fd, reply.pieces[i])) return false;
  }
  return true;
}

bool ScriptedSmtpPeer::ReadUnit(int fd, bool message, std::string& unit) {
  const std::string end = message ? "\r\n.\r\n" : "\r\n";
  auto deadline = std::chrono::steady_clock::now() + kPeerLimit;
  size_t scanned = 0;
  char buffer[65536];
  for (;;) {
    size_t found = pending_.find(end, scanned);
    if (found != std::string::npos) {
      // A message keeps the CRLF that ends its last line; a command line loses it.
      unit = pending_.substr(0, message ? found + 2 : found);
      pending_.erase(0, found + end.size());
      return true;
    }
    scanned = pending_.size() >= end.size() ? pending_.size() - end.size() + 1 : 0;
    if (stopping_ || std::chrono::steady_clock::now() > deadline) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) <= 0) continue;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace quillon::test

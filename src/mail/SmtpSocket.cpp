#include "mail/SmtpSocket.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace quillon {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

Deadline After(std::chrono::milliseconds timeout) {
  return std::chrono::steady_clock::now() + timeout;
}

enum class Wait { Ready, TimedOut, Failed };

// Waits until `fd` is ready for `events` or `deadline` passes. The socket stays non-blocking
// so that no call can outlast its deadline.
Wait WaitUntil(int fd, short events, Deadline deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Wait::TimedOut;
    pollfd p{fd, events, 0};
    int rc = poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 60'000)));
    if (rc > 0) return Wait::Ready;
    if (rc < 0 && errno != EINTR) return Wait::Failed;
  }
}

bool IsContinuationLine(std::string_view line) {
  return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == '-';
}

}  // namespace

std::optional<SmtpReply> TakeSmtpReply(std::string& pending) {
  SmtpReply reply;
  size_t start = 0;
  for (;;) {
    size_t lf = pending.find('\n', start);
    if (lf == std::string::npos) return std::nullopt;
    std::string_view line(pending.data() + start, lf - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (start > 0) reply.text += '\n';
    if (line.size() > 4) reply.text += line.substr(4);
    start = lf + 1;
    if (!IsContinuationLine(line)) break;
  }
  reply.raw = pending.substr(0, start);
  pending.erase(0, start);
  return reply;
}

SmtpSocket::~SmtpSocket() { Close(); }

void SmtpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pending_.clear();
}

bool SmtpSocket::Connect(const std::string& host, uint16_t port,
                         std::chrono::milliseconds timeout) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0)
    return false;

  Deadline deadline = After(timeout);
  for (addrinfo* a = addresses; a && fd_ < 0; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    bool connected = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    if (!connected && errno == EINPROGRESS && WaitUntil(fd, POLLOUT, deadline) == Wait::Ready) {
      int error = 0;
      socklen_t length = sizeof error;
      connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (connected)
      fd_ = fd;
    else
      ::close(fd);
  }
  freeaddrinfo(addresses);
  return fd_ >= 0;
}

SmtpIo SmtpSocket::SendAll(std::string_view data, std::chrono::milliseconds timeout) {
  if (fd_ < 0) return SmtpIo::Failed;
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The time-out counts from the last progress: a large body over a slow link is fine,
      // a server that stopped reading is not.
      Wait wait = WaitUntil(fd_, POLLOUT, After(timeout));
      if (wait == Wait::TimedOut) return SmtpIo::TimedOut;
      if (wait == Wait::Failed) return SmtpIo::Failed;
      continue;
    }
    return (errno == EPIPE || errno == ECONNRESET) ? SmtpIo::Closed : SmtpIo::Failed;
  }
  return SmtpIo::Ok;
}

SmtpIo SmtpSocket::ReadReply(SmtpReply& reply, std::chrono::milliseconds timeout) {
  if (fd_ < 0) return SmtpIo::Failed;
  // The whole reply must arrive within the time-out, so a server that trickles continuation
  // lines cannot hold the caller for longer.
  Deadline deadline = After(timeout);
  char buffer[4096];
  for (;;) {
    if (auto taken = TakeSmtpReply(pending_)) {
      reply = std::move(*taken);
      return SmtpIo::Ok;
    }
    if (pending_.size() > kMaxSmtpReply) return SmtpIo::Failed;
    Wait wait = WaitUntil(fd_, POLLIN, deadline);
    if (wait == Wait::TimedOut) return SmtpIo::TimedOut;
    if (wait == Wait::Failed) return SmtpIo::Failed;
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      pending_.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      return SmtpIo::Closed;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return errno == ECONNRESET ? SmtpIo::Closed : SmtpIo::Failed;
    }
  }
}

}  // namespace quillon

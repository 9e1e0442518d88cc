#include "platform/CommandRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/ChildProcess.h"

namespace quillon {
namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return pipe2(fd, O_CLOEXEC) == 0; }
  void Close(int end) {
    if (fd[end] >= 0) close(fd[end]);
    fd[end] = -1;
  }
  ~Pipe() {
    Close(0);
    Close(1);
  }
};

// While a run writes to a child's stdin, a child that exits without reading would raise
// SIGPIPE; the signal is blocked for this thread and a pending one taken back afterwards, so
// the process-wide disposition stays whatever the program chose.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SigpipeBlock() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    timespec zero{0, 0};
    while (sigtimedwait(&set, nullptr, &zero) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t old_;
};

}  // namespace

CommandOutput SystemCommandRunner::Run(const std::vector<std::string>& argv,
                                       std::string_view input) {
  CommandOutput result;
  if (argv.empty()) return result;
  Pipe in, out, err;
  if (!in.Open() || !out.Open() || !err.Open()) return result;

  SigpipeBlock sigpipe;
  std::optional<ChildProcess> child = ChildProcess::Spawn(argv, {.searchPath = true,
                                                                 .ownProcessGroup = false,
                                                                 .stdinFd = in.fd[0],
                                                                 .stdoutFd = out.fd[1],
                                                                 .stderrFd = err.fd[1]});
  if (!child) return result;
  result.started = true;
  in.Close(0);
  out.Close(1);
  err.Close(1);
  fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
  if (input.empty()) in.Close(1);

  auto deadline = std::chrono::steady_clock::now() + limit_;
  size_t written = 0;
  bool timedOut = false;
  char buffer[4096];
  while (out.fd[0] >= 0 || err.fd[0] >= 0 || in.fd[1] >= 0) {
    pollfd fds[3];
    int n = 0;
    if (out.fd[0] >= 0) fds[n++] = {out.fd[0], POLLIN, 0};
    if (err.fd[0] >= 0) fds[n++] = {err.fd[0], POLLIN, 0};
    if (in.fd[1] >= 0) fds[n++] = {in.fd[1], POLLOUT, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    int ready = poll(fds, n, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in.fd[1]) {
        ssize_t w = write(in.fd[1], input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) in.Close(1);
        continue;
      }
      std::string& sink = fds[i].fd == out.fd[0] ? result.out : result.err;
      Pipe& source = fds[i].fd == out.fd[0] ? out : err;
      ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
      if (r > 0) {
        sink.append(buffer, static_cast<size_t>(r));
      } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        source.Close(0);
      }
    }
  }
  if (timedOut) child->Signal(SIGKILL);
  const ExitStatus status = child->Wait();
  if (!timedOut && status.exited) {
    result.exited = true;
    result.code = status.code;
  }
  return result;
}

CommandRunner& SystemCommands() {
  static SystemCommandRunner runner;
  return runner;
}

}  // namespace quillon

#include "platform/CommandRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

extern char** environ;

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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (std::string& a : copy) args.push_back(a.data());
  args.push_back(nullptr);

  // The program starts with default signal handling, whatever this process ignores or blocks
  // (SIGPIPE among them), as it would from a shell.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  SigpipeBlock sigpipe;
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return result;
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
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  if (!timedOut && WIFEXITED(status)) {
    result.exited = true;
    result.code = WEXITSTATUS(status);
  }
  return result;
}

CommandRunner& SystemCommands() {
  static SystemCommandRunner runner;
  return runner;
}

}  // namespace quillon

#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until `pid` ends or `deadline` passes; true when it has ended (its status is then
// taken with waitpid). A pidfd wakes the wait at once; without one the wait polls.
bool WaitUntil(pid_t pid, int pidfd, Clock::time_point deadline, int* wstatus) {
  for (;;) {
    pid_t done = waitpid(pid, wstatus, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) return true;  // nothing left to wait for
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    int slice = static_cast<int>(std::min<int64_t>(left.count(), pidfd >= 0 ? 60000 : 20));
    if (pidfd >= 0) {
      pollfd fd{pidfd, POLLIN, 0};
      poll(&fd, 1, slice);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
  }
}

void WaitForever(pid_t pid, int* wstatus) {
  while (waitpid(pid, wstatus, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

CommandStatus RunShellCommand(const std::string& command, const ShellLimits& limits) {
  CommandStatus status;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // Descriptors Quillon holds (sockets, the task log, locks) stay with Quillon.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  std::string shell = "/bin/sh", flag = "-c", text = command;
  char* argv[] = {shell.data(), flag.data(), text.data(), nullptr};
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return status;
  status.started = true;

  int wstatus = 0;
  if (limits.timeout.count() <= 0) {
    WaitForever(pid, &wstatus);
  } else {
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (!WaitUntil(pid, pidfd, Clock::now() + limits.timeout, &wstatus)) {
      status.timedOut = true;
      kill(-pid, SIGTERM);
      if (!WaitUntil(pid, pidfd, Clock::now() + limits.grace, &wstatus)) {
        kill(-pid, SIGKILL);
        WaitForever(pid, &wstatus);
      }
    }
    if (pidfd >= 0) close(pidfd);
  }
  // What the shell left running in its group goes with it once the time is up.
  if (status.timedOut) kill(-pid, SIGKILL);
  if (WIFEXITED(wstatus)) {
    status.exited = true;
    status.code = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    status.code = WTERMSIG(wstatus);
  }
  return status;
}

}  // namespace quillon

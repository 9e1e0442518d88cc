#include "platform/ChildProcess.h"

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
#include <utility>

extern char** environ;

namespace quillon {

std::optional<ChildProcess> ChildProcess::Spawn(const std::vector<std::string>& argv,
                                                const SpawnOptions& options) {
  if (argv.empty()) {
    errno = EINVAL;
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.stdinFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.stdinFd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (options.stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, options.stdoutFd, 1);
  if (options.stderrFd >= 0) posix_spawn_file_actions_adddup2(&actions, options.stderrFd, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (options.ownProcessGroup) {
    posix_spawnattr_setpgroup(&attributes, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attributes, flags);

  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  args.reserve(copy.size() + 1);
  for (std::string& argument : copy) args.push_back(argument.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = options.searchPath
                     ? posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ)
                     : posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    errno = rc;
    return std::nullopt;
  }
  return ChildProcess(pid, options.ownProcessGroup);
}

ChildProcess::ChildProcess(pid_t pid, bool ownGroup)
    : pid_(pid), ownGroup_(ownGroup), pidfd_(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      ownGroup_(other.ownGroup_),
      pidfd_(std::exchange(other.pidfd_, -1)),
      ended_(other.ended_),
      status_(other.status_) {}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !ended_) {
    Signal(SIGKILL);
    Wait();
  }
  if (pidfd_ >= 0) ::close(pidfd_);
}

void ChildProcess::Reaped(int wstatus) {
  ended_ = true;
  if (WIFEXITED(wstatus)) {
    status_.exited = true;
    status_.code = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    status_.code = WTERMSIG(wstatus);
  }
}

bool ChildProcess::WaitUntil(Clock::time_point deadline) {
  while (!ended_) {
    int wstatus = 0;
    const pid_t done = ::waitpid(pid_, &wstatus, WNOHANG);
    if (done == pid_) {
      Reaped(wstatus);
      break;
    }
    if (done < 0 && errno != EINTR) {  // nothing left to wait for
      ended_ = true;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    // A pidfd wakes the wait at once; without one the wait polls.
    const int slice = static_cast<int>(std::min<int64_t>(left.count(), pidfd_ >= 0 ? 60000 : 20));
    if (pidfd_ >= 0) {
      pollfd fd{pidfd_, POLLIN, 0};
      ::poll(&fd, 1, slice);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
  }
  return true;
}

ExitStatus ChildProcess::Wait() {
  while (!ended_) {
    int wstatus = 0;
    const pid_t done = ::waitpid(pid_, &wstatus, 0);
    if (done == pid_) {
      Reaped(wstatus);
    } else if (done < 0 && errno != EINTR) {
      ended_ = true;
    }
  }
  return status_;
}

void ChildProcess::Signal(int signal) const {
  if (pid_ <= 0) return;
  // A group outlives its leader; a lone program's pid may be reused once it was reaped.
  if (ownGroup_) {
    ::kill(-pid_, signal);
  } else if (!ended_) {
    ::kill(pid_, signal);
  }
}

}  // namespace quillon

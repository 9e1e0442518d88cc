#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// How a program is started.
struct SpawnOptions {
  // argv[0] is looked up in PATH when it holds no "/" (else it is taken as a path).
  bool searchPath = false;
  // The program leads a process group of its own, so that Signal reaches everything it started.
  bool ownProcessGroup = false;
  // Descriptors that become the program's stdin, stdout and stderr; -1 gives stdin /dev/null and
  // leaves stdout and stderr as this process has them.
  int stdinFd = -1;
  int stdoutFd = -1;
  int stderrFd = -1;
};

// How a program ended.
struct ExitStatus {
  bool exited = false;  // ended through exit(); false when a signal ended it
  int code = -1;        // the exit status, or the signal number
};

// One program started by Quillon, and its end. Every program starts the way a shell would start
// it, whatever this process ignores or blocks (SIGPIPE among them): every signal at its default
// disposition, none blocked; it inherits the environment and no descriptor beyond 0, 1 and 2
// (sockets, locks and the task log stay with Quillon). Belongs to one thread.
class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts argv; nullopt when it cannot be started (errno tells why).
  static std::optional<ChildProcess> Spawn(const std::vector<std::string>& argv,
                                           const SpawnOptions& options = {});

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A program still running is killed (its group with it) and waited for: none is left behind.
  ~ChildProcess();

  pid_t Pid() const { return pid_; }

  // Waits until the program ends or `deadline` passes; true when it has ended (Status() tells
  // how). Wakes at once on the end where the kernel offers a descriptor for the process.
  bool WaitUntil(Clock::time_point deadline);
  // Waits however long the program runs.
  ExitStatus Wait();
  // How it ended; only meaningful once a wait said so.
  ExitStatus Status() const { return status_; }
  bool Ended() const { return ended_; }

  // Sends `signal` to the program, or to its whole group when it has one of its own (also after
  // the program itself ended, to reach what it left running).
  void Signal(int signal) const;

 private:
  ChildProcess(pid_t pid, bool ownGroup);
  void Reaped(int wstatus);

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  int pidfd_ = -1;
  bool ended_ = false;
  ExitStatus status_;
};

}  // namespace quillon

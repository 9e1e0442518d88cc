#pragma once

#include <chrono>
#include <string>

namespace quillon {

struct CommandStatus {
  bool started = false;   // false when /bin/sh could not be started
  bool exited = false;    // ended through exit(); false when a signal ended it
  int code = -1;          // the exit status, or the signal number
  bool timedOut = false;  // still running at the time limit, and ended by Quillon
  bool Succeeded() const { return started && exited && code == 0; }
};

// How long a shell command may run: `timeout` 0 waits for its end however long that takes;
// otherwise its process group is sent SIGTERM at the limit and SIGKILL `grace` later.
struct ShellLimits {
  std::chrono::milliseconds timeout{0};
  std::chrono::milliseconds grace = std::chrono::seconds(5);
};

// Runs `command` through `/bin/sh -c` and waits for it. The command gets /dev/null as its
// standard input, inherits stdout and stderr, and no other descriptor of this process. It
// starts in a process group of its own, with every signal at its default disposition and
// none blocked, whatever this process ignores or blocks (a hook's `yes | head` ends quietly).
// At the time limit the whole group is ended, so a pipeline or a child the command left behind
// goes with it; the call returns once the shell has ended.
CommandStatus RunShellCommand(const std::string& command, const ShellLimits& limits = {});

}  // namespace quillon

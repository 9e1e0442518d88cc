#pragma once

#include <string>

namespace quillon {

struct CommandStatus {
  bool started = false;  // false when /bin/sh could not be started
  bool exited = false;   // ended through exit(); false when a signal ended it
  int code = -1;         // the exit status, or the signal number
  bool Succeeded() const { return started && exited && code == 0; }
};

// Runs `command` through `/bin/sh -c` and waits for it. The command gets /dev/null as its
// standard input, inherits stdout and stderr, and no other descriptor of this process.
CommandStatus RunShellCommand(const std::string& command);

}  // namespace quillon

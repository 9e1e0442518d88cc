#include "platform/Process.h"

#include <signal.h>

#include "platform/ChildProcess.h"

namespace quillon {

CommandStatus RunShellCommand(const std::string& command, const ShellLimits& limits) {
  CommandStatus status;
  std::optional<ChildProcess> shell =
      ChildProcess::Spawn({"/bin/sh", "-c", command}, {.ownProcessGroup = true});
  if (!shell) return status;
  status.started = true;

  if (limits.timeout.count() <= 0) {
    shell->Wait();
  } else if (!shell->WaitUntil(ChildProcess::Clock::now() + limits.timeout)) {
    status.timedOut = true;
    shell->Signal(SIGTERM);
    if (!shell->WaitUntil(ChildProcess::Clock::now() + limits.grace)) {
      shell->Signal(SIGKILL);
      shell->Wait();
    }
  }
  // What the shell left running in its group goes with it once the time is up.
  if (status.timedOut) shell->Signal(SIGKILL);
  status.exited = shell->Status().exited;
  status.code = shell->Status().code;
  return status;
}

}  // namespace quillon

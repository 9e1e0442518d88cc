#include "platform/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace quillon {

CommandStatus RunShellCommand(const std::string& command) {
  CommandStatus status;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // Descriptors Quillon holds (sockets, the task log, locks) stay with Quillon.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::string shell = "/bin/sh", flag = "-c", text = command;
  char* argv[] = {shell.data(), flag.data(), text.data(), nullptr};
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return status;
  status.started = true;
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) return status;
  }
  if (WIFEXITED(wstatus)) {
    status.exited = true;
    status.code = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    status.code = WTERMSIG(wstatus);
  }
  return status;
}

}  // namespace quillon

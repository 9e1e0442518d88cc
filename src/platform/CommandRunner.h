#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// What one program run gave back.
struct CommandOutput {
  bool started = false;  // false when the program could not be started (not found, no rights)
  bool exited = false;   // ended through exit(); false after a signal or the time limit
  int code = -1;         // the exit status
  std::string out;       // everything it wrote to stdout
  std::string err;       // everything it wrote to stderr
  bool Succeeded() const { return started && exited && code == 0; }
};

// Runs a program with arguments (no shell in between) and collects its output. The seam through
// which the scheduler and launcher adapters reach systemctl, crontab and xdg-user-dir, so tests
// can answer for them.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // argv[0] is looked up in PATH when it holds no "/". `input` is written to the program's
  // standard input, which is then closed.
  virtual CommandOutput Run(const std::vector<std::string>& argv, std::string_view input = {}) = 0;
};

// The real runner: posix_spawnp with the process environment, stdin/stdout/stderr on pipes, no
// other descriptor of this process, and default signal handling. A program that is still running
// after `limit` is killed and reported as not exited. Safe from any thread; SIGPIPE from a program
// that stops reading its input early is swallowed.
class SystemCommandRunner : public CommandRunner {
 public:
  explicit SystemCommandRunner(std::chrono::milliseconds limit = std::chrono::seconds(30))
      : limit_(limit) {}
  CommandOutput Run(const std::vector<std::string>& argv, std::string_view input = {}) override;

 private:
  std::chrono::milliseconds limit_;
};

// One process-wide SystemCommandRunner with the default limit.
CommandRunner& SystemCommands();

}  // namespace quillon

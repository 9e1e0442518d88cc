#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillon::test {

// A helper server process that prints "PORT <n>" on stdout once it listens and ends when its
// stdin closes (or on SIGTERM). Throws std::runtime_error, naming the script, when it does not
// come up in 20 s.
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> argv);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  void Stop();  // idempotent
  // Freezes the process (SIGSTOP): its sockets stay open but nothing answers, as a server that
  // hangs. Resume (SIGCONT) lets it go on; Stop resumes it first.
  void Pause();
  void Resume();

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int port_ = 0;
};

}  // namespace quillon::test

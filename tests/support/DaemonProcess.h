#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quillon::test {

// A server program that stays in the foreground and cannot tell which port it took (vsftpd,
// sshd): the fixture chooses a free loopback port, writes it into the program's configuration
// and starts it with this class. The program runs in a process group of its own, with stdin
// from /dev/null and stdout and stderr appended to `logFile`; `environment` entries
// "NAME=value" are added to the test's environment. It counts as up once `port` accepts a TCP
// connection on 127.0.0.1 while the program still runs.
//
// Start() gives false when the program ends first or 20 s pass (the port may have been taken
// in the meantime: choose another and try again); the log tells why. Stop() ends the whole
// process group (also the program's per-connection children): SIGTERM, then SIGKILL after
// 5 s. The destructor stops it.
class DaemonProcess {
 public:
  DaemonProcess(std::vector<std::string> argv, std::filesystem::path logFile,
                std::vector<std::string> environment = {});
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  bool Start(int port);
  void Stop();  // idempotent
  std::string Log() const;

 private:
  std::vector<std::string> argv_;
  std::filesystem::path logFile_;
  std::vector<std::string> environment_;
  pid_t pid_ = -1;
};

// Starts a daemon whose configuration `configure(port)` writes for a fresh free port, trying
// three ports before it gives up with std::runtime_error naming `what` and quoting the log.
// Returns the port taken.
template <typename Configure>
int StartOnFreePort(DaemonProcess& daemon, const std::string& what, Configure&& configure);

int FreeLoopbackPort();
[[noreturn]] void ThrowDaemonFailure(const std::string& what, const DaemonProcess& daemon);

template <typename Configure>
int StartOnFreePort(DaemonProcess& daemon, const std::string& what, Configure&& configure) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int port = FreeLoopbackPort();
    configure(port);
    if (daemon.Start(port)) return port;
  }
  ThrowDaemonFailure(what, daemon);
}

}  // namespace quillon::test

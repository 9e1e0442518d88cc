#include "support/DaemonProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/TestSupport.h"

extern char** environ;

namespace quillon::test {

namespace {

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

int FreeLoopbackPort() { return ClosedLoopbackPort(); }

void ThrowDaemonFailure(const std::string& what, const DaemonProcess& daemon) {
  throw std::runtime_error(what + " did not start: " + daemon.Log());
}

DaemonProcess::DaemonProcess(std::vector<std::string> argv, std::filesystem::path logFile,
                             std::vector<std::string> environment)
    : argv_(std::move(argv)), logFile_(std::move(logFile)), environment_(std::move(environment)) {}

DaemonProcess::~DaemonProcess() { Stop(); }

bool DaemonProcess::Start(int port) {
  Stop();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);

  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  environment.insert(environment.end(), environment_.begin(), environment_.end());
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (auto& a : argv_) args.push_back(a.data());
  args.push_back(nullptr);

  const int rc = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    pid_ = -1;
    WriteFile(logFile_, ReadFile(logFile_) + "cannot start " + argv_[0] + ": " + strerror(rc));
    return false;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;  // it ended: the port was taken, or the configuration was refused
      return false;
    }
    if (Accepts(port)) {
      // Another program may hold the port while ours failed to bind and is on its way out.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

void DaemonProcess::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Per-connection children that outlive the listener go with the group.
  kill(-pid_, SIGKILL);
  pid_ = -1;
}

std::string DaemonProcess::Log() const {
  std::error_code error;
  if (!std::filesystem::exists(logFile_, error)) return "(no output)";
  return ReadFile(logFile_);
}

}  // namespace quillon::test

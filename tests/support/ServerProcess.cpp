#include "support/ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace quillon::test {

namespace {

// Reads the child's stdout until the "PORT <n>" line; 0 when it ends or 20 s pass first.
int ReadPort(int fd) {
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return 0;
    text.append(buffer, static_cast<size_t>(n));
    if (text.find('\n') != std::string::npos) {
      if (text.rfind("PORT ", 0) != 0) return 0;
      return std::atoi(text.c_str() + 5);
    }
  }
  return 0;
}

}  // namespace

ServerProcess::ServerProcess(std::vector<std::string> argv) {
  int inPipe[2], outPipe[2];
  if (pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    close(inPipe[0]);
    close(inPipe[1]);
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(inPipe[0]);
  close(outPipe[1]);
  stdinFd_ = inPipe[1];
  if (rc != 0) {
    pid_ = -1;
    close(outPipe[0]);
    Stop();
    throw std::runtime_error("cannot start " + argv[0] + " " + argv[1]);
  }
  port_ = ReadPort(outPipe[0]);
  close(outPipe[0]);
  if (port_ <= 0) {
    Stop();
    throw std::runtime_error("the server " + argv[1] +
                             " did not start (are its python3 modules installed?)");
  }
}

ServerProcess::~ServerProcess() { Stop(); }

void ServerProcess::Stop() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);  // the script ends when its stdin closes
    stdinFd_ = -1;
  }
  if (pid_ > 0) {
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
}

}  // namespace quillon::test

namespace quillon::test {

void ServerProcess::Pause() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void ServerProcess::Resume() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

}  // namespace quillon::test

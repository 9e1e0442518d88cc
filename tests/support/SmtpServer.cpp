#include "support/SmtpServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quillon::test {

namespace {

// Reads the child's first line ("PORT <n>") within `timeout`; empty when it does not come.
std::string ReadFirstLine(int fd, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string line;
  char c;
  while (line.empty() || line.back() != '\n') {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    if (read(fd, &c, 1) != 1) return {};
    line += c;
  }
  return line;
}

}  // namespace

SmtpServer::SmtpServer() {
  std::string script = (SourceDir() / "tests/support/smtp_server.py").string();
  int inPipe[2], outPipe[2];
  if (pipe2(inPipe, O_CLOEXEC)) throw std::runtime_error("pipe failed");
  if (pipe2(outPipe, O_CLOEXEC)) {
    close(inPipe[0]);
    close(inPipe[1]);
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  std::vector<std::string> argv = {"/usr/bin/python3", script, folder_.path().string()};
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
    close(stdinFd_);
    throw std::runtime_error("cannot start /usr/bin/python3 " + script);
  }

  std::string line = ReadFirstLine(outPipe[0], std::chrono::seconds(30));
  close(outPipe[0]);
  unsigned port = 0;
  if (std::sscanf(line.c_str(), "PORT %u", &port) != 1 || port == 0 || port > 65535) {
    Stop();
    throw std::runtime_error("the SMTP test server did not start: " + script);
  }
  port_ = static_cast<uint16_t>(port);
}

SmtpServer::~SmtpServer() { Stop(); }

void SmtpServer::Stop() {
  if (stdinFd_ >= 0) close(stdinFd_);  // the server ends when its input closes
  stdinFd_ = -1;
  if (pid_ <= 0) return;
  int status = 0;
  bool ended =
      WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(10));
  if (!ended) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

std::string SmtpServer::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<SmtpServer::Message> SmtpServer::Messages() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
    if (entry.path().extension() == ".eml") files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  std::vector<Message> messages;
  for (const auto& file : files) {
    Message message;
    message.data = ReadFile(file);
    std::istringstream envelope(
        ReadFile(std::filesystem::path(file).replace_extension(".envelope")));
    for (std::string line; std::getline(envelope, line);) {
      if (line.rfind("helo=", 0) == 0) message.helo = line.substr(5);
      if (line.rfind("from=", 0) == 0) message.mailFrom = line.substr(5);
      if (line.rfind("to=", 0) == 0) message.rcptTo.push_back(line.substr(3));
    }
    messages.push_back(std::move(message));
  }
  return messages;
}

bool SmtpServer::WaitForMessages(size_t count, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return Messages().size() >= count; }, timeout);
}

}  // namespace quillon::test

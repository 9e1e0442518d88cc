#include "support/FtpServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "support/TestSupport.h"

extern char** environ;

namespace quillon::test {

namespace {

std::filesystem::path Script(const char* overrideVariable, const std::filesystem::path& relative) {
  if (const char* own = std::getenv(overrideVariable); own && *own) return own;
  return SourceDir() / relative;
}

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
                             " did not start (is python3-pyftpdlib installed?)");
  }
}

ServerProcess::~ServerProcess() { Stop(); }

void ServerProcess::Stop() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);  // the script ends when its stdin closes
    stdinFd_ = -1;
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
}

TranscriptFile::TranscriptFile() {
  char pattern[] = "/tmp/quillon-ftp-transcript-XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) throw std::runtime_error("cannot make a transcript file");
  close(fd);
  path_ = pattern;
}

TranscriptFile::~TranscriptFile() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

std::vector<std::string> TranscriptFile::Lines() const {
  std::vector<std::string> lines;
  std::ifstream in(path_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> TranscriptFile::Commands() const {
  std::vector<std::string> commands;
  for (const auto& line : Lines()) {
    auto blank = line.find(' ');
    commands.push_back(blank == std::string::npos ? std::string() : line.substr(blank + 1));
  }
  return commands;
}

FtpServer::FtpServer(Options options) : options_(std::move(options)) {
  std::vector<std::string> argv = {
      "/usr/bin/python3",
      Script("QUILLON_FTP_SERVER_SCRIPT", "scripts/ftp_server.py").string(),
      "--root", options_.root.string(),
      "--user", options_.user,
      "--password", options_.password,
      "--perm", options_.permissions,
      "--transcript", transcript_.path().string()};
  if (!options_.mlsd) argv.push_back("--no-mlsd");
  if (!options_.activeMode) argv.push_back("--no-active");
  if (options_.anonymous) argv.push_back("--anonymous");
  process_ = std::make_unique<ServerProcess>(std::move(argv));
  port_ = process_->port();
}

FtpServer::~FtpServer() = default;

ConnectionProfile FtpServer::Profile(bool passive) const {
  ConnectionProfile profile;
  profile.name = "Test server";
  profile.address = "127.0.0.1";
  profile.port = port_;
  profile.userName = options_.user;
  profile.password = options_.password;
  profile.passiveMode = passive;
  return profile;
}

std::vector<std::string> FtpServer::Transcript() const { return transcript_.Lines(); }

std::vector<std::string> FtpServer::Commands() const { return transcript_.Commands(); }

ScriptedFtpServer::ScriptedFtpServer(const std::string& mode, const std::string& listingFile) {
  std::vector<std::string> argv = {
      "/usr/bin/python3",
      Script("QUILLON_SCRIPTED_FTP_SCRIPT", "tests/support/scripted_ftp_server.py").string(),
      "--mode", mode, "--transcript", transcript_.path().string()};
  if (!listingFile.empty()) {
    argv.push_back("--listing-file");
    argv.push_back(listingFile);
  }
  process_ = std::make_unique<ServerProcess>(std::move(argv));
}

ConnectionProfile ScriptedFtpServer::Profile(bool passive) const {
  ConnectionProfile profile;
  profile.name = "Scripted server";
  profile.address = "127.0.0.1";
  profile.port = port();
  profile.userName = "quillon";
  profile.password = "s3cret-Pw";
  profile.passiveMode = passive;
  return profile;
}

}  // namespace quillon::test

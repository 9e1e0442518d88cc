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

}  // namespace

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
  std::filesystem::path script =
      options_.faults.empty()
          ? Script("QUILLON_FTP_SERVER_SCRIPT", "scripts/ftp_server.py")
          : Script("QUILLON_FAULTY_FTP_SCRIPT", "tests/support/faulty_ftp_server.py");
  std::vector<std::string> argv = {
      "/usr/bin/python3", script.string(),      "--root",       options_.root.string(),
      "--user",           options_.user,        "--password",   options_.password,
      "--perm",           options_.permissions, "--transcript", transcript_.path().string()};
  if (!options_.mlsd) argv.push_back("--no-mlsd");
  if (!options_.activeMode) argv.push_back("--no-active");
  if (options_.anonymous) argv.push_back("--anonymous");
  if (!options_.tlsCertificate.empty()) {
    argv.push_back("--tls-cert");
    argv.push_back(options_.tlsCertificate);
    if (options_.implicitTls) argv.push_back("--implicit-tls");
  }
  if (options_.rate > 0) {
    argv.push_back("--rate");
    argv.push_back(std::to_string(options_.rate));
  }
  argv.insert(argv.end(), options_.faults.begin(), options_.faults.end());
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
  if (!options_.tlsCertificate.empty())
    profile.protocol =
        options_.implicitTls ? ServerProtocol::FtpImplicitTls : ServerProtocol::FtpExplicitTls;
  return profile;
}

std::vector<std::string> FtpServer::Transcript() const { return transcript_.Lines(); }

std::vector<std::string> FtpServer::Commands() const { return transcript_.Commands(); }

size_t FtpServer::CountCommands(const std::string& prefix) const {
  size_t n = 0;
  for (const auto& command : Commands()) n += command.rfind(prefix, 0) == 0;
  return n;
}

bool FtpServer::WaitForTranscript(const std::string& text,
                                  std::chrono::milliseconds timeout) const {
  return WaitFor(
      [&] {
        for (const auto& line : Transcript())
          if (line.find(text) != std::string::npos) return true;
        return false;
      },
      timeout);
}

ScriptedFtpServer::ScriptedFtpServer(const std::string& mode, const std::string& listingFile) {
  std::vector<std::string> argv = {
      "/usr/bin/python3",
      Script("QUILLON_SCRIPTED_FTP_SCRIPT", "tests/support/scripted_ftp_server.py").string(),
      "--mode",
      mode,
      "--transcript",
      transcript_.path().string()};
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

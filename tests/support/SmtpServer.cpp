#include "support/SmtpServer.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace quillon::test {

SmtpServer::SmtpServer()
    : process_(std::make_unique<ServerProcess>(std::vector<std::string>{
          "/usr/bin/python3", (SourceDir() / "tests/support/smtp_server.py").string(),
          folder_.path().string()})) {}

std::string SmtpServer::address() const { return "127.0.0.1:" + std::to_string(port()); }

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

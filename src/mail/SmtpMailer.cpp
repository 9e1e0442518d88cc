#include "mail/SmtpMailer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>

#include "mail/MailAddress.h"

namespace quillon {

namespace {

constexpr const char* kCannotConnect = "Cannot connect to server.";
constexpr const char* kNoAnswer = "The server did not answer in time.";
constexpr const char* kInvalidSender = "Invalid sender address.";
constexpr const char* kInvalidRecipient = "Invalid recipient address.";

const Clock& TheSystemClock() {
  static const SystemClock clock;
  return clock;
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Header text on one line: each line break (CRLF, LF or CR) and NUL becomes one blank.
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
  }
  return out;
}

}  // namespace

std::optional<MailServer> ParseMailServer(std::string_view server) {
  server = Trim(server);
  std::string_view host = server;
  std::optional<std::string_view> port;
  if (!server.empty() && server.front() == '[') {
    size_t close = server.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = server.substr(1, close - 1);
    std::string_view rest = server.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
    }
  } else if (std::count(server.begin(), server.end(), ':') == 1) {
    size_t colon = server.find(':');
    host = server.substr(0, colon);
    port = server.substr(colon + 1);
  }
  if (host.empty()) return std::nullopt;

  MailServer result;
  result.host = std::string(host);
  if (port) {
    if (port->empty() || port->size() > 5) return std::nullopt;
    int value = 0;
    for (char c : *port) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    result.port = static_cast<uint16_t>(value);
  }
  return result;
}

std::string EncodeMessageBody(std::string_view body) {
  std::string out;
  out.reserve(body.size() + body.size() / 16 + 2);
  bool lineStart = true;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '\r' || c == '\n') {
      // Servers refuse bare LF and bare CR; every form of line end goes out as CRLF.
      if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      out += "\r\n";
      lineStart = true;
      continue;
    }
    // A line "." would end the message early and the rest would be read as commands.
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = false;
  }
  return out;
}

SmtpMailer::SmtpMailer() : SmtpMailer(TheSystemClock()) {}

SmtpMailer::SmtpMailer(const Clock& clock) : clock_(clock) {}

int SmtpMailer::AddRecipients(std::string_view text) {
  std::vector<std::string> pieces = SplitRecipients(text);
  to.insert(to.end(), pieces.begin(), pieces.end());
  return static_cast<int>(pieces.size());
}

bool SmtpMailer::Send() {
  SetStep(SmtpStep::Ready);
  if (!CheckAddresses()) return false;

  SetStep(SmtpStep::Connect);
  auto address = ParseMailServer(server);
  if (!address || !socket_.Connect(address->host, address->port, timeouts.connect)) {
    lastError_ = kCannotConnect;
    return Fail();
  }

  SetStep(SmtpStep::Greeting);
  if (!Expect(timeouts.greeting)) return Fail();

  size_t at = from.find('@');
  std::string domain = at == std::string::npos ? from : from.substr(at + 1);
  if (!Command(SmtpStep::Helo, "HELO " + domain + "\r\n", timeouts.command)) return Fail();
  if (!Command(SmtpStep::MailFrom, "MAIL FROM:<" + from + ">\r\n", timeouts.command)) return Fail();
  for (const auto* list : {&to, &cc, &bcc}) {
    for (const auto& recipient : *list) {
      if (!Command(SmtpStep::RcptTo, "RCPT TO: " + recipient + "\r\n", timeouts.command))
        return Fail();
    }
  }
  if (!Command(SmtpStep::Data, "DATA\r\n", timeouts.dataStart)) return Fail();

  SetStep(SmtpStep::Message);
  char mime[64];
  std::snprintf(mime, sizeof mime, "Mime-Version: 1.0\r\nPriority: %d\r\n", priority);
  if (!Transmit(HeaderBlock(), timeouts.dataBlock) || !Transmit(mime, timeouts.dataBlock) ||
      !Transmit("\r\n" + EncodeMessageBody(body) + "\r\n", timeouts.dataBlock))
    return Fail();
  if (!Command(SmtpStep::EndOfData, "\r\n.\r\n", timeouts.dataEnd)) return Fail();

  // The server has taken responsibility for the message; how it answers QUIT cannot undo
  // that, so the reply is read but not judged.
  SetStep(SmtpStep::Quit);
  if (socket_.SendAll("QUIT\r\n", timeouts.command) == SmtpIo::Ok) {
    SmtpReply ignored;
    static_cast<void>(socket_.ReadReply(ignored, timeouts.command));
  }
  socket_.Close();
  SetStep(SmtpStep::Done);
  return true;
}

bool SmtpMailer::Fail() {
  socket_.Close();
  return false;
}

bool SmtpMailer::Transmit(std::string_view data, std::chrono::milliseconds timeout) {
  SmtpIo io = socket_.SendAll(data, timeout);
  if (io == SmtpIo::TimedOut) lastError_ = kNoAnswer;
  return io == SmtpIo::Ok;
}

bool SmtpMailer::Expect(std::chrono::milliseconds timeout) {
  SmtpReply reply;
  SmtpIo io = socket_.ReadReply(reply, timeout);
  if (io == SmtpIo::TimedOut) lastError_ = kNoAnswer;
  if (io != SmtpIo::Ok) return false;
  if (reply.IsFailure()) {
    lastError_ = reply.text;
    return false;
  }
  return true;
}

bool SmtpMailer::Command(SmtpStep step, const std::string& line,
                         std::chrono::milliseconds timeout) {
  SetStep(step);
  return Transmit(line, timeout) && Expect(timeout);
}

// An address is written into the commands and headers as it stands: a blank, ">" or line break
// in it would add words, parameters or whole commands of its own.
bool SmtpMailer::CheckAddresses() {
  if (!IsMailAddress(from)) {
    lastError_ = kInvalidSender;
    return false;
  }
  for (const auto* list : {&to, &cc, &bcc}) {
    for (const auto& recipient : *list) {
      if (!IsMailAddress(recipient)) {
        lastError_ = kInvalidRecipient;
        return false;
      }
    }
  }
  return true;
}

std::string SmtpMailer::HeaderBlock() const {
  std::string block = FormatLocalTime(clock_.Now(), "Date: %a %b %d %H:%M:%S %z %Y\r\n");
  block += "From: " + from + " (" + from + ")\r\n";
  block += "To: ";
  for (const auto& recipient : to) block += recipient + "; ";
  block += "\r\n";
  block += "Subject: " + OneLine(subject) + "\r\n";
  if (!cc.empty()) {
    block += "Cc: ";
    for (const auto& recipient : cc) block += recipient + "; ";
    block += "\r\n";
  }
  // Blind copies go to the envelope only: a "Bcc:" header would show them to everyone.
  block += "Reply-To: " + from + "\r\n";
  if (!mailer.empty()) block += "X-Mailer: " + OneLine(mailer) + "\r\n";
  return block;
}

}  // namespace quillon

#include "remote/FtpError.h"

#include <cctype>

#include "common/Text.h"

namespace quillon {

std::string FtpError(std::string_view message) {
  constexpr size_t kMaxMessage = 1024;
  std::string text(message.substr(0, kMaxMessage));
  // A server's reply may span lines or carry control bytes; the text is shown on one line.
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return "Unknown error.";
  return text + ".";
}

ConnectRefusal ClassifyConnectFailure(std::string_view errorText) {
  if (errorText.starts_with(kServerRefusedText)) return ConnectRefusal::ServerBusy;
  if (errorText.starts_with(kNotListeningText)) return ConnectRefusal::NotListening;
  return ConnectRefusal::None;
}

bool NamesConnectionLimit(std::string_view replyLine) {
  const std::string lower = LowerCased(replyLine);
  return lower.find("too many") != std::string::npos ||
         lower.find("maximum number") != std::string::npos;
}

namespace {

bool InWord(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '-';
}

}  // namespace

std::string MaskPassword(std::string text, std::string_view password) {
  if (password.empty()) return text;
  static constexpr std::string_view kMask = "****";
  for (size_t at = text.find(password); at != std::string::npos;) {
    const size_t end = at + password.size();
    const bool alone =
        (at == 0 || !InWord(text[at - 1])) && (end == text.size() || !InWord(text[end]));
    if (alone) {
      text.replace(at, password.size(), kMask);
      at = text.find(password, at + kMask.size());
    } else {
      at = text.find(password, at + 1);
    }
  }
  return text;
}

std::string MaskedFtpError(std::string message, std::initializer_list<std::string_view> secrets) {
  for (std::string_view secret : secrets) message = MaskPassword(std::move(message), secret);
  return FtpError(message);
}

}  // namespace quillon

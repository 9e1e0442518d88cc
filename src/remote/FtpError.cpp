#include "remote/FtpError.h"

#include <algorithm>
#include <cctype>

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
  std::string lower(replyLine);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("too many") != std::string::npos ||
         lower.find("maximum number") != std::string::npos;
}

}  // namespace quillon

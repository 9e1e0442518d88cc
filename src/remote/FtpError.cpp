#include "remote/FtpError.h"

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

}  // namespace quillon

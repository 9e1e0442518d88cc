#include "mail/MailAddress.h"

#include <cctype>
#include <cstring>

namespace quillon {
namespace {

constexpr size_t kMaxLocalPart = 64;
constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxAddress = 254;

bool IsUtf8Byte(unsigned char c) { return c >= 0x80; }

bool IsAtomChar(unsigned char c) {
  return std::isalnum(c) || IsUtf8Byte(c) || (c != 0 && std::strchr("!#$%&'*+-/=?^_`{|}~", c));
}

bool IsLabelChar(unsigned char c) { return std::isalnum(c) || c == '-' || IsUtf8Byte(c); }

// Pieces between single dots, none empty, each passing `valid`.
template <class Valid>
bool DotSeparated(std::string_view text, Valid&& valid) {
  if (text.empty()) return false;
  size_t start = 0;
  for (;;) {
    size_t dot = text.find('.', start);
    std::string_view piece = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (piece.empty() || !valid(piece)) return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

bool IsAddressLiteral(std::string_view domain) {
  if (domain.size() < 3 || domain.front() != '[' || domain.back() != ']') return false;
  std::string_view inside = domain.substr(1, domain.size() - 2);
  if (inside.starts_with("IPv6:")) {
    inside.remove_prefix(5);
    if (inside.empty()) return false;
    for (char c : inside)
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    return true;
  }
  int parts = 0;
  bool numbers = DotSeparated(inside, [&parts](std::string_view part) {
    ++parts;
    if (part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      value = value * 10 + (c - '0');
    }
    return value <= 255;
  });
  return numbers && parts == 4;
}

bool IsDomain(std::string_view domain) {
  if (IsAddressLiteral(domain)) return true;
  return DotSeparated(domain, [](std::string_view label) {
    if (label.size() > kMaxLabel || label.front() == '-' || label.back() == '-') return false;
    for (char c : label)
      if (!IsLabelChar(static_cast<unsigned char>(c))) return false;
    return true;
  });
}

bool IsSeparator(char c) {
  return c == ',' || c == ';' || std::isspace(static_cast<unsigned char>(c));
}

}  // namespace

bool IsMailAddress(std::string_view address) {
  if (address.size() > kMaxAddress) return false;
  size_t at = address.find('@');
  if (at == std::string_view::npos) return false;
  std::string_view local = address.substr(0, at);
  std::string_view domain = address.substr(at + 1);
  if (local.size() > kMaxLocalPart) return false;
  bool localOk = DotSeparated(local, [](std::string_view atom) {
    for (char c : atom)
      if (!IsAtomChar(static_cast<unsigned char>(c))) return false;
    return true;
  });
  return localOk && IsDomain(domain);
}

std::vector<std::string> SplitRecipients(std::string_view text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end > start) pieces.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

}  // namespace quillon

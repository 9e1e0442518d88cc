#include "remote/Fingerprint.h"

#include "common/Text.h"
#include "crypto/Sha.h"

namespace quillon {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kPrefix = "SHA256:";
constexpr size_t kDigestSize = 32;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

std::string Unpadded(std::string text) {
  while (!text.empty() && text.back() == '=') text.pop_back();
  return text;
}

}  // namespace

std::string Base64Standard(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j)
      group = (group << 8) | (j < n ? static_cast<uint8_t>(bytes[i + j]) : 0);
    for (size_t j = 0; j < 4; ++j) text += j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 63] : '=';
  }
  return text;
}

std::optional<std::string> DecodeBase64Standard(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  std::string bytes;
  uint32_t group = 0;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    const size_t value = kAlphabet.find(text[i]);
    if (value == std::string_view::npos) return std::nullopt;
    group = (group << 6) | static_cast<uint32_t>(value);
    if (i % 4 == 3) {
      bytes += static_cast<char>(group >> 16);
      bytes += static_cast<char>(group >> 8);
      bytes += static_cast<char>(group);
      group = 0;
    }
  }
  if (padding == 2) {
    if (group & 0xF) return std::nullopt;  // bits that no byte holds
    bytes += static_cast<char>(group >> 4);
  } else if (padding == 1) {
    if (group & 0x3) return std::nullopt;
    bytes += static_cast<char>(group >> 10);
    bytes += static_cast<char>(group >> 2);
  }
  return bytes;
}

std::string Sha256Fingerprint(std::string_view bytes) {
  const Sha256Digest digest = Sha256(bytes);
  return std::string(kPrefix) +
         Unpadded(Base64Standard({reinterpret_cast<const char*>(digest.data()), digest.size()}));
}

std::optional<std::string> ParseFingerprint(std::string_view text) {
  text = Trimmed(text);
  std::string digest;
  if (StartsWithIgnoringCase(text, kPrefix)) {
    std::string encoded(text.substr(kPrefix.size()));
    encoded = Unpadded(encoded);
    while (encoded.size() % 4 != 0) encoded += '=';
    const auto decoded = DecodeBase64Standard(encoded);
    if (!decoded) return std::nullopt;
    digest = *decoded;
  } else {
    int high = -1;
    for (const char c : text) {
      if (c == ':') continue;
      const int value = HexValue(c);
      if (value < 0) return std::nullopt;
      if (high < 0) {
        high = value;
      } else {
        digest += static_cast<char>(high << 4 | value);
        high = -1;
      }
    }
    if (high >= 0) return std::nullopt;
  }
  if (digest.size() != kDigestSize) return std::nullopt;
  return std::string(kPrefix) + Unpadded(Base64Standard(digest));
}

}  // namespace quillon

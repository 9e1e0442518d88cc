#include "crypto/Base64.h"

#include <array>

namespace quillon {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 6-bit value of each character, -1 for characters outside the alphabet.
constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}
constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t length) {
  std::string out;
  out.reserve(4 * ((length + 2) / 3) + 1);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = length - i;
  if (rest == 1) {
    const uint32_t v = uint32_t{data[i]} << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "===";
  } else if (rest == 2) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += "==";
  } else {
    out += '=';
  }
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  return Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<uint8_t> Base64Decode(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3 + 2);
  uint32_t group = 0;
  int count = 0;
  for (const char ch : text) {
    if (ch == '=') break;
    const int8_t value = kDecode[static_cast<uint8_t>(ch)];
    if (value < 0) continue;
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      out.push_back(static_cast<uint8_t>(group >> 16));
      out.push_back(static_cast<uint8_t>(group >> 8));
      out.push_back(static_cast<uint8_t>(group));
      group = 0;
      count = 0;
    }
  }
  if (count == 2) {
    out.push_back(static_cast<uint8_t>(group >> 4));
  } else if (count == 3) {
    out.push_back(static_cast<uint8_t>(group >> 10));
    out.push_back(static_cast<uint8_t>(group >> 2));
  }
  return out;
}

}  // namespace quillon

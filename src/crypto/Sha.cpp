#include "crypto/Sha.h"

#include <string>

namespace quillon {

namespace {

constexpr size_t kBlockSize = 64;

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
uint32_t RotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The message with its padding: a 1 bit, zeros, and the length in bits as a 64-bit big-endian
// number, to a multiple of the block size. Both hashes pad alike.
std::string Padded(std::string_view bytes) {
  std::string message(bytes);
  const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
  message.push_back(static_cast<char>(0x80));
  while (message.size() % kBlockSize != kBlockSize - 8) message.push_back('\0');
  for (int shift = 56; shift >= 0; shift -= 8) message.push_back(static_cast<char>(bits >> shift));
  return message;
}

template <size_t Words>
std::array<uint8_t, Words * 4> BigEndianBytes(const std::array<uint32_t, Words>& state) {
  std::array<uint8_t, Words * 4> out{};
  for (size_t i = 0; i < Words; ++i) {
    out[4 * i] = static_cast<uint8_t>(state[i] >> 24);
    out[4 * i + 1] = static_cast<uint8_t>(state[i] >> 16);
    out[4 * i + 2] = static_cast<uint8_t>(state[i] >> 8);
    out[4 * i + 3] = static_cast<uint8_t>(state[i]);
  }
  return out;
}

constexpr std::array<uint32_t, 64> kSha256Rounds = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

}  // namespace

Sha1Digest Sha1(std::string_view bytes) {
  std::array<uint32_t, 5> h = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  const std::string message = Padded(bytes);
  const auto* data = reinterpret_cast<const uint8_t*>(message.data());
  for (size_t block = 0; block < message.size(); block += kBlockSize) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = BigEndian32(data + block + 4 * t);
    for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
      uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const uint32_t next = RotateLeft(a, 5) + f + e + k + w[t];
      e = d;
      d = c;
      c = RotateLeft(b, 30);
      b = a;
      a = next;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  }
  return BigEndianBytes(h);
}

Sha256Digest Sha256(std::string_view bytes) {
  std::array<uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  const std::string message = Padded(bytes);
  const auto* data = reinterpret_cast<const uint8_t*>(message.data());
  for (size_t block = 0; block < message.size(); block += kBlockSize) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) w[t] = BigEndian32(data + block + 4 * t);
    for (int t = 16; t < 64; ++t) {
      const uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int t = 0; t < 64; ++t) {
      const uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
      const uint32_t choice = (e & f) ^ (~e & g);
      const uint32_t t1 = hh + s1 + choice + kSha256Rounds[t] + w[t];
      const uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
      const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
      const uint32_t t2 = s0 + majority;
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
    h[5] += f;
    h[6] += g;
    h[7] += hh;
  }
  return BigEndianBytes(h);
}

Sha1Digest HmacSha1(std::string_view key, std::string_view message) {
  std::string block(kBlockSize, '\0');
  if (key.size() > kBlockSize) {
    const Sha1Digest hashed = Sha1(key);
    block.replace(0, hashed.size(), reinterpret_cast<const char*>(hashed.data()), hashed.size());
  } else {
    block.replace(0, key.size(), key);
  }
  std::string inner(kBlockSize, '\0'), outer(kBlockSize, '\0');
  for (size_t i = 0; i < kBlockSize; ++i) {
    inner[i] = static_cast<char>(block[i] ^ 0x36);
    outer[i] = static_cast<char>(block[i] ^ 0x5c);
  }
  inner.append(message);
  const Sha1Digest innerDigest = Sha1(inner);
  outer.append(reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size());
  return Sha1(outer);
}

}  // namespace quillon

#include <gtest/gtest.h>

#include <string>

#include "crypto/Sha.h"

namespace quillon {
namespace {

template <size_t N>
std::string Hex(const std::array<uint8_t, N>& digest) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

struct DigestCase {
  std::string input;
  const char* sha1;
  const char* sha256;
};

// FIPS 180-4 examples, plus lengths around the padding boundary (55/56/64 bytes).
TEST(ShaTest, KnownAnswers) {
  const DigestCase cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a",
       "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d",
       "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const DigestCase& c : cases) {
    SCOPED_TRACE(c.input.size());
    EXPECT_EQ(Hex(Sha1(c.input)), c.sha1);
    EXPECT_EQ(Hex(Sha256(c.input)), c.sha256);
  }
}

// RFC 2202 test cases 1, 2, 3, 6 (a key longer than the block is hashed first).
TEST(ShaTest, HmacSha1KnownAnswers) {
  struct HmacCase {
    std::string key;
    std::string message;
    const char* mac;
  };
  const HmacCase cases[] = {
      {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'),
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
  };
  for (const HmacCase& c : cases) EXPECT_EQ(Hex(HmacSha1(c.key, c.message)), c.mac);
}

}  // namespace
}  // namespace quillon

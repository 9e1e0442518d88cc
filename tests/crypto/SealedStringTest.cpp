#include <gtest/gtest.h>

#include "crypto/Base64.h"
#include "crypto/BuiltInKeys.h"
#include "crypto/CipherBlob.h"
#include "crypto/SealedString.h"

namespace quillon {
namespace {

TEST(SealedString, RoundTrips) {
  for (const std::string& text :
       std::vector<std::string>{"a", "secret", "pässwörd with blanks", std::string(600, 'z'),
                                std::string("ftp.example.org:[QVR]:pw")}) {
    const auto sealed = SealString(text);
    ASSERT_TRUE(sealed) << text;
    EXPECT_EQ(sealed->find_first_of("\r\n "), std::string::npos);
    EXPECT_EQ(UnsealString(*sealed), text);
  }
}

// The sealed form is stored in users' INI files: the built-in key and the format must never
// change. This value was made once by this program.
TEST(SealedString, StoredFormIsStable) {
  EXPECT_EQ(SealString("secret"), "AAAABwQIAA+9ilTGejV5M6igHxpGkDXX=");
  EXPECT_EQ(UnsealString("AAAABwQIAA+9ilTGejV5M6igHxpGkDXX="), "secret");
}

TEST(SealedString, EmptyAndUndecryptableGiveNothing) {
  EXPECT_EQ(SealString(""), std::nullopt);
  EXPECT_EQ(UnsealString(""), std::nullopt);
  EXPECT_EQ(UnsealString("="), std::nullopt);
  EXPECT_EQ(UnsealString("not a sealed value"), std::nullopt);
  auto sealed = *SealString("secret");
  sealed[20] = sealed[20] == 'A' ? 'B' : 'A';
  EXPECT_EQ(UnsealString(sealed), std::nullopt);
  // Sealed under another key: refused even though it is a well-formed blob.
  RijndaelKey other;
  other.SetKeyLength(256);
  other.SetKeyBytes("another key");
  other.ExpandKey(4);
  const std::string text("secret", 7);
  const auto blob =
      *EncryptBuffer(other, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  EXPECT_EQ(UnsealString(Base64Encode(blob.data(), blob.size())), std::nullopt);
}

TEST(SealedString, ReadsWithLineBreaksAndStopsAtTheZeroByte) {
  auto sealed = *SealString("secret");
  sealed.insert(10, "\r\n");
  EXPECT_EQ(UnsealString(sealed), "secret");

  // A blob made without a terminating zero still reads, whole.
  RijndaelKey key;
  key.SetKeyLength(256);
  key.SetKeyBytes(IniKey().data(), IniKey().size());
  key.ExpandKey(4);
  const std::string noZero = "no zero";
  const auto blob =
      *EncryptBuffer(key, reinterpret_cast<const uint8_t*>(noZero.data()), noZero.size());
  EXPECT_EQ(UnsealString(Base64Encode(blob.data(), blob.size())), "no zero");
}

}  // namespace
}  // namespace quillon

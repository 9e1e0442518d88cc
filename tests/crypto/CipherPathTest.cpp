// The hardware path against the table path: the same bytes for every key, length and direction.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string_view>

#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"
#include "crypto/RijndaelAesNi.h"

namespace quillon {
namespace {

// Sanitizers slow the table path down some fifty times; fewer random cases keep the suite quick.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kBlobCases = 2000;
#else
constexpr int kBlobCases = 5000;
#endif

std::vector<uint8_t> Random(std::mt19937& random, size_t n) {
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

// The same key twice, one object per path.
struct KeyOnBothPaths {
  RijndaelKey table;
  RijndaelKey hardware;

  KeyOnBothPaths(int keyBits, const std::vector<uint8_t>& bytes, int blockWords) {
    for (RijndaelKey* key : {&table, &hardware}) {
      key->SetKeyLength(keyBits);
      key->SetKeyBytes(bytes.data(), bytes.size());
      key->ExpandKey(blockWords);
    }
    table.UseCipherPath(CipherPath::Table);
    hardware.UseCipherPath(CipherPath::Hardware);
  }
};

bool TableForcedByEnvironment() {
  const char* forced = std::getenv("QUILLON_CIPHER");
  return forced != nullptr && std::string_view(forced) == "table";
}

TEST(CipherPathChoice, HardwareServesTheContainerWidthUnlessForcedOff) {
  EXPECT_EQ(HardwareCipherAllowed(), RijndaelAesNi::Supported() && !TableForcedByEnvironment());
  const char* forced = std::getenv("QUILLON_CIPHER");
  if (forced != nullptr && std::string_view(forced) == "aesni") {
    EXPECT_FALSE(RijndaelAesNi::WideSupported());
  }
  if (RijndaelAesNi::WideSupported()) {
    EXPECT_TRUE(RijndaelAesNi::Supported());
  }
  const CipherPath expected = HardwareCipherAllowed() ? CipherPath::Hardware : CipherPath::Table;
  for (int keyBits : {128, 192, 256}) {
    RijndaelKey key;
    key.SetKeyLength(keyBits);
    key.SetKeyBytes("path");
    EXPECT_EQ(key.ActivePath(), CipherPath::Table);  // no schedule yet
    key.ExpandKey(6);
    EXPECT_EQ(key.ActivePath(), expected) << keyBits;
    // Other widths stay on the tables whatever is asked.
    key.ExpandKey(4);
    EXPECT_EQ(key.ActivePath(), CipherPath::Table);
    key.ExpandKey(8);
    key.UseCipherPath(CipherPath::Hardware);
    EXPECT_EQ(key.ActivePath(), CipherPath::Table);
    // The choice outlives new key bytes and schedules.
    key.UseCipherPath(CipherPath::Table);
    key.SetKeyBytes("other");
    key.ExpandKey(6);
    EXPECT_EQ(key.ActivePath(), CipherPath::Table);
    key.UseCipherPath(CipherPath::Hardware);
    EXPECT_EQ(key.ActivePath(), expected);
  }
}

class CipherPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HardwareCipherAllowed()) {
      GTEST_SKIP() << "no hardware path in this process (processor, or QUILLON_CIPHER=table)";
    }
  }
};

// Runs of 1 to 40 blocks cover the blocks done side by side (6 with 128-bit registers, 16 with
// 512-bit ones) and every count left over; the bytes after the last block stay untouched.
TEST_F(CipherPaths, BlocksAreTheSameInPlaceAndApart) {
  std::mt19937 random(16);
  constexpr size_t kGuard = 64;
  for (int keyBits : {128, 192, 256}) {
    for (size_t count = 1; count <= 40; ++count) {
      KeyOnBothPaths key(keyBits, Random(random, 1 + random() % 40), 6);
      ASSERT_EQ(key.hardware.ActivePath(), CipherPath::Hardware);
      const auto plain = Random(random, 24 * count);

      std::vector<uint8_t> byTable(plain.size());
      std::vector<uint8_t> byHardware(plain.size() + kGuard, 0xA5);
      key.table.EncryptBlocks(plain.data(), byTable.data(), count);
      key.hardware.EncryptBlocks(plain.data(), byHardware.data(), count);
      ASSERT_EQ(std::vector<uint8_t>(byHardware.begin(), byHardware.begin() + plain.size()),
                byTable)
          << keyBits << " bits, " << count << " blocks";
      ASSERT_EQ(std::vector<uint8_t>(byHardware.begin() + plain.size(), byHardware.end()),
                std::vector<uint8_t>(kGuard, 0xA5))
          << count << " blocks";
      auto inPlace = plain;
      key.hardware.EncryptBlocks(inPlace.data(), inPlace.data(), count);
      ASSERT_EQ(inPlace, byTable);

      key.hardware.DecryptBlocks(inPlace.data(), inPlace.data(), count);
      ASSERT_EQ(inPlace, plain);
      // Arbitrary bytes decrypt alike too, not only what was encrypted.
      key.table.DecryptBlocks(plain.data(), byTable.data(), count);
      key.hardware.DecryptBlocks(plain.data(), byHardware.data(), count);
      ASSERT_EQ(std::vector<uint8_t>(byHardware.begin(), byHardware.begin() + plain.size()),
                byTable)
          << keyBits << " bits, " << count << " blocks";
    }
  }
}

// Random keys of the container's two versions, random lengths up to 100 000 bytes (most of
// them short, so that every end-mark position is met many times), both directions: a blob made
// on one path is the blob of the other and decrypts on either.
TEST_F(CipherPaths, BlobsAreTheSameForRandomKeysAndLengths) {
  std::mt19937 random(1600);
  for (int i = 0; i < kBlobCases; ++i) {
    const int keyBits = i % 2 == 0 ? 128 : 256;
    const auto keyText = Random(random, 1 + random() % 40);
    KeyOnBothPaths key(keyBits, keyText, 6);
    ASSERT_EQ(key.hardware.ActivePath(), CipherPath::Hardware);
    const size_t length = i % 10 == 0 ? random() % 100001 : random() % 800;
    const auto plain = Random(random, length);

    const auto byTable = EncryptBuffer(key.table, plain.data(), plain.size());
    const auto byHardware = EncryptBuffer(key.hardware, plain.data(), plain.size());
    ASSERT_TRUE(byTable && byHardware);
    ASSERT_TRUE(*byHardware == *byTable) << "case " << i << ", " << length << " bytes";

    const auto back = DecryptBuffer(key.hardware, byTable->data(), byTable->size());
    ASSERT_TRUE(back) << "case " << i;
    ASSERT_TRUE(*back == plain) << "case " << i;
    const auto backByTable = DecryptBuffer(key.table, byHardware->data(), byHardware->size());
    ASSERT_TRUE(backByTable && *backByTable == plain) << "case " << i;
  }
}

// A wrong key fails alike on both paths, by the check byte or by the end mark.
TEST_F(CipherPaths, WrongKeysFailOnBothPaths) {
  std::mt19937 random(5);
  KeyOnBothPaths right(128, {'r', 'i', 'g', 'h', 't'}, 6);
  // The same check byte (bits of the first eight bytes) but another last byte.
  std::vector<uint8_t> other(right.table.KeyBytes().begin(), right.table.KeyBytes().end());
  other.back() ^= 1;
  KeyOnBothPaths wrong(128, other, 6);
  ASSERT_EQ(right.table.CheckByte(), wrong.table.CheckByte());
  for (size_t length : {size_t{0}, size_t{21}, size_t{22}, size_t{5000}}) {
    const auto plain = Random(random, length);
    const auto blob = *EncryptBuffer(right.hardware, plain.data(), plain.size());
    EXPECT_FALSE(DecryptBuffer(wrong.table, blob.data(), blob.size())) << length;
    EXPECT_FALSE(DecryptBuffer(wrong.hardware, blob.data(), blob.size())) << length;
  }
}

}  // namespace
}  // namespace quillon

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "CryptoTestUtil.h"
#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

// One line of the known-answer file, split into words.
std::vector<std::vector<std::string>> VectorLines(const std::string& kind) {
  std::ifstream in(test::SourceDir() / "tests/crypto/data/rijndael.txt");
  EXPECT_TRUE(in.good()) << "known-answer file missing";
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string w; words >> w;) fields.push_back(w);
    if (!fields.empty() && fields[0] == kind) lines.push_back(fields);
  }
  return lines;
}

void MakeKey(RijndaelKey& key, int keyBits, const std::vector<uint8_t>& bytes, int blockBits) {
  ASSERT_EQ(key.SetKeyLength(keyBits), kRijndaelOk);
  ASSERT_EQ(key.SetKeyBytes(bytes.data(), bytes.size()), kRijndaelOk);
  ASSERT_EQ(key.ExpandKey(blockBits / 32), kRijndaelOk);
}

// On both paths: the hardware one serves the 192-bit block where the processor has one (and
// QUILLON_CIPHER is not "table"); the other widths run on the tables either way.
TEST(Rijndael, BlockKnownAnswersForAllNineWidths) {
  const auto lines = VectorLines("block");
  ASSERT_EQ(lines.size(), 9u);
  for (const auto& f : lines) {
    for (const CipherPath path : {CipherPath::Table, CipherPath::Hardware}) {
      SCOPED_TRACE(f[1] + "-bit block, " + f[2] + "-bit key, " +
                   (path == CipherPath::Table ? "table" : "hardware") + " path");
      const int blockBits = std::stoi(f[1]);
      RijndaelKey key;
      key.UseCipherPath(path);
      MakeKey(key, std::stoi(f[2]), Hex(f[4]), blockBits);
      const bool hardware =
          path == CipherPath::Hardware && blockBits == 192 && HardwareCipherAllowed();
      EXPECT_EQ(key.ActivePath(), hardware ? CipherPath::Hardware : CipherPath::Table);
      EXPECT_EQ(key.Rounds(), std::stoi(f[3]));
      EXPECT_EQ(key.BlockWords(), blockBits / 32);

      // Through the block view, in place, as the buffer operations use it.
      std::vector<uint8_t> block = Hex(f[5]);
      ASSERT_EQ(block.size(), static_cast<size_t>(blockBits / 8));
      RijndaelBlock view;
      ASSERT_EQ(view.SetBlockWords(blockBits / 32), kRijndaelOk);
      ASSERT_EQ(view.BindKey(&key), kRijndaelOk);
      view.Attach(block.data());
      ASSERT_EQ(view.EncryptBlock(), kRijndaelOk);
      EXPECT_EQ(ToHex(block), f[6]);
      ASSERT_EQ(view.DecryptBlock(), kRijndaelOk);
      EXPECT_EQ(ToHex(block), f[5]);
    }
  }
}

TEST(Rijndael, ShortKeysArePaddedFromTheInverseSbox) {
  const auto lines = VectorLines("pad");
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& f : lines) {
    RijndaelKey key;
    ASSERT_EQ(key.SetKeyLength(std::stoi(f[1])), kRijndaelOk);
    const auto given = Hex(f[2]);
    key.SetKeyBytes(given.data(), given.size());
    EXPECT_EQ(ToHex(key.KeyBytes().data(), key.KeyBytes().size()), f[3]) << f[2];
  }
}

// With a 128-bit block the row-major layout is FIPS-197 AES on the transposed bytes.
TEST(Rijndael, Fips197ExamplesHoldAfterTransposing) {
  const struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089"},
  };
  const auto transpose = [](std::vector<uint8_t> b) {
    std::vector<uint8_t> t(16);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        t[static_cast<size_t>(4 * r + c)] = b[static_cast<size_t>(r + 4 * c)];
    return t;
  };
  for (const auto& c : cases) {
    const auto keyBytes = Hex(c.key);
    RijndaelKey key;
    MakeKey(key, static_cast<int>(keyBytes.size() * 8), keyBytes, 128);
    std::vector<uint8_t> block = transpose(Hex("00112233445566778899aabbccddeeff"));
    key.EncryptBlock(block.data(), block.data());
    EXPECT_EQ(ToHex(transpose(block)), c.cipher) << c.key;
    key.DecryptBlock(block.data(), block.data());
    EXPECT_EQ(ToHex(transpose(block)), "00112233445566778899aabbccddeeff");
  }
}

TEST(Rijndael, KeyScheduleMatchesFips197Expansion) {
  const struct {
    const char* key;
    int lastWord;
    const char* last;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", 43, "b6630ca6"},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 51, "01002202"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 59, "706c631e"},
  };
  for (const auto& c : cases) {
    const auto keyBytes = Hex(c.key);
    RijndaelKey key;
    MakeKey(key, static_cast<int>(keyBytes.size() * 8), keyBytes, 128);
    std::string word;
    for (int r = 0; r < 4; ++r) {
      const uint8_t b = key.ScheduleByte(r, c.lastWord);
      word += ToHex(&b, 1);
    }
    EXPECT_EQ(word, c.last) << c.key;
  }
}

TEST(Rijndael, KeyLengthsAndCodes) {
  RijndaelKey key;
  EXPECT_EQ(key.KeyWords(), 4);
  EXPECT_EQ(key.ExpandKey(4), kRijndaelNoKey);
  for (int bad : {0, 64, 127, 160, 512}) {
    EXPECT_EQ(key.SetKeyLength(bad), kRijndaelInvalidLength) << bad;
  }
  EXPECT_EQ(key.KeyWords(), 4);
  EXPECT_EQ(key.SetKeyLength(192), kRijndaelOk);
  key.SetKeyBytes("k");
  EXPECT_EQ(key.KeyBytes().size(), 24u);

  // Requested block widths round to 4, 6 or 8; rounds follow the key except for 8.
  const struct {
    int keyBits, requested, blockWords, rounds;
  } widths[] = {{128, 1, 4, 10}, {128, 5, 4, 10},  {128, 6, 6, 10}, {128, 7, 6, 10},
                {128, 8, 8, 14}, {128, 20, 8, 14}, {192, 6, 6, 12}, {256, 6, 6, 14}};
  for (const auto& w : widths) {
    RijndaelKey k;
    k.SetKeyLength(w.keyBits);
    k.SetKeyBytes("x");
    ASSERT_EQ(k.ExpandKey(w.requested), kRijndaelOk);
    EXPECT_EQ(k.BlockWords(), w.blockWords) << w.keyBits << "/" << w.requested;
    EXPECT_EQ(k.Rounds(), w.rounds) << w.keyBits << "/" << w.requested;
  }

  // New key bytes drop the schedule; an empty SetKeyBytes also resets the key length.
  EXPECT_EQ(key.ExpandKey(6), kRijndaelOk);
  EXPECT_TRUE(key.HasSchedule());
  key.SetKeyBytes("other");
  EXPECT_FALSE(key.HasSchedule());
  EXPECT_EQ(key.KeyWords(), 6);
  key.SetKeyBytes(nullptr, 0);
  EXPECT_FALSE(key.HasKeyBytes());
  EXPECT_EQ(key.KeyWords(), 4);
}

TEST(Rijndael, BlockViewRefusesUnusableKeys) {
  RijndaelKey key;
  RijndaelBlock view;
  uint8_t block[32] = {};
  EXPECT_EQ(view.BindKey(nullptr), kRijndaelNoKey);
  EXPECT_EQ(view.BindKey(&key), kRijndaelNoKey);
  view.Attach(block);
  EXPECT_EQ(view.EncryptBlock(), kRijndaelNoKey);
  EXPECT_EQ(view.SetBlockWords(5), kRijndaelInvalidLength);
  EXPECT_EQ(view.BlockWords(), 4);

  key.SetKeyBytes("key");
  key.ExpandKey(6);
  ASSERT_EQ(view.BindKey(&key), kRijndaelOk);
  EXPECT_EQ(view.EncryptBlock(), kRijndaelNoKey);  // a 4-word view on a 6-word schedule
  ASSERT_EQ(view.SetBlockWords(6), kRijndaelOk);
  EXPECT_EQ(view.Row(2), block + 12);
  EXPECT_EQ(view.EncryptBlock(), kRijndaelOk);
  key.SetKeyBytes("new");  // drops the schedule under the view
  EXPECT_EQ(view.DecryptBlock(), kRijndaelNoKey);
}

TEST(Rijndael, CheckByteTakesOneBitFromEachOfTheFirstEightKeyBytes) {
  RijndaelKey key;
  key.SetKeyBytes(Hex("ff00ff00ff00ff00").data(), 8);
  EXPECT_EQ(key.CheckByte(), 0xAA);
  key.SetKeyBytes(Hex("8040201008040201").data(), 8);
  EXPECT_EQ(key.CheckByte(), 0xFF);
  key.SetKeyBytes(Hex("7fbfdfeff7fbfdfe").data(), 8);
  EXPECT_EQ(key.CheckByte(), 0x00);
}

}  // namespace
}  // namespace quillon

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "CryptoTestUtil.h"
#include "crypto/CipherBlob.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

void MakeKey(RijndaelKey& key, int keyBits, std::string_view text, int blockWords) {
  ASSERT_EQ(key.SetKeyLength(keyBits), kRijndaelOk);
  key.SetKeyBytes(text);
  ASSERT_EQ(key.ExpandKey(blockWords), kRijndaelOk);
}

std::vector<uint8_t> Random(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

TEST(CipherBlob, KnownAnswerBlobs) {
  std::ifstream in(test::SourceDir() / "tests/crypto/data/rijndael.txt");
  int seen = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> f;
    for (std::string w; words >> w;) f.push_back(w);
    if (f.empty() || f[0] != "blob") continue;
    ++seen;
    SCOPED_TRACE(line);
    const auto keyText = Hex(f[3]);
    const auto plain = Hex(f[4]);
    for (const CipherPath path : {CipherPath::Table, CipherPath::Hardware}) {
      SCOPED_TRACE(path == CipherPath::Table ? "table path" : "hardware path");
      RijndaelKey key;
      key.UseCipherPath(path);
      MakeKey(key, std::stoi(f[2]),
              std::string_view(reinterpret_cast<const char*>(keyText.data()), keyText.size()),
              std::stoi(f[1]) / 32);
      const auto blob = EncryptBuffer(key, plain.data(), plain.size());
      ASSERT_TRUE(blob);
      EXPECT_EQ(ToHex(*blob), f[5]);

      // A fresh key object with the key bytes only: DecryptBuffer expands it itself.
      RijndaelKey fresh;
      fresh.UseCipherPath(path);
      fresh.SetKeyLength(std::stoi(f[2]));
      fresh.SetKeyBytes(keyText.data(), keyText.size());
      const auto back = DecryptBuffer(fresh, blob->data(), blob->size());
      ASSERT_TRUE(back);
      EXPECT_EQ(*back, plain);
      EXPECT_EQ(fresh.BlockWords(), std::stoi(f[1]) / 32);
    }
  }
  EXPECT_EQ(seen, 6);
}

TEST(CipherBlob, SizesFollowTheEndMark) {
  for (int blockWords : {4, 6, 8}) {
    const size_t b = 4 * static_cast<size_t>(blockWords);
    RijndaelKey key;
    MakeKey(key, 128, "size", blockWords);
    const struct {
      size_t length;
      size_t blocks;
    } cases[] = {{0, 1}, {b - 3, 1}, {b - 2, 2}, {2 * b - 3, 2}, {2 * b, 3}};
    for (const auto& c : cases) {
      const auto plain = Random(c.length, 1);
      const auto blob = EncryptBuffer(key, plain.data(), plain.size());
      ASSERT_TRUE(blob);
      EXPECT_EQ(blob->size(), 8 + c.blocks * b) << blockWords << "/" << c.length;
      EXPECT_EQ(BlobSize(blockWords, c.length), blob->size());
      const auto back = DecryptBuffer(key, blob->data(), blob->size());
      ASSERT_TRUE(back);
      EXPECT_EQ(*back, plain);
    }
  }
}

TEST(CipherBlob, EncryptRefusesWhatItCannotDo) {
  RijndaelKey noSchedule;
  noSchedule.SetKeyBytes("abc");
  const uint8_t byte = 1;
  EXPECT_FALSE(EncryptBuffer(noSchedule, &byte, 1));
  RijndaelKey key;
  MakeKey(key, 128, "abc", 6);
  EXPECT_FALSE(EncryptBuffer(key, nullptr, 5));
  EXPECT_TRUE(EncryptBuffer(key, nullptr, 0));

  // The 32-bit length field bounds the plaintext; announcing more fails before any output.
  BlobEncryptor encryptor;
  std::vector<uint8_t> out;
  EXPECT_FALSE(encryptor.Begin(key, kMaxBlobPlaintext + 1, out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(encryptor.Begin(key, kMaxBlobPlaintext, out));
  EXPECT_EQ(ToHex(out).substr(0, 8), "ffffffff");
}

TEST(CipherBlob, WrongKeysAndDamagedBlobsFail) {
  RijndaelKey key;
  MakeKey(key, 128, "0123456789abcdef", 6);
  const auto plain = Random(100, 2);
  const auto blob = *EncryptBuffer(key, plain.data(), plain.size());

  // A key that differs in the one bit of byte i that the check byte holds fails there.
  for (int i = 0; i < 8; ++i) {
    std::string other = "0123456789abcdef";
    other[static_cast<size_t>(i)] = static_cast<char>(other[static_cast<size_t>(i)] ^ (0x80 >> i));
    RijndaelKey wrong;
    wrong.SetKeyBytes(other);
    EXPECT_NE(wrong.CheckByte(), key.CheckByte());
    EXPECT_FALSE(DecryptBuffer(wrong, blob.data(), blob.size())) << i;
  }
  // The same check byte but another key: the end mark catches it.
  {
    RijndaelKey wrong;
    wrong.SetKeyBytes("0123456789abcdeX");
    ASSERT_EQ(wrong.CheckByte(), key.CheckByte());
    EXPECT_FALSE(DecryptBuffer(wrong, blob.data(), blob.size()));
  }
  // The same first 16 bytes as a 256-bit key: key-words differ from byte 5.
  {
    RijndaelKey longer;
    longer.SetKeyLength(256);
    longer.SetKeyBytes("0123456789abcdef");
    EXPECT_FALSE(DecryptBuffer(longer, blob.data(), blob.size()));
  }
  RijndaelKey empty;
  EXPECT_FALSE(DecryptBuffer(empty, blob.data(), blob.size()));

  const auto fails = [&](std::vector<uint8_t> damaged) {
    RijndaelKey k;
    k.SetKeyBytes("0123456789abcdef");
    return !DecryptBuffer(k, damaged.data(), damaged.size());
  };
  EXPECT_TRUE(fails({blob.begin(), blob.end() - 1}));
  EXPECT_TRUE(fails({blob.begin(), blob.begin() + 8}));
  auto longer = blob;
  longer.push_back(0);
  EXPECT_TRUE(fails(longer));
  for (uint8_t blockWords : {0, 5, 7, 9}) {
    auto bad = blob;
    bad[4] = blockWords;
    EXPECT_TRUE(fails(bad)) << int{blockWords};
  }
  auto lengthField = blob;
  lengthField[3] ^= 0x30;
  EXPECT_TRUE(fails(lengthField));
  auto hugeLength = blob;
  hugeLength[0] = 0xFF;
  EXPECT_TRUE(fails(hugeLength));
  auto lastBlock = blob;
  lastBlock[blob.size() - 1] ^= 1;
  EXPECT_TRUE(fails(lastBlock));
  EXPECT_FALSE(DecryptBuffer(key, nullptr, 0));
}

TEST(CipherBlob, TrailerFlagSkipsFourBytes) {
  RijndaelKey key;
  MakeKey(key, 128, "trailer", 6);
  const auto plain = Bytes("with a trailer");
  auto blob = *EncryptBuffer(key, plain.data(), plain.size());
  blob[6] = kBlobTrailerFlag;
  EXPECT_FALSE(DecryptBuffer(key, blob.data(), blob.size()));  // flag without the four bytes
  blob.insert(blob.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  const auto back = DecryptBuffer(key, blob.data(), blob.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, plain);
}

TEST(CipherBlob, DecryptReexpandsTheKeyForTheBlobWidth) {
  RijndaelKey writer;
  MakeKey(writer, 128, "width", 8);
  const auto plain = Bytes("eight words");
  const auto blob = *EncryptBuffer(writer, plain.data(), plain.size());
  RijndaelKey reader;
  MakeKey(reader, 128, "width", 6);
  const auto back = DecryptBuffer(reader, blob.data(), blob.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, plain);
  EXPECT_EQ(reader.BlockWords(), 8);
  EXPECT_EQ(reader.Rounds(), 14);
}

// Streaming gives the same bytes as the whole-buffer calls at every split point.
TEST(CipherBlob, StreamingEqualsOneShotAtEverySplit) {
  for (int blockWords : {4, 6, 8}) {
    RijndaelKey key;
    MakeKey(key, 128, "stream", blockWords);
    const auto plain = Random(77, 3);
    const auto blob = *EncryptBuffer(key, plain.data(), plain.size());
    for (size_t split = 0; split <= plain.size(); ++split) {
      BlobEncryptor encryptor;
      std::vector<uint8_t> out;
      ASSERT_TRUE(encryptor.Begin(key, plain.size(), out));
      ASSERT_TRUE(encryptor.Update(plain.data(), split, out));
      ASSERT_TRUE(encryptor.Update(plain.data() + split, plain.size() - split, out));
      ASSERT_TRUE(encryptor.Finish(out));
      EXPECT_EQ(out, blob) << split;
    }
    for (size_t split = 0; split <= blob.size(); ++split) {
      BlobDecryptor decryptor(key);
      std::vector<uint8_t> out;
      ASSERT_TRUE(decryptor.Update(blob.data(), split, out));
      ASSERT_TRUE(decryptor.Update(blob.data() + split, blob.size() - split, out));
      ASSERT_TRUE(decryptor.Finish()) << split;
      EXPECT_EQ(out, plain) << split;
    }
    // Byte by byte.
    BlobDecryptor decryptor(key);
    std::vector<uint8_t> out;
    for (const uint8_t b : blob) ASSERT_TRUE(decryptor.Update(&b, 1, out));
    EXPECT_TRUE(decryptor.Finish());
    EXPECT_EQ(out, plain);
    EXPECT_EQ(decryptor.PlaintextLength(), std::nullopt);  // used up after Finish
  }
}

// Long runs of blocks split between two threads must land exactly where one thread puts them.
TEST(CipherBlob, SharedWorkGivesTheSameBytes) {
  for (int blockWords : {4, 8}) {
    RijndaelKey key;
    MakeKey(key, 256, "shared", blockWords);
    const auto plain = Random(200 * 1024 + 13, 5);
    const auto blob = *EncryptBuffer(key, plain.data(), plain.size());
    HelperThread helper;
    // Pieces below and above the shared length, one starting with a pending partial block.
    for (size_t piece : {size_t{4096}, size_t{65536 + 7}, plain.size()}) {
      BlobEncryptor encryptor;
      encryptor.ShareWork(&helper);
      std::vector<uint8_t> out;
      ASSERT_TRUE(encryptor.Begin(key, plain.size(), out));
      for (size_t at = 0; at < plain.size(); at += piece) {
        ASSERT_TRUE(encryptor.Update(plain.data() + at, std::min(piece, plain.size() - at), out));
      }
      ASSERT_TRUE(encryptor.Finish(out));
      EXPECT_TRUE(out == blob) << blockWords << " " << piece;

      BlobDecryptor decryptor(key);
      decryptor.ShareWork(&helper);
      std::vector<uint8_t> back;
      for (size_t at = 0; at < blob.size(); at += piece) {
        ASSERT_TRUE(decryptor.Update(blob.data() + at, std::min(piece, blob.size() - at), back));
      }
      ASSERT_TRUE(decryptor.Finish());
      EXPECT_TRUE(back == plain) << blockWords << " " << piece;
    }
  }
}

TEST(CipherBlob, StreamingRejectsWrongCounts) {
  RijndaelKey key;
  MakeKey(key, 128, "count", 6);
  BlobEncryptor encryptor;
  std::vector<uint8_t> out;
  ASSERT_TRUE(encryptor.Begin(key, 10, out));
  const auto data = Random(11, 4);
  EXPECT_FALSE(encryptor.Update(data.data(), 11, out));
  EXPECT_EQ(out.size(), 8u);
  ASSERT_TRUE(encryptor.Update(data.data(), 9, out));
  EXPECT_FALSE(encryptor.Finish(out));

  const auto blob = *EncryptBuffer(key, data.data(), 10);
  BlobDecryptor short_(key);
  std::vector<uint8_t> plain;
  ASSERT_TRUE(short_.Update(blob.data(), blob.size() - 1, plain));
  EXPECT_FALSE(short_.Finish());
  BlobDecryptor long_(key);
  const auto extended = [&] {
    auto b = blob;
    b.push_back(0);
    return b;
  }();
  plain.clear();
  EXPECT_FALSE(long_.Update(extended.data(), extended.size(), plain));
  EXPECT_FALSE(long_.Finish());

  // A wrong key is known as soon as the header has arrived.
  RijndaelKey wrong;
  wrong.SetKeyBytes("\xe3ount");
  BlobDecryptor early(wrong);
  plain.clear();
  EXPECT_FALSE(early.Update(blob.data(), 8, plain));
  EXPECT_FALSE(early.Update(blob.data() + 8, blob.size() - 8, plain));
  EXPECT_TRUE(plain.empty());
}

}  // namespace
}  // namespace quillon

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/HelperThread.h"
#include "crypto/Rijndael.h"

namespace quillon {

// The cipher blob: a self-describing, block-by-block (ECB) Rijndael encryption of a byte string.
//
//   offset 0  4 bytes  plaintext length L, unsigned big-endian
//   offset 4  1 byte   block-words of the schedule used (4, 6 or 8)
//   offset 5  1 byte   key-words of the key (4, 6 or 8)
//   offset 6  1 byte   0 when written; 4 announces a 4-byte trailer after the blocks (skipped)
//   offset 7  1 byte   the key's check byte (RijndaelKey::CheckByte)
//   offset 8  n * B    n = ceil((L + 3) / B) encrypted blocks of B = 4 * block-words bytes
//
// Before encryption the blocks hold the L plaintext bytes, the end mark "Qvr", then zero bytes.
// A wrong key is caught by the check byte, or, when that happens to match, by the end mark.
inline constexpr size_t kBlobHeaderSize = 8;
inline constexpr uint8_t kBlobEndMark[3] = {'Q', 'v', 'r'};
inline constexpr uint8_t kBlobTrailerFlag = 4;
inline constexpr size_t kBlobTrailerSize = 4;
// L is a 32-bit field: longer plaintexts cannot be encrypted.
inline constexpr uint64_t kMaxBlobPlaintext = 0xFFFFFFFFu;

// 8 + n * B for a plaintext of `length` bytes and blocks of `blockWords` words.
uint64_t BlobSize(int blockWords, uint64_t length);

// Encrypts `length` bytes with `key`, which must have a schedule. Nothing on failure: no
// schedule, data == nullptr with length > 0, or length > kMaxBlobPlaintext.
[[nodiscard]] std::optional<std::vector<uint8_t>> EncryptBuffer(const RijndaelKey& key,
                                                                const uint8_t* data, size_t length);

// Decrypts a blob and returns its L plaintext bytes. Nothing when the blob is null or shorter
// than 9 bytes, the key has no key bytes, the check byte or key-words differ, the block-words
// byte is not 4, 6 or 8, the length does not match L, or the end mark is wrong. May expand
// `key` again for the blob's block width (the key keeps that schedule afterwards).
[[nodiscard]] std::optional<std::vector<uint8_t>> DecryptBuffer(RijndaelKey& key,
                                                                const uint8_t* blob, size_t length);

// EncryptBuffer in pieces: the same bytes, with memory bounded by the pieces fed. The key must
// outlive the encryptor and keep its schedule.
class BlobEncryptor {
 public:
  // Appends the header for a plaintext of exactly `length` bytes to `out`. False (nothing
  // appended) when the key has no schedule or `length` exceeds kMaxBlobPlaintext.
  [[nodiscard]] bool Begin(const RijndaelKey& key, uint64_t length, std::vector<uint8_t>& out);
  // Feeds plaintext and appends every completed encrypted block to `out`. False, appending
  // nothing, when this would exceed the announced length or Begin did not succeed.
  [[nodiscard]] bool Update(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
  // Appends the end mark, the zero fill and the last block(s). False when fewer bytes than
  // announced were fed.
  [[nodiscard]] bool Finish(std::vector<uint8_t>& out);
  // Long runs of blocks are then encrypted half here, half on `helper` (the blocks do not
  // depend on each other). The helper must outlive the encryptor's use.
  void ShareWork(HelperThread* helper) { helper_ = helper; }

 private:
  const RijndaelKey* key_ = nullptr;
  uint64_t length_ = 0;
  uint64_t fed_ = 0;
  size_t blockSize_ = 0;
  uint8_t pending_[32] = {};
  size_t pendingSize_ = 0;
  HelperThread* helper_ = nullptr;
};

// DecryptBuffer in pieces: feed the blob as it arrives and take the plaintext as it comes out.
// The plaintext is only good once Finish has returned true. The key must outlive the decryptor;
// it may be expanded again for the blob's block width, as DecryptBuffer does.
class BlobDecryptor {
 public:
  explicit BlobDecryptor(RijndaelKey& key) : key_(key) {}
  // Appends the plaintext decrypted so far to `plain`. False once the blob is known to be bad
  // (wrong key, bad header, more bytes than the header announces); then every later call fails.
  [[nodiscard]] bool Update(const uint8_t* data, size_t size, std::vector<uint8_t>& plain);
  // True when the whole blob has arrived with the length its header announces and the end mark
  // checks out.
  [[nodiscard]] bool Finish();
  // L, once the header has arrived.
  std::optional<uint64_t> PlaintextLength() const;
  // Long runs of blocks are then decrypted half here, half on `helper` (the blocks do not
  // depend on each other). The helper must outlive the decryptor's use.
  void ShareWork(HelperThread* helper) { helper_ = helper; }

 private:
  enum class Stage { Header, Blocks, Trailer, Failed };
  [[nodiscard]] bool ReadHeader();
  void DecryptBlocks(const uint8_t* blocks, uint64_t count, std::vector<uint8_t>& plain);

  RijndaelKey& key_;
  Stage stage_ = Stage::Header;
  uint8_t header_[kBlobHeaderSize] = {};
  size_t headerSize_ = 0;
  uint64_t length_ = 0;
  size_t blockSize_ = 0;
  uint64_t blocksTotal_ = 0;
  uint64_t blocksDone_ = 0;
  size_t trailerExpected_ = 0;
  size_t trailerSeen_ = 0;
  uint8_t pending_[32] = {};
  size_t pendingSize_ = 0;
  uint8_t mark_[3] = {};
  HelperThread* helper_ = nullptr;
};

}  // namespace quillon

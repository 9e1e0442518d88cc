#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace quillon {

// Result codes of RijndaelKey and RijndaelBlock.
inline constexpr int kRijndaelOk = 0;
inline constexpr int kRijndaelInvalidLength = 403;  // key length (or block width) not 128/192/256
inline constexpr int kRijndaelNoKey = 406;          // no key material or no expanded schedule

class RijndaelAesNi;

// How a key's blocks are transformed. Both paths give the same bytes.
//   Table     byte lookup tables; every block width, every processor
//   Hardware  the processor's AES instructions; 192-bit blocks (the container's width) on
//             x86-64 processors with AES-NI, SSSE3 and SSE4.1, in 512-bit registers where the
//             processor has VAES and AVX-512 VBMI. Other widths use the tables.
enum class CipherPath { Table, Hardware };

// True when this process may use the hardware path: the processor has the instructions and
// the environment does not hold QUILLON_CIPHER=table (which forces the table path everywhere,
// for comparisons; QUILLON_CIPHER=aesni keeps the AES instructions to 128-bit registers).
// Decided once per process.
bool HardwareCipherAllowed();

// A Rijndael key: the key bytes and, once expanded, the round-key schedule for one block width.
//
// Block layout: the state has 4 rows and block-words columns and state element (row r,
// column c) is block byte block-words * r + c, i.e. the rows lie one after another in memory
// (AES places it at r + 4c). With a 128-bit block the result is FIPS-197 AES of the transposed
// 16 bytes, transposed back. Key bytes load the standard way: schedule word i (i < key-words)
// is key bytes 4i..4i+3, byte r of a word lying in row r.
//
// Round counts: a 256-bit block always runs 14 rounds; otherwise the key length alone decides
// (10, 12, 14 for 128-, 192-, 256-bit keys), so a 192-bit block with a 128-bit key runs 10.
// Stored data depends on both of these choices.
//
// A key object is empty, holds key bytes, or holds key bytes and a schedule. Key bytes and
// schedule are wiped when they are replaced and when the object is destroyed. One owner; no
// shared state, so distinct objects may be used on distinct threads.
class RijndaelKey {
 public:
  RijndaelKey();
  ~RijndaelKey();
  RijndaelKey(const RijndaelKey&) = delete;
  RijndaelKey& operator=(const RijndaelKey&) = delete;

  // 128, 192 or 256 set key-words to bits / 32 (the next SetKeyBytes takes that many bytes);
  // anything else returns kRijndaelInvalidLength and changes nothing.
  int SetKeyLength(int bits);

  // Drops the old key bytes and schedule. With bytes == nullptr the object becomes empty and
  // key-words return to 4. Otherwise 4 * key-words bytes are taken: the first
  // min(length, 4 * key-words) from `bytes`, the rest from the Rijndael inverse S-box starting
  // at its entry 0x43 (InvS[0x43], InvS[0x44], ...). Always kRijndaelOk.
  int SetKeyBytes(const uint8_t* bytes, size_t length);
  int SetKeyBytes(std::string_view text) {
    return SetKeyBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

  // Builds the schedule for block width `blockWords` (>= 8 gives 8, < 6 gives 4, else 6).
  // kRijndaelNoKey when there are no key bytes.
  int ExpandKey(int blockWords);

  int KeyWords() const { return keyWords_; }
  int BlockWords() const { return blockWords_; }
  int Rounds() const { return rounds_; }
  bool HasKeyBytes() const { return !keyBytes_.empty(); }
  bool HasSchedule() const { return !encryptKeys_.empty(); }
  std::span<const uint8_t> KeyBytes() const { return keyBytes_; }

  // Byte `row` (0..3) of schedule word `word` (0 .. (rounds + 1) * block-words - 1).
  uint8_t ScheduleByte(int row, int word) const {
    return static_cast<uint8_t>(encryptKeys_[static_cast<size_t>(word)] >> (8 * row));
  }

  // Bit 7 of key byte 0, bit 6 of key byte 1, ..., bit 0 of key byte 7, OR-ed together; 0 for
  // an empty key.
  uint8_t CheckByte() const;

  // Transform one block of 4 * BlockWords() bytes from `in` to `out` (which may be the same
  // memory). The key must have a schedule.
  void EncryptBlock(const uint8_t* in, uint8_t* out) const { EncryptBlocks(in, out, 1); }
  void DecryptBlock(const uint8_t* in, uint8_t* out) const { DecryptBlocks(in, out, 1); }
  // The same for `count` consecutive blocks (ECB): faster than one call per block. `in` and
  // `out` are the same memory or do not overlap.
  void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const;
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const;

  // Every key starts on the hardware path when HardwareCipherAllowed(), else on the tables.
  // Asking for Hardware where it is not allowed keeps the tables. Tests and benchmarks use this
  // to run both paths in one process; the schedule, if any, is kept.
  void UseCipherPath(CipherPath path);
  // The path EncryptBlocks and DecryptBlocks take with the current schedule.
  CipherPath ActivePath() const { return hardware_ ? CipherPath::Hardware : CipherPath::Table; }

 private:
  void Wipe();
  void PrepareHardware();

  std::vector<uint8_t> keyBytes_;
  // Schedule word i packs byte r in bits 8r..8r+7; decryptKeys_ holds the same words with
  // InvMixColumns applied to the inner rounds (the equivalent inverse cipher).
  std::vector<uint32_t> encryptKeys_;
  std::vector<uint32_t> decryptKeys_;
  // The schedule laid out for the AES instructions, while the hardware path serves this key.
  std::unique_ptr<RijndaelAesNi> hardware_;
  bool wantsHardware_ = HardwareCipherAllowed();
  int keyWords_ = 4;
  int rounds_ = 10;
  int blockWords_ = 4;
};

// A view through which one block is transformed in place: row r of the attached block starts
// at base + block-words * r. The key is not owned and must outlive the view.
class RijndaelBlock {
 public:
  // 4, 6 or 8; anything else returns kRijndaelInvalidLength and changes nothing.
  int SetBlockWords(int blockWords);
  // kRijndaelNoKey when `key` is null or has no schedule (the view then stays unbound).
  int BindKey(const RijndaelKey* key);
  void Attach(uint8_t* data) { base_ = data; }

  int BlockWords() const { return blockWords_; }
  uint8_t* Row(int row) const { return base_ + blockWords_ * row; }

  // Transform the attached block in place. kRijndaelNoKey when no block is attached, no key is
  // bound, the key has lost its schedule or the schedule was expanded for another width.
  int EncryptBlock();
  int DecryptBlock();

 private:
  bool Usable() const;

  uint8_t* base_ = nullptr;
  const RijndaelKey* key_ = nullptr;
  int blockWords_ = 4;
};

}  // namespace quillon

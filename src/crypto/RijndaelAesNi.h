#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Rijndael with a 192-bit block (6 columns, any key length) on the processor's AES
// instructions: x86-64 AES-NI with SSSE3 and SSE4.1 byte shuffles, and where the processor has
// them the 512-bit forms (VAES with AVX-512 VBMI byte permutes), two blocks per register. It
// gives exactly the bytes of RijndaelKey's table-driven block function, rows of the state one
// after another in memory.
// RijndaelKey makes one of these when the schedule is for 192-bit blocks and the hardware path
// is in use; nothing else needs to know it exists.
//
// Holds the round keys laid out for the instructions; wiped when destroyed. Immutable after
// construction, so several threads may use one object at once.
class RijndaelAesNi {
 public:
  // True when this processor has AES-NI, SSSE3 and SSE4.1 (asked once). False on other
  // processor families; the routines below must not be called then.
  static bool Supported();
  // True when the 512-bit forms are used: the processor has VAES, AVX-512 (F, BW) and VBMI, the
  // system saves their registers, and the environment does not hold QUILLON_CIPHER=aesni
  // (which keeps the 128-bit forms, for comparisons). Asked once.
  static bool WideSupported();

  // `encryptWords` is the key schedule of (rounds + 1) * 6 words, byte r of a word (row r) in
  // bits 8r..8r+7; `decryptWords` the same words with InvMixColumns applied to rounds
  // 1..rounds-1 (the equivalent inverse cipher). rounds is 10, 12 or 14.
  RijndaelAesNi(const uint32_t* encryptWords, const uint32_t* decryptWords, int rounds);
  ~RijndaelAesNi();
  RijndaelAesNi(const RijndaelAesNi&) = delete;
  RijndaelAesNi& operator=(const RijndaelAesNi&) = delete;

  // Transform `count` blocks of 24 bytes from `in` to `out`: the same memory or none of it.
  void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const;
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const;

  static constexpr int kBlockBytes = 24;
  static constexpr int kMaxRounds = 14;

 private:
  // Per direction: the entry key (row after row, as the block lies in memory) then one key
  // per round in the order applied; 32 bytes each (two registers).
  static constexpr size_t kKeysBytes = (kMaxRounds + 1) * 32;
  alignas(16) uint8_t encryptKeys_[kKeysBytes] = {};
  alignas(16) uint8_t decryptKeys_[kKeysBytes] = {};
  // The same for the 512-bit forms: the entry key as two blocks lie in memory, then the round
  // keys laid out for two blocks in one register; 64 bytes each.
  static constexpr size_t kWideKeysBytes = (kMaxRounds + 1) * 64;
  alignas(64) uint8_t wideEncryptKeys_[kWideKeysBytes] = {};
  alignas(64) uint8_t wideDecryptKeys_[kWideKeysBytes] = {};
  int rounds_ = 0;
  bool wide_ = false;
};

}  // namespace quillon

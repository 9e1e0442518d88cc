#include "crypto/Rijndael.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "crypto/RijndaelAesNi.h"

namespace quillon {

namespace {

// The standard Rijndael tables, built at compile time. The block function works column by
// column on 32-bit words (byte r of a column word = state row r) with the usual combined
// SubBytes/MixColumns tables: Te_j[x] is the column contribution of S[x] arriving in row j,
// Td_j[x] that of InvS[x] through InvMixColumns. Every output byte equals the byte-table form.

constexpr uint8_t XTime(uint8_t a) {
  return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

constexpr uint8_t Mul(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  while (b != 0) {
    if (b & 1) product ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return product;
}

constexpr uint8_t Rotl8(uint8_t x, int n) {
  return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

struct Tables {
  std::array<uint8_t, 256> sbox{};
  std::array<uint8_t, 256> invSbox{};
  std::array<std::array<uint32_t, 256>, 4> te{};
  std::array<std::array<uint32_t, 256>, 4> td{};
};

constexpr Tables MakeTables() {
  Tables t;
  for (int x = 0; x < 256; ++x) {
    // Multiplicative inverse as x^254; 0 maps to 0.
    uint8_t inverse = 0;
    if (x != 0) {
      uint8_t result = 1;
      uint8_t base = static_cast<uint8_t>(x);
      for (int e = 254; e > 0; e >>= 1) {
        if (e & 1) result = Mul(result, base);
        base = Mul(base, base);
      }
      inverse = result;
    }
    const uint8_t s = static_cast<uint8_t>(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^
                                           Rotl8(inverse, 3) ^ Rotl8(inverse, 4) ^ 0x63);
    t.sbox[static_cast<size_t>(x)] = s;
    t.invSbox[s] = static_cast<uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = t.sbox[static_cast<size_t>(x)];
    const uint32_t e = uint32_t{Mul(s, 2)} | (uint32_t{s} << 8) | (uint32_t{s} << 16) |
                       (uint32_t{Mul(s, 3)} << 24);
    const uint8_t v = t.invSbox[static_cast<size_t>(x)];
    const uint32_t d = uint32_t{Mul(v, 14)} | (uint32_t{Mul(v, 9)} << 8) |
                       (uint32_t{Mul(v, 13)} << 16) | (uint32_t{Mul(v, 11)} << 24);
    for (int j = 0; j < 4; ++j) {
      t.te[static_cast<size_t>(j)][static_cast<size_t>(x)] = j == 0 ? e : Rotl32(e, 8 * j);
      t.td[static_cast<size_t>(j)][static_cast<size_t>(x)] = j == 0 ? d : Rotl32(d, 8 * j);
    }
  }
  return t;
}

alignas(64) constexpr Tables kTables = MakeTables();

constexpr const uint8_t* kS = kTables.sbox.data();
constexpr const uint8_t* kInvS = kTables.invSbox.data();
constexpr const uint32_t* kTe0 = kTables.te[0].data();
constexpr const uint32_t* kTe1 = kTables.te[1].data();
constexpr const uint32_t* kTe2 = kTables.te[2].data();
constexpr const uint32_t* kTe3 = kTables.te[3].data();
constexpr const uint32_t* kTd0 = kTables.td[0].data();
constexpr const uint32_t* kTd1 = kTables.td[1].data();
constexpr const uint32_t* kTd2 = kTables.td[2].data();
constexpr const uint32_t* kTd3 = kTables.td[3].data();

// The padding of short keys starts at this entry of the inverse S-box.
constexpr int kKeyFillStart = 0x43;

inline uint32_t B0(uint32_t w) { return w & 0xFF; }
inline uint32_t B1(uint32_t w) { return (w >> 8) & 0xFF; }
inline uint32_t B2(uint32_t w) { return (w >> 16) & 0xFF; }
inline uint32_t B3(uint32_t w) { return w >> 24; }

uint32_t SubWord(uint32_t w) {
  return uint32_t{kS[B0(w)]} | (uint32_t{kS[B1(w)]} << 8) | (uint32_t{kS[B2(w)]} << 16) |
         (uint32_t{kS[B3(w)]} << 24);
}

// InvMixColumns of one column word (Td applies InvS, so feed it S of each byte).
uint32_t InvMixColumn(uint32_t w) {
  return kTd0[kS[B0(w)]] ^ kTd1[kS[B1(w)]] ^ kTd2[kS[B2(w)]] ^ kTd3[kS[B3(w)]];
}

// Column c of a block laid out row after row.
template <int Nb>
inline uint32_t LoadColumn(const uint8_t* in, int c) {
  return uint32_t{in[c]} | (uint32_t{in[Nb + c]} << 8) | (uint32_t{in[2 * Nb + c]} << 16) |
         (uint32_t{in[3 * Nb + c]} << 24);
}

template <int Nb>
inline void StoreColumn(uint8_t* out, int c, uint32_t w) {
  out[c] = static_cast<uint8_t>(w);
  out[Nb + c] = static_cast<uint8_t>(w >> 8);
  out[2 * Nb + c] = static_cast<uint8_t>(w >> 16);
  out[3 * Nb + c] = static_cast<uint8_t>(w >> 24);
}

// ShiftRows offsets of rows 1..3: 1, 2, 3 for 4 and 6 columns, 1, 3, 4 for 8.
template <int Nb>
struct Shifts {
  static constexpr int k1 = 1;
  static constexpr int k2 = Nb == 8 ? 3 : 2;
  static constexpr int k3 = Nb == 8 ? 4 : 3;
};

// The column loops are unrolled on purpose: with constant indices the state stays in
// registers, which roughly doubles the speed over rolled loops.
template <int Nb>
void EncryptColumns(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  constexpr int s1 = Shifts<Nb>::k1, s2 = Shifts<Nb>::k2, s3 = Shifts<Nb>::k3;
  uint32_t a[Nb];
  uint32_t b[Nb];
#pragma GCC unroll 8
  for (int c = 0; c < Nb; ++c) a[c] = LoadColumn<Nb>(in, c) ^ rk[c];
  for (int round = 1; round < rounds; ++round) {
    rk += Nb;
#pragma GCC unroll 8
    for (int c = 0; c < Nb; ++c) {
      b[c] = kTe0[B0(a[c])] ^ kTe1[B1(a[(c + s1) % Nb])] ^ kTe2[B2(a[(c + s2) % Nb])] ^
             kTe3[B3(a[(c + s3) % Nb])] ^ rk[c];
    }
#pragma GCC unroll 8
    for (int c = 0; c < Nb; ++c) a[c] = b[c];
  }
  rk += Nb;
#pragma GCC unroll 8
  for (int c = 0; c < Nb; ++c) {
    const uint32_t w = uint32_t{kS[B0(a[c])]} | (uint32_t{kS[B1(a[(c + s1) % Nb])]} << 8) |
                       (uint32_t{kS[B2(a[(c + s2) % Nb])]} << 16) |
                       (uint32_t{kS[B3(a[(c + s3) % Nb])]} << 24);
    b[c] = w ^ rk[c];
  }
#pragma GCC unroll 8
  for (int c = 0; c < Nb; ++c) StoreColumn<Nb>(out, c, b[c]);
}

// `ek` is the schedule, `dk` the same with InvMixColumns applied to rounds 1..rounds-1.
template <int Nb>
void DecryptColumns(const uint32_t* ek, const uint32_t* dk, int rounds, const uint8_t* in,
                    uint8_t* out) {
  // Inverse ShiftRows takes row r of column c from column c - shift (mod Nb).
  constexpr int s1 = Nb - Shifts<Nb>::k1, s2 = Nb - Shifts<Nb>::k2, s3 = Nb - Shifts<Nb>::k3;
  uint32_t a[Nb];
  uint32_t b[Nb];
  const uint32_t* rk = ek + rounds * Nb;
#pragma GCC unroll 8
  for (int c = 0; c < Nb; ++c) a[c] = LoadColumn<Nb>(in, c) ^ rk[c];
  for (int round = rounds - 1; round >= 1; --round) {
    rk = dk + round * Nb;
#pragma GCC unroll 8
    for (int c = 0; c < Nb; ++c) {
      b[c] = kTd0[B0(a[c])] ^ kTd1[B1(a[(c + s1) % Nb])] ^ kTd2[B2(a[(c + s2) % Nb])] ^
             kTd3[B3(a[(c + s3) % Nb])] ^ rk[c];
    }
#pragma GCC unroll 8
    for (int c = 0; c < Nb; ++c) a[c] = b[c];
  }
#pragma GCC unroll 8
  for (int c = 0; c < Nb; ++c) {
    const uint32_t w = uint32_t{kInvS[B0(a[c])]} | (uint32_t{kInvS[B1(a[(c + s1) % Nb])]} << 8) |
                       (uint32_t{kInvS[B2(a[(c + s2) % Nb])]} << 16) |
                       (uint32_t{kInvS[B3(a[(c + s3) % Nb])]} << 24);
    b[c] = w ^ ek[c];
  }
#pragma GCC unroll 8
  for (int c = 0; c < Nb; ++c) StoreColumn<Nb>(out, c, b[c]);
}

// Overwrites memory in a way the optimiser may not drop.
template <typename T>
void WipeVector(std::vector<T>& v) {
  if (!v.empty()) {
    volatile unsigned char* p = reinterpret_cast<volatile unsigned char*>(v.data());
    for (size_t i = 0; i < v.size() * sizeof(T); ++i) p[i] = 0;
  }
  v.clear();
}

}  // namespace

bool HardwareCipherAllowed() {
  static const bool allowed = [] {
    const char* forced = std::getenv("QUILLON_CIPHER");
    return RijndaelAesNi::Supported() && !(forced && std::string_view(forced) == "table");
  }();
  return allowed;
}

RijndaelKey::RijndaelKey() = default;

RijndaelKey::~RijndaelKey() { Wipe(); }

void RijndaelKey::Wipe() {
  WipeVector(keyBytes_);
  WipeVector(encryptKeys_);
  WipeVector(decryptKeys_);
  hardware_.reset();
}

void RijndaelKey::UseCipherPath(CipherPath path) {
  wantsHardware_ = path == CipherPath::Hardware && HardwareCipherAllowed();
  PrepareHardware();
}

// The AES instructions serve the 192-bit block only; other widths stay on the tables.
void RijndaelKey::PrepareHardware() {
  hardware_.reset();
  if (wantsHardware_ && blockWords_ == 6 && !encryptKeys_.empty()) {
    hardware_ = std::make_unique<RijndaelAesNi>(encryptKeys_.data(), decryptKeys_.data(), rounds_);
  }
}

int RijndaelKey::SetKeyLength(int bits) {
  if (bits != 128 && bits != 192 && bits != 256) return kRijndaelInvalidLength;
  keyWords_ = bits / 32;
  return kRijndaelOk;
}

int RijndaelKey::SetKeyBytes(const uint8_t* bytes, size_t length) {
  Wipe();
  if (bytes == nullptr) {
    keyWords_ = 4;
    return kRijndaelOk;
  }
  const size_t size = 4 * static_cast<size_t>(keyWords_);
  keyBytes_.resize(size);
  const size_t taken = std::min(length, size);
  if (taken > 0) std::memcpy(keyBytes_.data(), bytes, taken);
  for (size_t i = taken; i < size; ++i) keyBytes_[i] = kInvS[kKeyFillStart + (i - taken)];
  return kRijndaelOk;
}

int RijndaelKey::ExpandKey(int blockWords) {
  if (keyBytes_.empty()) return kRijndaelNoKey;
  if (blockWords >= 8) {
    blockWords_ = 8;
    rounds_ = 14;
  } else {
    blockWords_ = blockWords < 6 ? 4 : 6;
    rounds_ = keyWords_ == 8 ? 14 : keyWords_ == 6 ? 12 : 10;
  }
  WipeVector(encryptKeys_);
  WipeVector(decryptKeys_);

  const int total = (rounds_ + 1) * blockWords_;
  const int nk = keyWords_;
  encryptKeys_.resize(static_cast<size_t>(total));
  uint32_t* w = encryptKeys_.data();
  for (int i = 0; i < nk; ++i) {
    const uint8_t* k = keyBytes_.data() + 4 * i;
    w[i] = uint32_t{k[0]} | (uint32_t{k[1]} << 8) | (uint32_t{k[2]} << 16) | (uint32_t{k[3]} << 24);
  }
  uint8_t rcon = 0x01;
  for (int i = nk; i < total; ++i) {
    uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      // RotWord moves byte 1 to row 0; with row r in bits 8r that is a right rotation.
      temp = SubWord((temp >> 8) | (temp << 24)) ^ rcon;
      rcon = XTime(rcon);
    } else if (nk == 8 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }

  decryptKeys_ = encryptKeys_;
  for (int i = blockWords_; i < rounds_ * blockWords_; ++i) {
    decryptKeys_[static_cast<size_t>(i)] = InvMixColumn(encryptKeys_[static_cast<size_t>(i)]);
  }
  PrepareHardware();
  return kRijndaelOk;
}

uint8_t RijndaelKey::CheckByte() const {
  if (keyBytes_.size() < 8) return 0;
  uint8_t check = 0;
  for (int i = 0; i < 8; ++i) check |= keyBytes_[static_cast<size_t>(i)] & (0x80 >> i);
  return check;
}

void RijndaelKey::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
  if (hardware_) {
    hardware_->EncryptBlocks(in, out, count);
    return;
  }
  const uint32_t* ek = encryptKeys_.data();
  const size_t size = 4 * static_cast<size_t>(blockWords_);
  for (size_t i = 0; i < count; ++i, in += size, out += size) {
    switch (blockWords_) {
      case 4:
        EncryptColumns<4>(ek, rounds_, in, out);
        break;
      case 6:
        EncryptColumns<6>(ek, rounds_, in, out);
        break;
      default:
        EncryptColumns<8>(ek, rounds_, in, out);
        break;
    }
  }
}

void RijndaelKey::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
  if (hardware_) {
    hardware_->DecryptBlocks(in, out, count);
    return;
  }
  const uint32_t* ek = encryptKeys_.data();
  const uint32_t* dk = decryptKeys_.data();
  const size_t size = 4 * static_cast<size_t>(blockWords_);
  for (size_t i = 0; i < count; ++i, in += size, out += size) {
    switch (blockWords_) {
      case 4:
        DecryptColumns<4>(ek, dk, rounds_, in, out);
        break;
      case 6:
        DecryptColumns<6>(ek, dk, rounds_, in, out);
        break;
      default:
        DecryptColumns<8>(ek, dk, rounds_, in, out);
        break;
    }
  }
}

int RijndaelBlock::SetBlockWords(int blockWords) {
  if (blockWords != 4 && blockWords != 6 && blockWords != 8) return kRijndaelInvalidLength;
  blockWords_ = blockWords;
  return kRijndaelOk;
}

int RijndaelBlock::BindKey(const RijndaelKey* key) {
  if (key == nullptr || !key->HasSchedule()) return kRijndaelNoKey;
  key_ = key;
  return kRijndaelOk;
}

bool RijndaelBlock::Usable() const {
  return base_ != nullptr && key_ != nullptr && key_->HasSchedule() &&
         key_->BlockWords() == blockWords_;
}

int RijndaelBlock::EncryptBlock() {
  if (!Usable()) return kRijndaelNoKey;
  key_->EncryptBlock(base_, base_);
  return kRijndaelOk;
}

int RijndaelBlock::DecryptBlock() {
  if (!Usable()) return kRijndaelNoKey;
  key_->DecryptBlock(base_, base_);
  return kRijndaelOk;
}

}  // namespace quillon

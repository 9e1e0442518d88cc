#include "crypto/RijndaelAesNi.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QUILLON_HAVE_AESNI 1
#else
#define QUILLON_HAVE_AESNI 0
#endif

namespace quillon {

namespace {

// How the 24-byte block is held. An AES instruction keeps a 4 x 4 state in a register as byte
// 4 * column + row and applies its own ShiftRows (row r rotated by r within 4 columns),
// SubBytes, MixColumns and the round key. SubBytes and MixColumns work byte by byte and column
// by column, so for 6 columns only ShiftRows differs. The six columns live in two registers,
// X and Y, each of three columns with one repeated in the spare lane: lanes 0..7 hold columns
// 0 1 2 2 and 3 4 5 3. A repeated column gets the same round-key column as its twin and so
// stays equal to it. Before each round the bytes are moved so that the instruction's own
// 4-column ShiftRows lands every byte where the 6-column ShiftRows puts it: per register one
// blend of X and Y in 16-bit pieces, then one byte shuffle. The repeats are what let a single
// blend gather all the bytes a register needs; MakeMoves finds the blends and checks that.
constexpr int kColumns = 6;
constexpr int kLaneColumn[8] = {0, 1, 2, 2, 3, 4, 5, 3};
constexpr uint8_t kZero = 0x80;  // a shuffle index that yields a zero byte

constexpr int Mod(int a, int m) { return ((a % m) + m) % m; }

// The column whose byte in row `row` output lane `outLane` of register `reg` must receive: the
// block's ShiftRows gives column c row r the byte of column (c + direction * r) mod 6, and the
// instruction's ShiftRows fetches it from input lane (outLane + direction * row) mod 4
// (InputLane). `direction` is +1 for encryption (rows rotate left), -1 for decryption.
constexpr int WantedColumn(int reg, int outLane, int row, int direction) {
  return Mod(kLaneColumn[4 * reg + outLane] + direction * row, kColumns);
}
constexpr int InputLane(int outLane, int row, int direction) {
  return Mod(outLane + direction * row, 4);
}

struct Moves {
  // Before rounds 2..rounds, register `reg` becomes shuffle(blend(X, Y, blend[reg]),
  // order[reg]); bit w of a blend takes 16-bit piece w (bytes 2w, 2w + 1) from Y, else from X.
  int blend[2] = {};
  alignas(16) uint8_t order[2][16] = {};
  // Before round 1, from the block as it lies in memory (after the entry key): `low` holds
  // bytes 0..15, `high` bytes 8..23; register `reg` = shuffle(low, fromLow[reg]) |
  // shuffle(high, fromHigh[reg]).
  alignas(16) uint8_t fromLow[2][16] = {};
  alignas(16) uint8_t fromHigh[2][16] = {};
  // After the last round: block bytes 0..15 (part 0) and 8..23 (part 1) =
  // shuffle(X, toX[part]) | shuffle(Y, toY[part]).
  alignas(16) uint8_t toX[2][16] = {};
  alignas(16) uint8_t toY[2][16] = {};
  bool found = true;
};

// Whether the blend `pick` (bit k: lane k from Y) gives register `reg` every column that row
// `row` needs.
constexpr bool PickServes(int pick, int reg, int row, int direction) {
  for (int j = 0; j < 4; ++j) {
    bool have = false;
    for (int k = 0; k < 4; ++k) {
      have = have || kLaneColumn[4 * ((pick >> k) & 1) + k] == WantedColumn(reg, j, row, direction);
    }
    if (!have) return false;
  }
  return true;
}

constexpr Moves MakeMoves(int direction) {
  Moves m;
  for (int reg = 0; reg < 2; ++reg) {
    // A 16-bit piece holds rows 0 and 1, or rows 2 and 3, of one lane: one choice per lane
    // must serve both rows of a pair.
    for (int firstRow = 0; firstRow < 4; firstRow += 2) {
      int chosen = -1;
      for (int pick = 0; pick < 16 && chosen < 0; ++pick) {
        if (PickServes(pick, reg, firstRow, direction) &&
            PickServes(pick, reg, firstRow + 1, direction)) {
          chosen = pick;
        }
      }
      if (chosen < 0) {
        m.found = false;
        continue;
      }
      for (int k = 0; k < 4; ++k) {
        if ((chosen >> k) & 1) m.blend[reg] |= 1 << (2 * k + firstRow / 2);
      }
      for (int row = firstRow; row < firstRow + 2; ++row) {
        for (int j = 0; j < 4; ++j) {
          const int want = WantedColumn(reg, j, row, direction);
          int from = 0;
          while (kLaneColumn[4 * ((chosen >> from) & 1) + from] != want) ++from;
          const int at = 4 * InputLane(j, row, direction) + row;
          m.order[reg][at] = static_cast<uint8_t>(4 * from + row);
          // The same byte straight from memory for round 1: row after row, 6 columns.
          const int byte = kColumns * row + want;
          m.fromLow[reg][at] = byte < 16 ? static_cast<uint8_t>(byte) : kZero;
          m.fromHigh[reg][at] = byte < 16 ? kZero : static_cast<uint8_t>(byte - 8);
        }
      }
    }
  }
  // Each column's first lane, for writing the block back.
  int laneOf[kColumns] = {};
  for (int lane = 7; lane >= 0; --lane) laneOf[kLaneColumn[lane]] = lane;
  for (int part = 0; part < 2; ++part) {
    for (int i = 0; i < 16; ++i) {
      const int byte = 8 * part + i;
      const int lane = laneOf[byte % kColumns];
      const uint8_t at = static_cast<uint8_t>(4 * (lane % 4) + byte / kColumns);
      m.toX[part][i] = lane < 4 ? at : kZero;
      m.toY[part][i] = lane < 4 ? kZero : at;
    }
  }
  return m;
}

alignas(16) constexpr Moves kEncryptMoves = MakeMoves(+1);
alignas(16) constexpr Moves kDecryptMoves = MakeMoves(-1);
static_assert(kEncryptMoves.found && kDecryptMoves.found,
              "every round's bytes can be gathered with one blend per register");

// Byte `row` of schedule word `word`.
uint8_t WordByte(const uint32_t* words, int word, int row) {
  return static_cast<uint8_t>(words[word] >> (8 * row));
}

// Lays out the round key of schedule words [6 * round, 6 * round + 6) for X and Y.
void LayOutRoundKey(const uint32_t* words, int round, uint8_t* out) {
  for (int lane = 0; lane < 8; ++lane) {
    for (int row = 0; row < 4; ++row) {
      out[4 * lane + row] = WordByte(words, kColumns * round + kLaneColumn[lane], row);
    }
  }
}

// The round key of `round` as the block lies in memory: bytes 0..15, then bytes 8..23.
void LayOutEntryKey(const uint32_t* words, int round, uint8_t* out) {
  for (int i = 0; i < 32; ++i) {
    const int byte = i < 16 ? i : i - 8;
    out[i] = WordByte(words, kColumns * round + byte % kColumns, byte / kColumns);
  }
}

#if QUILLON_HAVE_AESNI

#define QUILLON_AESNI_TARGET __attribute__((target("aes,ssse3,sse4.1")))

QUILLON_AESNI_TARGET inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

QUILLON_AESNI_TARGET inline void Store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <bool kDecrypt>
QUILLON_AESNI_TARGET inline __m128i Round(__m128i state, __m128i key) {
  if constexpr (kDecrypt) return _mm_aesdec_si128(state, key);
  return _mm_aesenc_si128(state, key);
}

template <bool kDecrypt>
QUILLON_AESNI_TARGET inline __m128i LastRound(__m128i state, __m128i key) {
  if constexpr (kDecrypt) return _mm_aesdeclast_si128(state, key);
  return _mm_aesenclast_si128(state, key);
}

QUILLON_AESNI_TARGET inline __m128i LoadAligned(const uint8_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

// Moves the bytes of the N blocks (X, Y) for the next round.
template <const Moves& m, int N>
QUILLON_AESNI_TARGET inline void MoveForRound(__m128i (&x)[N], __m128i (&y)[N]) {
  constexpr int kBlendX = m.blend[0];  // the instruction takes the blend as an immediate
  constexpr int kBlendY = m.blend[1];
  const __m128i orderX = LoadAligned(m.order[0]);
  const __m128i orderY = LoadAligned(m.order[1]);
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    const __m128i nextX = _mm_shuffle_epi8(_mm_blend_epi16(x[i], y[i], kBlendX), orderX);
    y[i] = _mm_shuffle_epi8(_mm_blend_epi16(x[i], y[i], kBlendY), orderY);
    x[i] = nextX;
  }
}

// N blocks side by side: their rounds are independent, so the processor overlaps the
// latency of one block's AES instructions with the work on the others. `keys` is 16-aligned.
template <bool kDecrypt, int N>
QUILLON_AESNI_TARGET void TransformBlocks(const uint8_t* keys, int rounds, const uint8_t* in,
                                          uint8_t* out) {
  static constexpr const Moves& m = kDecrypt ? kDecryptMoves : kEncryptMoves;
  constexpr int kBlock = RijndaelAesNi::kBlockBytes;
  __m128i x[N];
  __m128i y[N];
  {
    const __m128i keyLow = LoadAligned(keys);
    const __m128i keyHigh = LoadAligned(keys + 16);
    const __m128i xLow = LoadAligned(m.fromLow[0]), xHigh = LoadAligned(m.fromHigh[0]);
    const __m128i yLow = LoadAligned(m.fromLow[1]), yHigh = LoadAligned(m.fromHigh[1]);
#pragma GCC unroll 8
    for (int i = 0; i < N; ++i) {
      const __m128i low = _mm_xor_si128(Load(in + kBlock * i), keyLow);
      const __m128i high = _mm_xor_si128(Load(in + kBlock * i + 8), keyHigh);
      x[i] = _mm_or_si128(_mm_shuffle_epi8(low, xLow), _mm_shuffle_epi8(high, xHigh));
      y[i] = _mm_or_si128(_mm_shuffle_epi8(low, yLow), _mm_shuffle_epi8(high, yHigh));
    }
  }
  for (int round = 1; round < rounds; ++round) {
    if (round > 1) MoveForRound<m, N>(x, y);
    const __m128i keyX = LoadAligned(keys + 32 * round);
    const __m128i keyY = LoadAligned(keys + 32 * round + 16);
#pragma GCC unroll 8
    for (int i = 0; i < N; ++i) {
      x[i] = Round<kDecrypt>(x[i], keyX);
      y[i] = Round<kDecrypt>(y[i], keyY);
    }
  }
  MoveForRound<m, N>(x, y);
  {
    const __m128i keyX = LoadAligned(keys + 32 * rounds);
    const __m128i keyY = LoadAligned(keys + 32 * rounds + 16);
#pragma GCC unroll 8
    for (int i = 0; i < N; ++i) {
      x[i] = LastRound<kDecrypt>(x[i], keyX);
      y[i] = LastRound<kDecrypt>(y[i], keyY);
    }
  }
  const __m128i toX0 = LoadAligned(m.toX[0]), toY0 = LoadAligned(m.toY[0]);
  const __m128i toX1 = LoadAligned(m.toX[1]), toY1 = LoadAligned(m.toY[1]);
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    // Bytes 8..15 are in both halves; the second store writes them again unchanged.
    Store(out + kBlock * i,
          _mm_or_si128(_mm_shuffle_epi8(x[i], toX0), _mm_shuffle_epi8(y[i], toY0)));
    Store(out + kBlock * i + 8,
          _mm_or_si128(_mm_shuffle_epi8(x[i], toX1), _mm_shuffle_epi8(y[i], toY1)));
  }
}

template <bool kDecrypt>
void TransformAll(const uint8_t* keys, int rounds, const uint8_t* in, uint8_t* out, size_t count) {
  // Six blocks keep the AES units busy while each block waits on its previous instruction;
  // more run out of registers (measured: 4 blocks 3.1, 6 blocks 3.8, 8 blocks 2.6 GB/s).
  constexpr int kSideBySide = 6;
  constexpr size_t kStep = size_t{kSideBySide} * RijndaelAesNi::kBlockBytes;
  for (; count >= kSideBySide; count -= kSideBySide, in += kStep, out += kStep) {
    TransformBlocks<kDecrypt, kSideBySide>(keys, rounds, in, out);
  }
  for (; count > 0; --count, in += RijndaelAesNi::kBlockBytes, out += RijndaelAesNi::kBlockBytes) {
    TransformBlocks<kDecrypt, 1>(keys, rounds, in, out);
  }
}

#endif  // QUILLON_HAVE_AESNI

}  // namespace

bool RijndaelAesNi::Supported() {
#if QUILLON_HAVE_AESNI
  static const bool supported = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    return (c & bit_AES) != 0 && (c & bit_SSSE3) != 0 && (c & bit_SSE4_1) != 0;
  }();
  return supported;
#else
  return false;
#endif
}

RijndaelAesNi::RijndaelAesNi(const uint32_t* encryptWords, const uint32_t* decryptWords, int rounds)
    : rounds_(rounds) {
  // Encryption: entry key 0, then rounds 1..rounds. Decryption: entry key `rounds`, then the
  // inverse-mixed keys rounds-1..1, then key 0 for the last round.
  LayOutEntryKey(encryptWords, 0, encryptKeys_);
  LayOutEntryKey(encryptWords, rounds, decryptKeys_);
  for (int round = 1; round <= rounds; ++round) {
    LayOutRoundKey(encryptWords, round, encryptKeys_ + 32 * round);
    const int inverse = rounds - round;
    LayOutRoundKey(inverse == 0 ? encryptWords : decryptWords, inverse, decryptKeys_ + 32 * round);
  }
}

RijndaelAesNi::~RijndaelAesNi() {
  volatile uint8_t* e = encryptKeys_;
  volatile uint8_t* d = decryptKeys_;
  for (size_t i = 0; i < kKeysBytes; ++i) {
    e[i] = 0;
    d[i] = 0;
  }
}

void RijndaelAesNi::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
#if QUILLON_HAVE_AESNI
  TransformAll<false>(encryptKeys_, rounds_, in, out, count);
#else
  (void)in, (void)out, (void)count;
#endif
}

void RijndaelAesNi::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
#if QUILLON_HAVE_AESNI
  TransformAll<true>(decryptKeys_, rounds_, in, out, count);
#else
  (void)in, (void)out, (void)count;
#endif
}

}  // namespace quillon

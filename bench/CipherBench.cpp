// Throughput of the cipher blob with the widths of a "QVR4" container (128-bit key, 192-bit
// block, 10 rounds) and of a "QVR5" one (256-bit key, 14 rounds), on 1 MiB pieces, one core,
// with the table path and the hardware path side by side. Run a release build:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_TESTS=OFF
//   cmake --build build/bench --target cipher_bench && build/bench/bench/cipher_bench
// Bytes are counted as plaintext bytes, so "bytes_per_second" is plaintext bytes/s either way.
//   Encrypt, Decrypt              BlobEncryptor / BlobDecryptor into a reused buffer, as the
//                                 transfers and quillon-tool use them
//   EncryptBuffer, DecryptBuffer  the whole-buffer calls, which allocate their result
//   EncryptBlocks                 the block function alone, on 1 MiB of blocks in place
// The hardware rows fail with a message where the processor has no AES instructions or
// QUILLON_CIPHER=table forces the tables; QUILLON_CIPHER=aesni runs them in 128-bit registers
// where the processor also has the 512-bit forms.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"

namespace {

using quillon::CipherPath;

constexpr size_t kBufferSize = 1 << 20;

std::vector<uint8_t> RandomBytes(size_t n) {
  std::mt19937 random(42);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

// False (and the row marked failed) when the path asked for is not the one the key takes.
bool MakeKey(benchmark::State& state, quillon::RijndaelKey& key, CipherPath path, int keyBits) {
  key.UseCipherPath(path);
  key.SetKeyLength(keyBits);
  key.SetKeyBytes("benchmark key");
  key.ExpandKey(6);
  if (key.ActivePath() != path) {
    state.SkipWithError("no hardware path: no AES instructions, or QUILLON_CIPHER=table");
    return false;
  }
  return true;
}

void BM_Encrypt(benchmark::State& state, CipherPath path, int keyBits) {
  quillon::RijndaelKey key;
  if (!MakeKey(state, key, path, keyBits)) return;
  const auto plain = RandomBytes(kBufferSize);
  std::vector<uint8_t> blob;
  blob.reserve(quillon::BlobSize(6, kBufferSize));
  for (auto _ : state) {
    blob.clear();
    quillon::BlobEncryptor encryptor;
    encryptor.Begin(key, plain.size(), blob);
    encryptor.Update(plain.data(), plain.size(), blob);
    encryptor.Finish(blob);
    benchmark::DoNotOptimize(blob.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

void BM_Decrypt(benchmark::State& state, CipherPath path, int keyBits) {
  quillon::RijndaelKey key;
  if (!MakeKey(state, key, path, keyBits)) return;
  const auto plain = RandomBytes(kBufferSize);
  const auto blob = *quillon::EncryptBuffer(key, plain.data(), plain.size());
  std::vector<uint8_t> back;
  back.reserve(kBufferSize);
  for (auto _ : state) {
    back.clear();
    quillon::BlobDecryptor decryptor(key);
    if (!decryptor.Update(blob.data(), blob.size(), back) || !decryptor.Finish()) {
      state.SkipWithError("decryption failed");
      break;
    }
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

void BM_EncryptBuffer(benchmark::State& state, CipherPath path, int keyBits) {
  quillon::RijndaelKey key;
  if (!MakeKey(state, key, path, keyBits)) return;
  const auto plain = RandomBytes(kBufferSize);
  for (auto _ : state) {
    auto blob = quillon::EncryptBuffer(key, plain.data(), plain.size());
    benchmark::DoNotOptimize(blob->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

void BM_DecryptBuffer(benchmark::State& state, CipherPath path, int keyBits) {
  quillon::RijndaelKey key;
  if (!MakeKey(state, key, path, keyBits)) return;
  const auto plain = RandomBytes(kBufferSize);
  const auto blob = *quillon::EncryptBuffer(key, plain.data(), plain.size());
  for (auto _ : state) {
    auto back = quillon::DecryptBuffer(key, blob.data(), blob.size());
    if (!back) {
      state.SkipWithError("decryption failed");
      break;
    }
    benchmark::DoNotOptimize(back->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

void BM_EncryptBlocks(benchmark::State& state, CipherPath path, int keyBits) {
  quillon::RijndaelKey key;
  if (!MakeKey(state, key, path, keyBits)) return;
  auto blocks = RandomBytes(kBufferSize / 24 * 24);
  for (auto _ : state) {
    key.EncryptBlocks(blocks.data(), blocks.data(), blocks.size() / 24);
    benchmark::DoNotOptimize(blocks.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * blocks.size()));
}

// Each pair of rows differs in the path alone, so the two run next to each other.
BENCHMARK_CAPTURE(BM_Encrypt, qvr4_table, CipherPath::Table, 128)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encrypt, qvr4_hardware, CipherPath::Hardware, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decrypt, qvr4_table, CipherPath::Table, 128)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decrypt, qvr4_hardware, CipherPath::Hardware, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decrypt, qvr5_table, CipherPath::Table, 256)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decrypt, qvr5_hardware, CipherPath::Hardware, 256)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncryptBuffer, qvr4_table, CipherPath::Table, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncryptBuffer, qvr4_hardware, CipherPath::Hardware, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecryptBuffer, qvr4_table, CipherPath::Table, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecryptBuffer, qvr4_hardware, CipherPath::Hardware, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncryptBlocks, qvr4_table, CipherPath::Table, 128)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncryptBlocks, qvr4_hardware, CipherPath::Hardware, 128)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

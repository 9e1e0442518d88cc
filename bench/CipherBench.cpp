// Throughput of EncryptBuffer and DecryptBuffer with the widths of a "QVR4" container
// (128-bit key, 192-bit block, 10 rounds) on 1 MiB buffers. Run a release build:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_TESTS=OFF
//   cmake --build build/bench --target cipher_bench && build/bench/bench/cipher_bench
// Bytes are counted as plaintext bytes, so "bytes_per_second" is plaintext MB/s either way.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;

std::vector<uint8_t> RandomBytes(size_t n) {
  std::mt19937 random(42);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

void MakeContainerKey(quillon::RijndaelKey& key) {
  key.SetKeyLength(128);
  key.SetKeyBytes("benchmark key");
  key.ExpandKey(6);
}

void BM_EncryptBuffer(benchmark::State& state) {
  quillon::RijndaelKey key;
  MakeContainerKey(key);
  const auto plain = RandomBytes(kBufferSize);
  for (auto _ : state) {
    auto blob = quillon::EncryptBuffer(key, plain.data(), plain.size());
    benchmark::DoNotOptimize(blob->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

void BM_DecryptBuffer(benchmark::State& state) {
  quillon::RijndaelKey key;
  MakeContainerKey(key);
  const auto plain = RandomBytes(kBufferSize);
  const auto blob = *quillon::EncryptBuffer(key, plain.data(), plain.size());
  for (auto _ : state) {
    auto back = quillon::DecryptBuffer(key, blob.data(), blob.size());
    if (!back) state.SkipWithError("decryption failed");
    benchmark::DoNotOptimize(back->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

BENCHMARK(BM_EncryptBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptBuffer)->Unit(benchmark::kMillisecond);

}  // namespace

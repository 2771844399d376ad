// Throughput of the file checksum over a buffer in memory.
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "inspection/Hashier.h"

namespace {

std::vector<std::uint8_t> MakeBuffer(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::mt19937 random(20240102);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

void BM_Checksum31(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = MakeBuffer(64u << 20);  // 64 MiB
  for (auto _ : state) {
    benchmark::DoNotOptimize(inspection::Checksum31(bytes.data(), bytes.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_Checksum31)->Unit(benchmark::kMillisecond);

// Bytes of 0xFF: after the 31st, every step leaves the 31-bit range and is dropped.
void BM_Checksum31_AllDropped(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes(64u << 20, 0xFF);
  for (auto _ : state) {
    benchmark::DoNotOptimize(inspection::Checksum31(bytes.data(), bytes.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_Checksum31_AllDropped)->Unit(benchmark::kMillisecond);

}  // namespace

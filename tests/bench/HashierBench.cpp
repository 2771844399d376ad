// Throughput of the file checksum's forms over 64 MiB in memory (more than the caches hold): the plain
// loop, each vector form by name, and the one the program calls on this CPU ("Fastest"), each with
// its speed relative to the plain loop on the same bytes in the same run ("vs_plain"), and how many
// blocks the vector forms took from their vector passes and how many the plain loop redid. Run it from
// a build without sanitizers (tools/bench.sh).
//
// Data sets: random bytes that never bring h to the top (from the top on, every form stops at once);
// random bytes with one dropped step in the middle of every block (every block redone from its middle
// lane); and bytes of 0xFF, where h reaches the top after 31 bytes.
#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "inspection/Checksum31.h"
#include "tests/native/Checksum31Data.h"

namespace {

using checksum31_test::Before;
using checksum31_test::Builder;
using inspection::Checksum31Blocks;
using inspection::kChecksum31BlockBytes;
using inspection::kChecksum31LaneBytes;
using inspection::kChecksum31Top;

constexpr std::size_t kSize = 64u << 20;

const std::vector<std::uint8_t>& Clean() {
  static const std::vector<std::uint8_t> bytes = [] {
    for (std::uint32_t seed = 20240102;; ++seed) {
      std::mt19937 random(seed);
      Builder built;
      built.AddRandom(kSize, random);
      if (built.h() != kChecksum31Top && built.dropped().size() < 8) return built.bytes();
    }
  }();
  return bytes;
}

const std::vector<std::uint8_t>& DropPerBlock() {
  static const std::vector<std::uint8_t> bytes = [] {
    for (std::uint32_t seed = 20240103;; ++seed) {
      std::mt19937 random(seed);
      Builder built;
      bool steered = true;
      for (std::size_t block = 0; block + kChecksum31BlockBytes <= kSize; block += kChecksum31BlockBytes) {
        // h just below the top in lane 16, then a byte whose step is dropped, then a zero byte that
        // takes h away from the top again.
        steered = built.RandomThenSteer(block + 16 * kChecksum31LaneBytes + 400, Before(kChecksum31Top - 10, 0), random) && steered;
        for (std::uint8_t b : {0, 200, 0}) built.Add(b);
      }
      built.AddRandom(kSize - built.size(), random);
      if (steered && built.h() != kChecksum31Top) return built.bytes();
    }
  }();
  return bytes;
}

const std::vector<std::uint8_t>& AllFF() {
  static const std::vector<std::uint8_t> bytes(kSize, 0xFF);
  return bytes;
}

using Form = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t, Checksum31Blocks*) noexcept;

std::uint32_t Plain(std::uint32_t h, const std::uint8_t* data, std::size_t size, Checksum31Blocks*) noexcept {
  return inspection::Checksum31Plain(h, data, size);
}

double Seconds(Form form, const std::vector<std::uint8_t>& bytes) {
  const auto start = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(form(0, bytes.data(), bytes.size(), nullptr));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The plain loop's best time over the bytes, measured once per data set.
double PlainSeconds(const std::vector<std::uint8_t>& bytes) {
  static std::map<const std::vector<std::uint8_t>*, double> seconds;
  auto it = seconds.find(&bytes);
  if (it == seconds.end()) {
    double best = Seconds(Plain, bytes);
    for (int round = 0; round < 4; ++round) best = std::min(best, Seconds(Plain, bytes));
    it = seconds.emplace(&bytes, best).first;
  }
  return it->second;
}

void Run(benchmark::State& state, Form form, const std::vector<std::uint8_t>& (*data)(), bool needsAvx2) {
  if (needsAvx2 && !inspection::Checksum31HasAvx2()) {
    state.SkipWithError("this CPU has no AVX2");
    return;
  }
  const std::vector<std::uint8_t>& bytes = data();
  const double plain = PlainSeconds(bytes);
  Checksum31Blocks blocks;
  form(0, bytes.data(), bytes.size(), &blocks);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(form(0, bytes.data(), bytes.size(), nullptr));
  }
  const double each = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                      static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
  state.counters["vs_plain"] = plain / each;
  state.counters["vector_blocks"] = static_cast<double>(blocks.vector);
  state.counters["redone_blocks"] = static_cast<double>(blocks.redone);
}

#define WDL_CHECKSUM_BENCH(name, form, data, avx2) \
  BENCHMARK_CAPTURE(Run, name, form, data, avx2)->Unit(benchmark::kMillisecond)->MinTime(1.0)

WDL_CHECKSUM_BENCH(Plain_Clean, Plain, Clean, false);
WDL_CHECKSUM_BENCH(Sse2_Clean, inspection::Checksum31Sse2, Clean, false);
WDL_CHECKSUM_BENCH(Avx2_Clean, inspection::Checksum31Avx2, Clean, true);
WDL_CHECKSUM_BENCH(Fastest_Clean, inspection::Checksum31Fast, Clean, false);

WDL_CHECKSUM_BENCH(Plain_DropPerBlock, Plain, DropPerBlock, false);
WDL_CHECKSUM_BENCH(Sse2_DropPerBlock, inspection::Checksum31Sse2, DropPerBlock, false);
WDL_CHECKSUM_BENCH(Avx2_DropPerBlock, inspection::Checksum31Avx2, DropPerBlock, true);

WDL_CHECKSUM_BENCH(Plain_AllFF, Plain, AllFF, false);
WDL_CHECKSUM_BENCH(Sse2_AllFF, inspection::Checksum31Sse2, AllFF, false);
WDL_CHECKSUM_BENCH(Avx2_AllFF, inspection::Checksum31Avx2, AllFF, true);

}  // namespace

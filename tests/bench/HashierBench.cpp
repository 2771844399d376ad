// Throughput of the file checksum's forms over 64 MiB in memory (more than the caches hold): the plain
// loop, each vector form by name, and the one the program calls on this CPU ("Fastest"), each with
// its speed relative to the plain loop on the same bytes in the same run ("vs_plain"), and how many
// blocks the vector forms took from their vector passes and how many the plain loop redid. Run it from
// a build without sanitizers (tools/bench.sh).
//
// Data sets: random bytes that never bring h to the top (from the top on, every form stops at once);
// random bytes with one dropped step in the middle of every block (every block redone from its middle
// lane); and bytes of 0xFF, where h reaches the top after 31 bytes. Small files: the same random bytes
// cut into pieces of the known-good table's sizes below a whole block (2,295 to 31,635 bytes, in the
// table's order, over and over), each piece a checksum of its own as a file's is.
#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "detection/tables/KnownFileTables.h"
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

// What one round checksums with a form: the whole of a data set, or its pieces as small files.
using Work = std::uint32_t (*)(Form form, const std::vector<std::uint8_t>& bytes, Checksum31Blocks* blocks);

std::uint32_t Whole(Form form, const std::vector<std::uint8_t>& bytes, Checksum31Blocks* blocks) {
  return form(0, bytes.data(), bytes.size(), blocks);
}

// Each piece of the small files, from its own start: the sum of their checksums.
std::uint32_t SmallFiles(Form form, const std::vector<std::uint8_t>& bytes, Checksum31Blocks* blocks) {
  static const std::vector<std::size_t> sizes = [] {
    std::vector<std::size_t> below;
    for (const auto size : tables::kGoodSizes16) {
      if (static_cast<std::size_t>(size) < kChecksum31BlockBytes) below.push_back(static_cast<std::size_t>(size));
    }
    return below;
  }();
  std::uint32_t sum = 0;
  std::size_t next = 0;
  for (std::size_t at = 0; at + sizes[next] <= bytes.size(); at += sizes[next], next = (next + 1) % sizes.size()) {
    sum += form(0, bytes.data() + at, sizes[next], blocks);
  }
  return sum;
}

double Seconds(Work work, Form form, const std::vector<std::uint8_t>& bytes) {
  const auto start = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(work(form, bytes, nullptr));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The plain loop's best time over the bytes, measured once per work and data set.
double PlainSeconds(Work work, const std::vector<std::uint8_t>& bytes) {
  static std::map<std::pair<Work, const std::vector<std::uint8_t>*>, double> seconds;
  auto it = seconds.find({work, &bytes});
  if (it == seconds.end()) {
    double best = Seconds(work, Plain, bytes);
    for (int round = 0; round < 4; ++round) best = std::min(best, Seconds(work, Plain, bytes));
    it = seconds.emplace(std::pair(work, &bytes), best).first;
  }
  return it->second;
}

// The CPU feature a form needs.
enum class Needs { kNothing, kAvx2, kAvx512 };

void Run(benchmark::State& state, Work work, Form form, const std::vector<std::uint8_t>& (*data)(), Needs needs) {
  if ((needs == Needs::kAvx2 && !inspection::Checksum31HasAvx2()) ||
      (needs == Needs::kAvx512 && !inspection::Checksum31HasAvx512())) {
    state.SkipWithError("this CPU lacks the form's instructions");
    return;
  }
  const std::vector<std::uint8_t>& bytes = data();
  const double plain = PlainSeconds(work, bytes);
  Checksum31Blocks blocks;
  work(form, bytes, &blocks);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(work(form, bytes, nullptr));
  const double each = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                      static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
  state.counters["vs_plain"] = plain / each;
  state.counters["vector_blocks"] = static_cast<double>(blocks.vector);
  state.counters["redone_blocks"] = static_cast<double>(blocks.redone);
}

#define WDL_CHECKSUM_BENCH(name, form, data, needs) \
  BENCHMARK_CAPTURE(Run, name, Whole, form, data, needs)->Unit(benchmark::kMillisecond)->MinTime(1.0)

WDL_CHECKSUM_BENCH(Plain_Clean, Plain, Clean, Needs::kNothing);
WDL_CHECKSUM_BENCH(Sse2_Clean, inspection::Checksum31Sse2, Clean, Needs::kNothing);
WDL_CHECKSUM_BENCH(Avx2_Clean, inspection::Checksum31Avx2, Clean, Needs::kAvx2);
WDL_CHECKSUM_BENCH(Avx512_Clean, inspection::Checksum31Avx512, Clean, Needs::kAvx512);
WDL_CHECKSUM_BENCH(Fastest_Clean, inspection::Checksum31Fast, Clean, Needs::kNothing);

WDL_CHECKSUM_BENCH(Plain_DropPerBlock, Plain, DropPerBlock, Needs::kNothing);
WDL_CHECKSUM_BENCH(Sse2_DropPerBlock, inspection::Checksum31Sse2, DropPerBlock, Needs::kNothing);
WDL_CHECKSUM_BENCH(Avx2_DropPerBlock, inspection::Checksum31Avx2, DropPerBlock, Needs::kAvx2);
WDL_CHECKSUM_BENCH(Avx512_DropPerBlock, inspection::Checksum31Avx512, DropPerBlock, Needs::kAvx512);

WDL_CHECKSUM_BENCH(Plain_AllFF, Plain, AllFF, Needs::kNothing);
WDL_CHECKSUM_BENCH(Sse2_AllFF, inspection::Checksum31Sse2, AllFF, Needs::kNothing);
WDL_CHECKSUM_BENCH(Avx2_AllFF, inspection::Checksum31Avx2, AllFF, Needs::kAvx2);
WDL_CHECKSUM_BENCH(Avx512_AllFF, inspection::Checksum31Avx512, AllFF, Needs::kAvx512);

#define WDL_SMALL_FILES_BENCH(name, form, needs) \
  BENCHMARK_CAPTURE(Run, name, SmallFiles, form, Clean, needs)->Unit(benchmark::kMillisecond)->MinTime(1.0)

WDL_SMALL_FILES_BENCH(Plain_SmallFiles, Plain, Needs::kNothing);
WDL_SMALL_FILES_BENCH(Sse2_SmallFiles, inspection::Checksum31Sse2, Needs::kNothing);
WDL_SMALL_FILES_BENCH(Avx2_SmallFiles, inspection::Checksum31Avx2, Needs::kAvx2);
WDL_SMALL_FILES_BENCH(Avx512_SmallFiles, inspection::Checksum31Avx512, Needs::kAvx512);
WDL_SMALL_FILES_BENCH(Fastest_SmallFiles, inspection::Checksum31Fast, Needs::kNothing);

}  // namespace

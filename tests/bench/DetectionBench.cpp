// The detection engine on a synthetic machine held in the in-memory doubles: a whole compilation of the
// system state with the file caches warm, reported per inspected item, and the creation of an analyser
// with its 2,954 table entries.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "detection/PaAnalyser.h"
#include "detection/PaDetector.h"
#include "detection/tables/KnownFileTables.h"
#include "tests/bench/SyntheticMachine.h"
#include "tests/doubles/FakeMachine.h"
#include "tests/native/ChosenChecksum.h"

namespace {

constexpr int kFiles = 3000;

using bench::FilePath;
using bench::kItems;

// The machine: 3,000 files, of which four in five carry a company; of the others half are known-good
// modules (size in table C, checksum in table D), a quarter have a good size but an unknown checksum
// and a quarter an unknown size (suspicious as modules). Each process loads 100 distinct files.
struct BenchMachine {
  platform::FakeMachine machine;

  BenchMachine() {
    std::mt19937 random(20240102);
    for (int n = 0; n < kFiles; ++n) {
      const std::wstring path = FilePath(n);
      const int kind = n % 20;
      if (kind < 16) {
        machine.files.AddFile(path, std::vector<std::uint8_t>(2048 + n % 1024, 0x4D));
        machine.versionInfo.Set(path, {{L"CompanyName", L"Vendor " + std::to_wstring(n % 40)},
                                       {L"FileDescription", L"Module"}, {L"ProductName", L"Product"}});
      } else {
        // 16, 17: known good; 18: a good size with an unknown checksum; 19: an unknown size.
        const std::int32_t goodSize = tables::kGoodSizes16[static_cast<std::size_t>(n) % tables::kGoodSizes16.size()];
        const std::int32_t goodChecksum = tables::kGoodHashes1[static_cast<std::size_t>(n) % tables::kGoodHashes1.size()];
        const std::size_t size = static_cast<std::size_t>(kind == 19 ? 3001 : goodSize);
        machine.files.AddFile(path, detection_test::BytesWithChecksum(size, kind < 18 ? goodChecksum : 4242));
      }
    }
    const platform::Hive lm = platform::kHkeyLocalMachine;
    for (int s = 0; s < bench::kServices; ++s) {
      machine.registry.SetString(lm, L"SYSTEM\\CurrentControlSet\\Services\\Svc" + std::to_wstring(s), L"ImagePath",
                                 FilePath((s * 7) % kFiles));
    }
    for (int r = 0; r < bench::kStartups; ++r) {
      machine.registry.SetString(platform::kHkeyCurrentUser, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 L"Run" + std::to_wstring(r), L"\"" + FilePath((r * 13 + 5) % kFiles) + L"\" /min");
    }
    for (int b = 0; b < bench::kExtensions; ++b) {
      bench::AddExtension(machine.registry, b, L"Extension", FilePath((b * 149 + 3) % kFiles));
    }
    std::vector<int> order(kFiles);
    std::iota(order.begin(), order.end(), 0);
    for (int p = 0; p < bench::kProcesses; ++p) {
      std::shuffle(order.begin(), order.end(), random);
      std::vector<std::wstring> modules;
      for (int m = 0; m <= bench::kModulesPerProcess; ++m) {
        modules.push_back(FilePath(order[static_cast<std::size_t>(m)]));
      }
      machine.processes.AddProcess(static_cast<std::uint32_t>(1000 + 4 * p), std::move(modules));
    }
    bench::InstallProgramObjects(std::make_shared<CLogger>());  // no log files: writes nothing
  }
};

SystemState CompileOnce() {
  bench::NeverCancelled progressor;
  SystemState state;
  CPaDetector().CompileSystemState(progressor, 5, 19, state);
  return state;
}

void BM_CompileSystemState(benchmark::State& state) {
  static BenchMachine machine;
  // One compilation to warm the caches (names, existence, version strings, checksums).
  const SystemState warm = CompileOnce();
  if (!warm.oCommonFileList || !warm.oSuspiciousFileList) {
    state.SkipWithError("the compilation did not complete");
    return;
  }
  for (auto _ : state) {
    SystemState result = CompileOnce();
    benchmark::DoNotOptimize(result.oCommonFileList.get());
  }
  state.counters["items"] = kItems;
  state.counters["files"] = static_cast<double>(warm.oCommonFileList->Count());
  state.counters["suspicious"] = static_cast<double>(warm.oSuspiciousFileList->Count());
  state.counters["per_item"] =
      benchmark::Counter(kItems, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CompileSystemState)->Unit(benchmark::kMillisecond);

void BM_CreateAnalyser(benchmark::State& state) {
  for (auto _ : state) {
    CPaAnalyser analyser;
    benchmark::DoNotOptimize(&analyser);
  }
  state.counters["per_entry"] =
      benchmark::Counter(2954, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CreateAnalyser)->Unit(benchmark::kMicrosecond);

}  // namespace

// The whole support-request job (CReporter::MakeStateXML: the compilation of the system state, then the
// state XML) on a machine held entirely in the in-memory doubles, of the shape of the Wine benchmark
// (tests/bench/wine/SupportJobBench.cpp): 5,000 files, 300 processes with 100 modules each beside their
// image, 300 services, 200 startup entries and 20 browser extensions. The files are small (about 8 KiB,
// 40 MiB in all), so that what is measured is the program's own work per file and per inspected item
// rather than reading; one in ten has version strings and one in ten a size of the known-good table.
//
//   BM_SupportJob/fresh: every cache empty, as for the first request after start-up: each file is
//                        looked up, read and summed once; reported per file.
//   BM_SupportJob/warm:  every cache warm: the enumerations, the rules on cached answers and the XML;
//                        reported per inspected item.
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "detection/tables/KnownFileTables.h"
#include "report/Reporter.h"
#include "tests/bench/SyntheticMachine.h"
#include "tests/doubles/FakeMachine.h"

namespace {

constexpr int kFiles = 5000;

struct JobMachine {
  platform::FakeMachine machine;
  std::shared_ptr<bench::CountingLogger> logger = std::make_shared<bench::CountingLogger>();

  JobMachine() {
    std::mt19937 random(20240517);
    std::uniform_int_distribution<int> size(2048, 14336);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::wstring> paths;
    for (int n = 0; n < kFiles; ++n) {
      const std::wstring& path = paths.emplace_back(bench::FilePath(n));
      std::size_t bytes = static_cast<std::size_t>(size(random));
      if (n % 10 == 3) bytes = static_cast<std::size_t>(tables::kGoodSizes16[static_cast<std::size_t>(n) % tables::kGoodSizes16.size()]);
      std::vector<std::uint8_t> content(bytes);
      for (auto& b : content) b = static_cast<std::uint8_t>(byte(random));
      machine.files.AddFile(path, std::move(content));
      if (n % 10 == 7) {
        machine.versionInfo.Set(path, {{L"CompanyName", L"  Vendor " + std::to_wstring(n % 40) + L" "},
                                       {L"FileDescription", L"Module <" + std::to_wstring(n) + L"> & more"},
                                       {L"ProductName", L"Product"}});
      }
    }
    bench::FillEnumerations(paths, machine.registry, machine.processes);
  }

  // This machine and the program-wide objects, whatever another benchmark installed meanwhile.
  void Use() {
    platform::Install(platform::Services{&machine.registry, &machine.files, &machine.processes,
                                         &machine.versionInfo, &machine.system, &machine.desktop,
                                         &machine.components, &machine.http, &machine.zipLibrary,
                                         &machine.shutdown});
    bench::InstallProgramObjects(logger);
  }
};

std::wstring RunJob() {
  bench::NeverCancelled progressor;
  return CReporter().MakeStateXML(progressor, L"Windows", L"x64", L"BENCH-PC", L"comments", L"name", L"e@mail");
}

void BM_SupportJob(benchmark::State& state, bool warm) {
  static JobMachine machine;
  machine.Use();
  const std::wstring first = RunJob();
  if (first.empty() || machine.logger->lines != 0) {
    state.SkipWithError("the job did not complete");
    return;
  }
  for (auto _ : state) {
    if (!warm) {
      state.PauseTiming();
      bench::FreshCaches();
      state.ResumeTiming();
    }
    std::wstring xml = RunJob();
    benchmark::DoNotOptimize(xml.data());
  }
  state.counters["xml_chars"] = static_cast<double>(first.size());
  state.counters[warm ? "per_item" : "per_file"] = benchmark::Counter(
      warm ? bench::kItems : kFiles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(BM_SupportJob, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SupportJob, warm, true)->Unit(benchmark::kMillisecond);

}  // namespace

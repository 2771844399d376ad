// The whole support-request job on the real Win32 API, for tools/bench.sh under Wine (not a test).
//
//   wdl_wine_job_bench.exe [rounds]      (default 5)
//
// The job is CReporter::MakeStateXML with a progressor that never cancels: it compiles the system state
// (CPaDetector::CompileSystemState) and writes the state XML. It runs on a synthetic machine whose
// enumerations come from the in-memory doubles installed over the real registry and process services
// (300 processes of 100 modules each beside their image, drawn from 5,000 distinct files; 300 services;
// 200 startup entries; 20 browser extensions), while its files are 5,000 real files of 1 GiB in all,
// made once in a folder of the temporary folder and removed at the end, read through the real file and
// version services: most hold random bytes and no version data; one in ten is a copy of
// wdl_testdll.dll (which has version strings) and one in ten has a size of the known-good size table.
//
// Each round starts from fresh program-wide caches (checksums, file information, names), as a support
// request right after start-up does, so that every round reads every file once. Against it stands
// reading the same bytes once with the program's own reader: CFileUtilities::ReadFileBytes of every
// file into one reused vector. Both run with the files in the system's cache (all read once before);
// rounds alternate between the two. Printed: the best and median round of each, the ratio job / read,
// the number of files and bytes, the peak working set; then where one job's time goes: every call the
// job made to the file, version and desktop services, counted and timed, and each per-file cost on its
// own over the 5,000 files.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "detection/PaDetector.h"
#include "detection/tables/KnownFileTables.h"
#include "inspection/Hashier.h"
#include "platform/Platform.h"
#include "report/Reporter.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/bench/SyntheticMachine.h"
#include "tests/bench/wine/WineBench.h"
#include "tests/doubles/FakeProcesses.h"
#include "tests/doubles/FakeRegistry.h"

// The interfaces' own names, not the macros of <windows.h>.
#undef ExpandEnvironmentStrings
#undef MessageBox

namespace {

using bench::FreshCaches;
using bench::NowMs;
using bench::TimeMs;
using bench::Timing;

constexpr int kFiles = 5000;
constexpr std::uint64_t kTotalBytes = std::uint64_t{1} << 30;
constexpr int kFolders = 40;
constexpr double kMiB = 1024.0 * 1024.0;

// ---- the files ----------------------------------------------------------------------------------

struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
  }
  double Uniform() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  // `mean` times a factor from e^-0.7 to e^0.7, spread evenly in its logarithm.
  double Around(double mean) { return mean * std::exp(1.4 * Uniform() - 0.7); }
  template <class T>
  void Shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[Next() % i]);
  }
};

enum class Kind { kLarge, kMedium, kSmall, kTiny, kGoodSize, kLibrary };

struct File {
  std::wstring path;
  Kind kind = Kind::kTiny;
  std::uint64_t size = 0;
};

// The scratch folder with its files; everything in it is deleted when this ends.
class Scratch {
 public:
  explicit Scratch(std::wstring root) : root_(std::move(root)) {}
  ~Scratch() {
    for (const File& file : files) ::DeleteFileW(file.path.c_str());
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) ::RemoveDirectoryW(it->c_str());
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  bool MakeFolder(const std::wstring& folder) {
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    folders_.push_back(folder);
    return true;
  }
  const std::wstring& Root() const { return root_; }

  std::vector<File> files;
  std::uint64_t bytes = 0;

 private:
  std::wstring root_;
  std::vector<std::wstring> folders_;
};

std::uint64_t SizeOfFile(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The kinds and sizes: 8 large files take what the others leave of the 1 GiB (about 55 MiB each), 92
// of about 3 MiB, 900 of about 150 KiB, 3,000 of about 24 KiB, 500 of sizes from the known-good size
// table, 500 copies of the test library (none when `library` is empty).
bool PlanFiles(Scratch& scratch, const std::wstring& library, Random& random) {
  const std::uint64_t librarySize = library.empty() ? 0 : SizeOfFile(library);
  std::vector<Kind> kinds;
  const std::pair<Kind, int> counts[] = {{Kind::kLarge, 8},     {Kind::kMedium, 92},    {Kind::kSmall, 900},
                                         {Kind::kTiny, 3000},   {Kind::kGoodSize, 500}, {Kind::kLibrary, 500}};
  for (const auto& [kind, count] : counts) {
    for (int i = 0; i < count; ++i) kinds.push_back(kind == Kind::kLibrary && librarySize == 0 ? Kind::kTiny : kind);
  }
  random.Shuffle(kinds);

  std::uint64_t rest = 0;
  std::vector<double> largeWeights;
  for (int n = 0; n < kFiles; ++n) {
    File file;
    file.kind = kinds[static_cast<std::size_t>(n)];
    wchar_t name[64];
    std::swprintf(name, 64, L"Vendor%02d\\bin\\module%04d.%ls", n % kFolders, n, n % 10 == 0 ? L"exe" : L"dll");
    file.path = scratch.Root() + name;
    switch (file.kind) {
      case Kind::kLarge: largeWeights.push_back(random.Around(1.0)); break;
      case Kind::kMedium: file.size = static_cast<std::uint64_t>(random.Around(3.0 * kMiB)); break;
      case Kind::kSmall: file.size = static_cast<std::uint64_t>(random.Around(150.0 * 1024)); break;
      case Kind::kTiny: file.size = static_cast<std::uint64_t>(random.Around(24.0 * 1024)); break;
      case Kind::kGoodSize: {
        const auto& sizes = tables::kGoodSizes16;
        file.size = static_cast<std::uint64_t>(sizes[random.Next() % sizes.size()]);
        break;
      }
      case Kind::kLibrary: file.size = librarySize; break;
    }
    rest += file.size;
    scratch.files.push_back(std::move(file));
  }
  if (rest >= kTotalBytes) return false;
  double weights = 0;
  for (double w : largeWeights) weights += w;
  std::uint64_t left = kTotalBytes - rest;
  std::size_t large = 0;
  for (File& file : scratch.files) {
    if (file.kind != Kind::kLarge) continue;
    file.size = ++large == largeWeights.size()
                    ? left
                    : static_cast<std::uint64_t>(static_cast<double>(kTotalBytes - rest) * largeWeights[large - 1] / weights);
    left -= file.size;
  }
  scratch.bytes = kTotalBytes;
  return true;
}

bool WriteRandomFile(const File& file, Random& random, std::vector<std::uint64_t>& piece) {
  const auto handle = bench::OpenFile(file.path, GENERIC_WRITE, CREATE_ALWAYS);
  bool ok = static_cast<bool>(handle);
  for (std::uint64_t done = 0; done < file.size && ok;) {
    const std::uint64_t part = std::min<std::uint64_t>(file.size - done, piece.size() * 8);
    for (std::size_t i = 0; i < (part + 7) / 8; ++i) piece[i] = random.Next();
    DWORD written = 0;
    ok = ::WriteFile(handle.Get(), piece.data(), static_cast<DWORD>(part), &written, nullptr) && written == part;
    done += part;
  }
  return ok;
}

bool MakeFiles(Scratch& scratch, const std::wstring& library, Random& random) {
  if (!scratch.MakeFolder(scratch.Root().substr(0, scratch.Root().size() - 1))) return false;
  for (int f = 0; f < kFolders; ++f) {
    wchar_t folder[32];
    std::swprintf(folder, 32, L"Vendor%02d", f);
    if (!scratch.MakeFolder(scratch.Root() + folder) || !scratch.MakeFolder(scratch.Root() + folder + L"\\bin")) {
      return false;
    }
  }
  std::vector<std::uint64_t> piece((1u << 20) / 8);
  for (const File& file : scratch.files) {
    const bool ok = file.kind == Kind::kLibrary ? ::CopyFileW(library.c_str(), file.path.c_str(), FALSE) != FALSE
                                                : WriteRandomFile(file, random, piece);
    if (!ok) return false;
  }
  return true;
}

// ---- the job ------------------------------------------------------------------------------------

std::wstring RunJob() {
  bench::NeverCancelled progressor;
  return CReporter().MakeStateXML(progressor, L"Microsoft Windows 7 Professional Service Pack 1",
                                  L"AMD64 Family 25 Model 1", L"BENCH-PC", L"The browser opens pages by itself.",
                                  L"Bench User", L"bench@example.com");
}

// The document without its meta data (which holds the time of sending): the same in every round.
std::wstring WithoutMeta(const std::wstring& xml) {
  const std::size_t end = xml.find(L"</meta>");
  return end == std::wstring::npos ? xml : xml.substr(end);
}

std::uint64_t Fnv1a(const std::wstring& text) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (wchar_t c : text) h = (h ^ static_cast<std::uint16_t>(c)) * 0x100000001b3ull;
  return h;
}

// ---- where the time goes: every call the job makes to the platform's services -------------------

struct CallCost {
  long long calls = 0;
  double ms = 0;
};
using CallCosts = std::map<std::string, CallCost>;

// Counts one call and adds the time from its construction to its end.
class CallTimer {
 public:
  CallTimer(CallCosts& costs, const char* name) : cost_(costs[name]) { ++cost_.calls; }
  ~CallTimer() { cost_.ms += NowMs() - start_; }

 private:
  CallCost& cost_;
  const double start_ = NowMs();
};

// Passes every call to the real `Interface`; those made with WDL_TIMED are counted and timed under
// "<area>.<name>".
template <class Interface>
class TimedOver : public Interface {
 public:
  TimedOver(Interface& real, CallCosts& costs) : real_(real), costs_(costs) {}

 protected:
  Interface& real_;
  CallCosts& costs_;
};

#define WDL_TIMED(area, name, ...)                \
  const CallTimer timer(costs_, #area "." #name); \
  return real_.name(__VA_ARGS__)

class TimedFiles final : public TimedOver<platform::IFileSystem> {
 public:
  using TimedOver::TimedOver;
  bool Exists(const std::wstring& p) override { WDL_TIMED(Files, Exists, p); }
  bool ReadAll(const std::wstring& p, std::vector<std::uint8_t>& b, std::uint64_t m, unsigned long& e) override {
    WDL_TIMED(Files, ReadAll, p, b, m, e);
  }
  bool WriteAll(const std::wstring& p, const std::vector<std::uint8_t>& b, unsigned long& e) override {
    WDL_TIMED(Files, WriteAll, p, b, e);
  }
  bool AppendAll(const std::wstring& p, const std::vector<std::uint8_t>& b, unsigned long& e) override {
    WDL_TIMED(Files, AppendAll, p, b, e);
  }
  bool Copy(const std::wstring& f, const std::wstring& t, bool x, unsigned long& e) override {
    WDL_TIMED(Files, Copy, f, t, x, e);
  }
  bool MoveW(const std::wstring& f, const std::wstring& t, unsigned long& e) override { WDL_TIMED(Files, MoveW, f, t, e); }
  bool MoveA(const std::string& f, const std::string& t, unsigned long& e) override { WDL_TIMED(Files, MoveA, f, t, e); }
  bool Delete(const std::wstring& p, unsigned long& e) override { WDL_TIMED(Files, Delete, p, e); }
  bool SetAttributes(const std::wstring& p, std::uint32_t a, unsigned long& e) override {
    WDL_TIMED(Files, SetAttributes, p, a, e);
  }
  std::uint32_t GetAttributes(const std::wstring& p) override { WDL_TIMED(Files, GetAttributes, p); }
  bool FindFirstSize(const std::string& p, std::uint64_t& s) override { WDL_TIMED(Files, FindFirstSize, p, s); }
  bool FindFirstSizeW(const std::wstring& p, std::uint64_t& s) override { WDL_TIMED(Files, FindFirstSizeW, p, s); }
  unsigned long SearchPathW(const std::wstring& n, unsigned long c, std::wstring& f) override {
    WDL_TIMED(Files, SearchPathW, n, c, f);
  }
  unsigned long SearchPathA(const std::string& n, unsigned long c, std::string& f) override {
    WDL_TIMED(Files, SearchPathA, n, c, f);
  }
  unsigned long GetLongPathNameW(const std::wstring& p, unsigned long c, std::wstring& l) override {
    WDL_TIMED(Files, GetLongPathNameW, p, c, l);
  }
  std::wstring ExpandEnvironmentStrings(const std::wstring& t) override { WDL_TIMED(Files, ExpandEnvironmentStrings, t); }
  std::wstring ProgramFolder() override { return real_.ProgramFolder(); }
  std::wstring TempFolder() override { return real_.TempFolder(); }
};

class TimedVersionInfo final : public TimedOver<platform::IVersionInfo> {
 public:
  using TimedOver::TimedOver;
  bool ReadStrings(const std::wstring& p, std::vector<std::pair<std::wstring, std::wstring>>& s) override {
    WDL_TIMED(VersionInfo, ReadStrings, p, s);
  }
};

class TimedDesktop final : public TimedOver<platform::IDesktop> {
 public:
  using TimedOver::TimedOver;
  int MessageBox(const std::wstring& p, unsigned s, const std::wstring& t) override { return real_.MessageBoxW(p, s, t); }
  int MousePointer() override { return real_.MousePointer(); }
  void SetMousePointer(int p) override { real_.SetMousePointer(p); }
  void DoEvents() override { WDL_TIMED(Desktop, DoEvents); }
  bool Start(const std::wstring& c, int w) override { return real_.Start(c, w); }
};

#undef WDL_TIMED

// One job with every call to the file, version and desktop services counted and timed.
void ProfileJob() {
  CallCosts costs;
  const platform::Services real = platform::Get();
  TimedFiles files(*real.files, costs);
  TimedVersionInfo versionInfo(*real.versionInfo, costs);
  TimedDesktop desktop(*real.desktop, costs);
  platform::Install({.files = &files, .versionInfo = &versionInfo, .desktop = &desktop});
  FreshCaches();
  const double total = TimeMs([] { RunJob(); });
  platform::Install(real);

  std::printf("one job (fresh caches), %.1f ms; its calls to the system's services:\n", total);
  double inServices = 0;
  for (const auto& [name, cost] : costs) {
    std::printf("  %-34s %7lld calls %9.1f ms %8.2f us each\n", name.c_str(), cost.calls, cost.ms,
                1000.0 * cost.ms / static_cast<double>(cost.calls));
    inServices += cost.ms;
  }
  std::printf("  %-34s %7s       %9.1f ms\n", "the rest (checksums, lists, XML)", "", total - inServices);
}

// Each per-file cost on its own, over every file once, with fresh caches.
void ProfileParts(const std::vector<File>& files) {
  std::vector<std::wstring> all, library, others;
  for (const File& file : files) {
    all.push_back(file.path);
    (file.kind == Kind::kLibrary ? library : others).push_back(file.path);
  }
  std::printf("each per-file step on its own, over the %zu files (fresh caches), ms:\n", files.size());
  using Step = std::function<void(const std::wstring&)>;
  const auto over = [](const char* what, const std::vector<std::wstring>& paths, const Step& step) {
    const double ms = TimeMs([&] {
      for (const std::wstring& path : paths) step(path);
    });
    std::printf("  %-52s %8.1f  %7.2f us a file\n", what, ms, 1000.0 * ms / static_cast<double>(paths.size()));
  };
  const auto line = [&](const char* what, const Step& step) {
    FreshCaches();
    over(what, all, step);
  };
  const auto checksum = [](const std::wstring& p) {
    std::int32_t size = 0;
    (void)MWDL::goHashier->HashFromFullFileName(p, size);
  };
  line("existence: CFileInfoManager::isFileExist", [](const std::wstring& p) { MWDL::goFileInfoManager->isFileExist(p); });
  const auto versionData = [](const std::wstring& p) {
    std::wstring maker, description;
    MWDL::goFileInfoManager->GetFileInfo(p, maker, &description);
  };
  line("version data: CFileInfoManager::GetFileInfo", versionData);
  // The same for the copies of the test library alone and for the other files alone.
  FreshCaches();
  over("  of the library copies only", library, versionData);
  FreshCaches();
  over("  of the other files only", others, versionData);
  line("size: MAPI::GetFileSizeByName", [](const std::wstring& p) { (void)MAPI::GetFileSizeByName(p); });
  line("checksum read: CHashier::HashFromFullFileName", checksum);
  MWDL::goHashier->ReInit();
  over("  the same after ReInit (its buffer grown already)", all, checksum);
  line("resolver: GetFullFileNameFromShortFilename", [](const std::wstring& p) {
    (void)MWDL::goFilenameResolver->GetFullFileNameFromShortFilename(p);
  });
  line("pending messages: CUtilities::DoEventsEx", [](const std::wstring&) { Utilities().DoEventsEx(); });

  // With every cache warm the job reads no file: what is left is the enumerations, the rules on cached
  // answers, the uncached size searches, the pending messages and the XML.
  FreshCaches();
  RunJob();
  bench::NeverCancelled progressor;
  SystemState state;
  const double compile = TimeMs([&] { CPaDetector().CompileSystemState(progressor, 5, 19, state); });
  const double job = TimeMs([] { RunJob(); });
  std::printf("  %-52s %8.1f\n", "compilation, caches warm", compile);
  std::printf("  %-52s %8.1f\n", "whole job, caches warm (compilation + XML)", job);
}

// Makes the files and the machine, measures and prints; 0 when every job round did the whole work.
int Run(int rounds) {
  const std::wstring programFolder = platform::Files().ProgramFolder();
  std::wstring library = programFolder + L"\\wdl_testdll.dll";
  if (::GetFileAttributesW(library.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "no wdl_testdll.dll beside the program: no file has version data\n");
    library.clear();
  }

  Scratch scratch(platform::Files().TempFolder() + L"wdl_job_bench\\");
  Random random{20240517};
  if (!PlanFiles(scratch, library, random) || !MakeFiles(scratch, library, random)) {
    std::fprintf(stderr, "could not make the files (error %lu)\n", ::GetLastError());
    return 1;
  }

  // The enumerations' doubles over the real registry and processes; files and versions stay real.
  platform::FakeRegistry registry;
  platform::FakeProcesses processes;
  std::vector<std::wstring> paths;
  for (const File& file : scratch.files) paths.push_back(file.path);
  bench::FillEnumerations(paths, registry, processes);
  const platform::Services real = platform::Install({.registry = &registry, .processes = &processes});

  auto logger = std::make_shared<bench::CountingLogger>();
  MWDL::goLogger = logger;
  MWDL::gsVersion = MWDL::VersionText();
  MAPI::gbIsNT = MAPI::IsWindowsNT();
  MAPI::gbIsNT4 = MAPI::IsWindowsNT4();
  MWDL::goRegistry = std::make_shared<CRegistry>();

  // Every file read once, so that both measurements find them in the system's cache.
  std::vector<std::uint8_t> buffer;
  std::uint64_t readBytes = 0;
  const auto readAll = [&] {
    readBytes = 0;
    for (const File& file : scratch.files) {
      FileUtilities().ReadFileBytes(file.path, buffer);
      readBytes += buffer.size();
    }
  };
  readAll();

  Timing job, read;
  std::wstring first;
  bool same = true;
  for (int r = 0; r < rounds; ++r) {
    FreshCaches();
    std::wstring xml;
    job.ms.push_back(TimeMs([&] { xml = RunJob(); }));
    xml = WithoutMeta(xml);
    if (r == 0) first = std::move(xml);
    else same = same && xml == first;
    read.ms.push_back(TimeMs(readAll));
  }
  const double peak = bench::PeakWorkingSetMiB();
  std::uint64_t largest = 0;
  for (const File& file : scratch.files) largest = std::max(largest, file.size);

  std::printf("%d files, %llu bytes (%.0f MiB, the largest %.1f MiB), cached; %d rounds each, best (median) in ms\n",
              kFiles, static_cast<unsigned long long>(readBytes), static_cast<double>(readBytes) / kMiB,
              static_cast<double>(largest) / kMiB, rounds);
  std::printf("  %-46s %8.1f (%8.1f)\n", "the job: CReporter::MakeStateXML", job.Best(), job.Median());
  std::printf("  %-46s %8.1f (%8.1f)\n", "the read: ReadFileBytes, reused vector", read.Best(), read.Median());
  // Each job round beside the read round right after it, which ran under the same load.
  Timing pairs;
  for (std::size_t r = 0; r < job.ms.size(); ++r) pairs.ms.push_back(job.ms[r] / read.ms[r]);
  std::printf("  ratio job / read: %.2f best, %.2f median; of each round with its read: %.2f best (goal 1.3)\n",
              job.Best() / read.Best(), job.Median() / read.Median(), pairs.Best());
  std::printf("  peak working set: %.0f MiB\n", peak);
  std::printf("  state XML: %zu characters without its meta data, digest %016llx%s\n", first.size(),
              static_cast<unsigned long long>(Fnv1a(first)), same ? "" : ", NOT THE SAME IN EVERY ROUND");
  std::printf("\n");
  ProfileJob();
  std::printf("\n");
  ProfileParts(scratch.files);

  platform::Install(real);
  const bool ok = same && readBytes == scratch.bytes && !first.empty() && logger->lines == 0;
  if (!ok) {
    std::fprintf(stderr, "the job did not do the whole work (%d lines logged, the first: %ls)\n", logger->lines,
                 logger->first.c_str());
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: wdl_wine_job_bench.exe [rounds]\n");
    return 2;
  }
  try {
    return Run(rounds);
  } catch (const CError& error) {
    std::fprintf(stderr, "failed: %ls (%ld)\n", error.Description().c_str(), error.Number());
    return 1;
  }
}

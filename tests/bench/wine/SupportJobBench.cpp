// The whole support-request job on the real Win32 API, for tools/bench.sh under Wine (not a test).
//
//   wdl_wine_job_bench.exe [rounds [state-file]]      (default 5 rounds, no file)
//
// The job runs as the support-request window runs it: inside the real progress dialog (FProgressor on
// the toolkit's Win32 backend), in its Started event, CReporter::MakeStateXML compiles the system state
// and writes the state XML, and every pending-message call of the job runs through the toolkit's pump
// as in the program. The machine is synthetic where its enumerations come from: the in-memory doubles
// over the registry and the processes (300 processes of 100 modules each beside their image, drawn from
// 5,000 distinct files; 300 services; 200 startup entries; 20 browser extensions). Its files are real
// and read through the real file and version services: 5,000 copies of real modules (the PE files of the
// system folder and the build's test libraries wdl_testdll.dll, with version data, and wdl_plaindll.dll,
// without), three in ten without version data, each padded with its own bytes over and over to a size
// drawn from the known-file size tables (give or take a quarter), one in ten to a size of the known-good
// table exactly; made once in a folder of the temporary folder and removed at the end.
//
// Against the job, on the same files, stand
//   - the floor: what the job needs of the system at the least, per file one GetFileAttributesExW
//     (existence and size), one GetFileVersionInfoW into a reused 64 KiB buffer, and one whole read into
//     a reused buffer with its checksum (inspection::Checksum31);
//   - the read: CFileUtilities::ReadFileBytes of every file into one reused vector.
// All three find the files in the system's cache (every file read once before). Each round runs the job
// (from fresh program-wide caches, as a request right after start-up), then the floor, then the read.
// Printed: the best and median round of each, the ratios job / floor and job / read, the files and bytes,
// the peak working set, the state XML's digest; then where one job's time goes: every call the job made to
// the file, version and desktop services, counted and timed, and each per-file cost on its own.
//
// The state XML of the first round, without its meta data (which holds the time of sending), is written
// as UTF-8 to `state-file` when one is named, so that two builds can be compared byte for byte on the
// same machine: the files are the same in every run (the same seed, the same system folder and test
// libraries).
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

#include <windows.h>
#include <commctrl.h>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "detection/PaDetector.h"
#include "detection/tables/KnownFileTables.h"
#include "inspection/Checksum31.h"
#include "inspection/Hashier.h"
#include "platform/Platform.h"
#include "report/Reporter.h"
#include "shell/FProgressor.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "tests/bench/SyntheticMachine.h"
#include "tests/bench/wine/WineBench.h"
#include "tests/doubles/FakeProcesses.h"
#include "tests/doubles/FakeRegistry.h"
#include "ui/Backend.h"
#include "ui/BackendWin32.h"

// The interfaces' own names, not the macros of <windows.h>.
#undef ExpandEnvironmentStrings
#undef MessageBox

namespace {

using bench::FreshCaches;
using bench::NowMs;
using bench::TimeMs;
using bench::Timing;

constexpr int kFiles = 5000;
constexpr int kWithoutVersion = 1000;  // besides the known-good sizes, which have none either
constexpr int kGoodSize = 500;
constexpr int kFolders = 40;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr DWORD kFloorVersionBytes = 64 * 1024;

struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
  }
  double Uniform() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[Next() % items.size()];
  }
  template <class T>
  void Shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[Next() % i]);
  }
};

// ---- the modules the files are copied from ------------------------------------------------------

struct Source {
  std::wstring path;
  std::uint64_t size = 0;
};

std::uint64_t SizeOfFile(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool EndsWithNoCase(const std::wstring& text, const wchar_t* tail) {
  const std::size_t n = std::wcslen(tail);
  return text.size() >= n && ::lstrcmpiW(text.c_str() + text.size() - n, tail) == 0;
}

bool StartsWithMz(const std::wstring& path) {
  const auto file = bench::OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  char head[2] = {};
  DWORD got = 0;
  return file && ::ReadFile(file.Get(), head, 2, &got, nullptr) && got == 2 && head[0] == 'M' && head[1] == 'Z';
}

// The modules to copy, with version data and without, each list in the order of the paths (the system
// lists a folder in no fixed order), so that the same machine always gives the same files.
struct Sources {
  std::vector<Source> withVersion, withoutVersion;
};

Sources FindSources(const std::wstring& programFolder) {
  std::vector<std::wstring> paths;
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring folder = std::wstring(system) + L"\\";
  WIN32_FIND_DATAW found{};
  const platform::win32::FindHandle find(::FindFirstFileW((folder + L"*").c_str(), &found));
  for (bool more = find.Valid(); more; more = ::FindNextFileW(find.Get(), &found) != FALSE) {
    const std::wstring name = found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (EndsWithNoCase(name, L".dll") || EndsWithNoCase(name, L".exe")) paths.push_back(folder + name);
  }
  std::sort(paths.begin(), paths.end());
  for (const wchar_t* library : {L"\\wdl_testdll.dll", L"\\wdl_plaindll.dll"}) paths.push_back(programFolder + library);

  Sources sources;
  for (const std::wstring& path : paths) {
    const Source source{path, SizeOfFile(path)};
    if (source.size < 1024 || !StartsWithMz(path)) continue;
    DWORD ignored = 0;
    (::GetFileVersionInfoSizeW(path.c_str(), &ignored) != 0 ? sources.withVersion : sources.withoutVersion).push_back(source);
  }
  return sources;
}

// ---- the files ----------------------------------------------------------------------------------

struct File {
  std::wstring path;
  const Source* source = nullptr;
  std::uint64_t size = 0;
  bool version = false;
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

template <class Values>
void Append(std::vector<std::uint64_t>& to, const Values& values) {
  for (const auto value : values) to.push_back(static_cast<std::uint64_t>(value));
}

// For a file of about `target` bytes: a module of `pool` no larger, preferably at least a quarter of it
// (so that the module, not its padding, makes most of the file), else the largest that fits, else the
// smallest of all, which is then copied as it is.
const Source& SourceFor(const std::vector<Source>& pool, std::uint64_t target, Random& random) {
  std::vector<const Source*> fitting;
  const Source* largest = nullptr;
  const Source* smallest = &pool.front();
  for (const Source& source : pool) {
    if (source.size <= target && source.size * 4 >= target) fitting.push_back(&source);
    if (source.size <= target && (!largest || source.size > largest->size)) largest = &source;
    if (source.size < smallest->size) smallest = &source;
  }
  if (!fitting.empty()) return *random.Pick(fitting);
  return largest ? *largest : *smallest;
}

// Which file is what and how large: the sizes of the known parasite and known-good size tables, each
// times a factor from 3/4 to 4/3 (spread evenly in its logarithm), the known-good ones exact.
bool PlanFiles(Scratch& scratch, const Sources& sources, Random& random) {
  if (sources.withVersion.empty() || sources.withoutVersion.empty()) return false;
  std::vector<std::uint64_t> tableSizes, goodSizes;
  Append(tableSizes, tables::kParasiteSizes16);
  Append(tableSizes, tables::kParasiteSizes32);
  Append(goodSizes, tables::kGoodSizes16);
  Append(goodSizes, tables::kGoodSizes32);
  Append(tableSizes, goodSizes);
  // A known-good size only where a module without version data fits into it.
  std::uint64_t smallest = ~std::uint64_t{0};
  for (const Source& source : sources.withoutVersion) smallest = std::min(smallest, source.size);
  std::erase_if(goodSizes, [&](std::uint64_t size) { return size < smallest; });

  enum class Kind { kVersion, kNoVersion, kGoodSize };
  std::vector<Kind> kinds(kFiles, Kind::kVersion);
  std::fill_n(kinds.begin(), kWithoutVersion, Kind::kNoVersion);
  std::fill_n(kinds.begin() + kWithoutVersion, kGoodSize, Kind::kGoodSize);
  random.Shuffle(kinds);

  for (int n = 0; n < kFiles; ++n) {
    const Kind kind = kinds[static_cast<std::size_t>(n)];
    File file;
    wchar_t name[64];
    std::swprintf(name, 64, L"Vendor%02d\\bin\\module%04d.%ls", n % kFolders, n, n % 10 == 0 ? L"exe" : L"dll");
    file.path = scratch.Root() + name;
    file.version = kind == Kind::kVersion;
    const auto& pool = file.version ? sources.withVersion : sources.withoutVersion;
    if (kind == Kind::kGoodSize) {
      file.size = random.Pick(goodSizes);
      file.source = &SourceFor(pool, file.size, random);
    } else {
      const double factor = std::exp((random.Uniform() - 0.5) * 2.0 * std::log(4.0 / 3.0));
      const auto target = static_cast<std::uint64_t>(static_cast<double>(random.Pick(tableSizes)) * factor);
      file.source = &SourceFor(pool, target, random);
      file.size = std::max(target, file.source->size);
    }
    scratch.bytes += file.size;
    scratch.files.push_back(std::move(file));
  }
  return true;
}

bool ReadWhole(const std::wstring& path, std::uint64_t size, std::vector<std::uint8_t>& bytes) {
  bytes.resize(size);
  const auto handle = bench::OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  DWORD got = 0;
  return handle && ::ReadFile(handle.Get(), bytes.data(), static_cast<DWORD>(size), &got, nullptr) && got == size;
}

// The module's bytes, then the module's bytes again from its start, until the file has its size.
bool WriteCopy(const File& file, const std::vector<std::uint8_t>& module) {
  const auto handle = bench::OpenFile(file.path, GENERIC_WRITE, CREATE_ALWAYS);
  bool ok = static_cast<bool>(handle);
  for (std::uint64_t done = 0; done < file.size && ok;) {
    const std::uint64_t part = std::min<std::uint64_t>(file.size - done, module.size());
    DWORD written = 0;
    ok = ::WriteFile(handle.Get(), module.data(), static_cast<DWORD>(part), &written, nullptr) && written == part;
    done += part;
  }
  return ok;
}

bool MakeFiles(Scratch& scratch) {
  if (!scratch.MakeFolder(scratch.Root().substr(0, scratch.Root().size() - 1))) return false;
  for (int f = 0; f < kFolders; ++f) {
    wchar_t folder[32];
    std::swprintf(folder, 32, L"Vendor%02d", f);
    if (!scratch.MakeFolder(scratch.Root() + folder) || !scratch.MakeFolder(scratch.Root() + folder + L"\\bin")) {
      return false;
    }
  }
  std::vector<std::uint8_t> module;
  const Source* read = nullptr;
  for (const File& file : scratch.files) {
    if (file.source != read && !ReadWhole(file.source->path, file.source->size, module)) return false;
    read = file.source;
    if (!WriteCopy(file, module)) return false;
  }
  return true;
}

// ---- the job, the floor and the read ------------------------------------------------------------

// The system's desktop, with pending messages run through the toolkit's pump, as the program's entry
// installs it.
class ToolkitDesktop final : public platform::IDesktop {
 public:
  explicit ToolkitDesktop(platform::IDesktop& system) : system_(system) {}
  int MessageBox(const std::wstring& p, unsigned s, const std::wstring& t) override { return system_.MessageBox(p, s, t); }
  int MousePointer() override { return system_.MousePointer(); }
  void SetMousePointer(int pointer) override { system_.SetMousePointer(pointer); }
  void DoEvents() override { ui::DoEvents(); }
  bool Start(const std::wstring& c, int w) override { return system_.Start(c, w); }

 private:
  platform::IDesktop& system_;
};

// The support request's job in its progress dialog: the state XML, or "" when it failed.
std::wstring RunJob() {
  FProgressor dialog;
  std::wstring xml;
  dialog.Started = [&] {
    xml = CReporter().MakeStateXML(dialog, L"Microsoft Windows 7 Professional Service Pack 1", L"AMD64 Family 25 Model 1",
                                   L"BENCH-PC", L"The browser opens pages by itself.", L"Bench User",
                                   L"bench@example.com");
    if (!dialog.Cancelled()) dialog.Progress(100);
  };
  dialog.Init(LoadResString(111), LoadResString(112));
  dialog.ShowProgress(true);
  return xml;
}

// What the job needs of the system for each file at the least. Returns the sum of the checksums, so
// that nothing is left out; bytes read go to `bytes`.
class Floor {
 public:
  std::uint64_t Run(const std::vector<File>& files, std::uint64_t& bytes) {
    std::uint64_t checksums = 0;
    bytes = 0;
    for (const File& file : files) {
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (!::GetFileAttributesExW(file.path.c_str(), GetFileExInfoStandard, &data)) continue;
      (void)::GetFileVersionInfoW(file.path.c_str(), 0, kFloorVersionBytes, version_.data());
      const auto size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      if (read_.size() < size) read_.resize(size);
      const auto handle = bench::OpenFile(file.path, GENERIC_READ, OPEN_EXISTING);
      DWORD got = 0;
      if (!handle || !::ReadFile(handle.Get(), read_.data(), static_cast<DWORD>(size), &got, nullptr)) continue;
      checksums += static_cast<std::uint64_t>(inspection::Checksum31(read_.data(), got));
      bytes += got;
    }
    return checksums;
  }

 private:
  std::vector<std::uint8_t> version_ = std::vector<std::uint8_t>(kFloorVersionBytes);
  std::vector<std::uint8_t> read_;
};

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

bool WriteUtf8(const std::string& path, const std::wstring& text) {
  const int chars = static_cast<int>(text.size());
  std::string utf8(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, nullptr, 0, nullptr, nullptr)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  const std::wstring widePath(path.begin(), path.end());
  const auto handle = bench::OpenFile(widePath, GENERIC_WRITE, CREATE_ALWAYS);
  DWORD written = 0;
  return handle && ::WriteFile(handle.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
         written == utf8.size();
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

  std::printf("one job in its dialog (fresh caches), %.1f ms; its calls to the system's services:\n", total);
  double inServices = 0;
  for (const auto& [name, cost] : costs) {
    std::printf("  %-34s %7lld calls %9.1f ms %8.2f us each\n", name.c_str(), cost.calls, cost.ms,
                1000.0 * cost.ms / static_cast<double>(cost.calls));
    inServices += cost.ms;
  }
  std::printf("  %-34s %7s       %9.1f ms\n", "the rest (checksums, lists, XML, dialog)", "", total - inServices);
}

// Each per-file cost on its own, over every file once, with fresh caches.
void ProfileParts(const std::vector<File>& files) {
  std::vector<std::wstring> all, withVersion, withoutVersion;
  for (const File& file : files) {
    all.push_back(file.path);
    (file.version ? withVersion : withoutVersion).push_back(file.path);
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
  FreshCaches();
  over("  of the files with version data only", withVersion, versionData);
  FreshCaches();
  over("  of the files without only", withoutVersion, versionData);
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
  std::printf("  %-52s %8.1f\n", "compilation, caches warm (no dialog)", compile);
  std::printf("  %-52s %8.1f\n", "whole job in its dialog, caches warm", job);
}

// The ratio of the medians and of the best rounds of `a` to `b`, in the form the issue asks for.
void PrintRatio(const char* what, const Timing& a, const Timing& b) {
  std::printf("  ratio %s: %.2f best, %.2f median\n", what, a.Best() / b.Best(), a.Median() / b.Median());
}

// Makes the files and the machine, measures and prints; 0 when every job round did the whole work.
int Run(int rounds, const char* stateFile) {
  const std::wstring programFolder = platform::Files().ProgramFolder();
  const Sources sources = FindSources(programFolder);
  Scratch scratch(platform::Files().TempFolder() + L"wdl_job_bench\\");
  Random random{20240517};
  if (!PlanFiles(scratch, sources, random) || !MakeFiles(scratch)) {
    std::fprintf(stderr, "could not make the files (%zu modules with version data, %zu without; error %lu)\n",
                 sources.withVersion.size(), sources.withoutVersion.size(), ::GetLastError());
    return 1;
  }

  // The enumerations' doubles over the real registry and processes; files and versions stay real.
  platform::FakeRegistry registry;
  platform::FakeProcesses processes;
  std::vector<std::wstring> paths;
  for (const File& file : scratch.files) paths.push_back(file.path);
  bench::FillEnumerations(paths, registry, processes);
  // The toolkit on its Win32 backend, and its pump behind every pending-message call, as in the program.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  ui::SetBackend(ui::CreateWin32Backend());
  std::vector<std::wstring> unhandled;
  ui::SetUnhandledErrorHandler([&](const CError& e, const std::wstring& source) { unhandled.push_back(source + L": " + e.Description()); });
  ToolkitDesktop desktop(platform::Desktop());
  const platform::Services real = platform::Install({.registry = &registry, .processes = &processes, .desktop = &desktop});

  auto logger = std::make_shared<bench::CountingLogger>();
  MWDL::goLogger = logger;
  MWDL::gsVersion = MWDL::VersionText();
  MAPI::gbIsNT = MAPI::IsWindowsNT();
  MAPI::gbIsNT4 = MAPI::IsWindowsNT4();
  MWDL::goRegistry = std::make_shared<CRegistry>();

  std::vector<std::uint8_t> buffer;
  std::uint64_t readBytes = 0, floorBytes = 0;
  const auto readAll = [&] {
    readBytes = 0;
    for (const File& file : scratch.files) {
      FileUtilities().ReadFileBytes(file.path, buffer);
      readBytes += buffer.size();
    }
  };
  Floor floor;
  std::uint64_t floorChecksums = 0;
  const auto runFloor = [&] { floorChecksums = floor.Run(scratch.files, floorBytes); };
  // Every file read once and its version data asked for, so that every measurement finds them cached.
  readAll();
  runFloor();

  Timing job, floorTiming, read;
  std::wstring first;
  bool same = true;
  for (int r = 0; r < rounds; ++r) {
    FreshCaches();
    std::wstring xml;
    job.ms.push_back(TimeMs([&] { xml = RunJob(); }));
    xml = WithoutMeta(xml);
    if (r == 0) first = std::move(xml);
    else same = same && xml == first;
    floorTiming.ms.push_back(TimeMs(runFloor));
    read.ms.push_back(TimeMs(readAll));
  }
  const double peak = bench::PeakWorkingSetMiB();
  std::uint64_t largest = 0, small = 0, smallBytes = 0;
  int withVersion = 0;
  for (const File& file : scratch.files) {
    largest = std::max(largest, file.size);
    withVersion += file.version;
    if (file.size < inspection::kChecksum31BlockBytes) {
      small += 1;
      smallBytes += file.size;
    }
  }

  std::printf("%d copies of %zu modules, %d with version data; %llu bytes (%.0f MiB, the largest %.1f MiB; %llu files of"
              " %.1f MiB under %zu bytes), cached\n",
              kFiles, sources.withVersion.size() + sources.withoutVersion.size(), withVersion,
              static_cast<unsigned long long>(readBytes), static_cast<double>(readBytes) / kMiB,
              static_cast<double>(largest) / kMiB, static_cast<unsigned long long>(small),
              static_cast<double>(smallBytes) / kMiB, inspection::kChecksum31BlockBytes);
  std::printf("%d rounds of each, interleaved; best (median) in ms\n", rounds);
  std::printf("  %-58s %8.1f (%8.1f)\n", "the job: MakeStateXML in its progress dialog", job.Best(), job.Median());
  std::printf("  %-58s %8.1f (%8.1f)\n", "the floor: attributes, version data, read and checksum", floorTiming.Best(),
              floorTiming.Median());
  std::printf("  %-58s %8.1f (%8.1f)\n", "the read: ReadFileBytes, reused vector", read.Best(), read.Median());
  PrintRatio("job / floor", job, floorTiming);
  PrintRatio("job / read", job, read);
  PrintRatio("floor / read", floorTiming, read);
  std::printf("  peak working set: %.0f MiB\n", peak);
  std::printf("  state XML: %zu characters without its meta data, digest %016llx%s\n", first.size(),
              static_cast<unsigned long long>(Fnv1a(first)), same ? "" : ", NOT THE SAME IN EVERY ROUND");
  bool written = true;
  if (stateFile) {
    written = WriteUtf8(stateFile, first);
    std::printf("  written to %s%s\n", stateFile, written ? "" : ": FAILED");
  }
  std::printf("\n");
  ProfileJob();
  std::printf("\n");
  ProfileParts(scratch.files);

  platform::Install(real);
  ui::SetUnhandledErrorHandler(nullptr);
  ui::SetBackend(nullptr);
  const bool ok = same && written && readBytes == scratch.bytes && floorBytes == scratch.bytes && !first.empty() &&
                  logger->lines == 0 && unhandled.empty();
  if (!ok) {
    std::fprintf(stderr, "the job did not do the whole work (%d lines logged, the first: %ls; %zu unhandled errors%s%ls)\n",
                 logger->lines, logger->first.c_str(), unhandled.size(), unhandled.empty() ? "" : ", the first: ",
                 unhandled.empty() ? L"" : unhandled.front().c_str());
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (rounds < 1 || argc > 3) {
    std::fprintf(stderr, "usage: wdl_wine_job_bench.exe [rounds [state-file]]\n");
    return 2;
  }
  try {
    return Run(rounds, argc > 2 ? argv[2] : nullptr);
  } catch (const CError& error) {
    std::fprintf(stderr, "failed: %ls (%ld)\n", error.Description().c_str(), error.Number());
    return 1;
  }
}

#pragma once
// The synthetic machine of the benchmarks, native (tests/bench) and under Wine (tests/bench/wine): what
// its enumerations find, put into the registry and process doubles, and what the detection and the
// support-request job need around it. Test-only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Progressor.h"
#include "tests/doubles/FakeProcesses.h"
#include "tests/doubles/FakeRegistry.h"

namespace bench {

constexpr int kProcesses = 300;
constexpr int kModulesPerProcess = 100;  // beside the image
constexpr int kCommonModules = 30;       // loaded by every process, as the system's own libraries are
constexpr int kServices = 300;
constexpr int kStartups = 200;
constexpr int kBhos = 10, kToolbars = 5, kExplorerBars = 5;
constexpr int kExtensions = kBhos + kToolbars + kExplorerBars;
// Every inspected item: each process and each of its modules, each service, startup and extension.
constexpr int kItems = kProcesses * (1 + kModulesPerProcess) + kServices + kStartups + kExtensions;

class NeverCancelled : public IProgressor {
 public:
  void Progress(double) override {}
  bool Cancelled() const override { return false; }
};

// Counts what the job logs and keeps the first line: a job that logs an error did not do the whole work.
class CountingLogger : public CLogger {
 public:
  void Log(long number, const std::wstring& message, int, const std::wstring& source) override {
    if (lines++ == 0) first = source + L" (" + std::to_wstring(number) + L") " + message;
  }
  int lines = 0;
  std::wstring first;
};

// "C:\Program Files\Vendor<n mod 40>\bin\module<nnnn>.dll", every tenth an ".exe".
inline std::wstring FilePath(int n) {
  std::wstring digits = std::to_wstring(n);
  return L"C:\\Program Files\\Vendor" + std::to_wstring(n % 40) + L"\\bin\\module" +
         std::wstring(4 - digits.size(), L'0') + digits + (n % 10 == 0 ? L".exe" : L".dll");
}

// The program-wide caches as the start-up leaves them: empty.
inline void FreshCaches() {
  MWDL::goHashier = std::make_shared<CHashier>();
  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
  MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
}

// The program-wide objects over the services installed, with `logger`, on Windows NT, caches empty.
inline void InstallProgramObjects(std::shared_ptr<CLogger> logger) {
  MWDL::goLogger = std::move(logger);
  MWDL::goRegistry = std::make_shared<CRegistry>();
  MAPI::gbIsNT = true;
  FreshCaches();
}

// Browser extension `b` in `registry`, named `name` and served by `server`: a browser helper object for
// the first kBhos, a toolbar for the next kToolbars, an explorer bar for the rest.
inline void AddExtension(platform::FakeRegistry& registry, int b, const std::wstring& name, const std::wstring& server) {
  const std::wstring tail = std::to_wstring(b);
  const std::wstring id = L"{0B0E0000-0000-0000-0000-" + std::wstring(12 - tail.size(), L'0') + tail + L"}";
  const platform::Hive lm = platform::kHkeyLocalMachine, cr = platform::kHkeyClassesRoot;
  registry.SetString(cr, L"CLSID\\" + id, L"", name);
  registry.SetString(cr, L"CLSID\\" + id + L"\\InProcServer32", L"", server);
  if (b < kBhos) {
    registry.SetString(lm, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + id, L"",
                       L"Helper");
  } else if (b < kBhos + kToolbars) {
    registry.SetString(lm, L"Software\\Microsoft\\Internet Explorer\\Toolbar", id, L"");
  } else {
    registry.CreateKey(cr, L"CLSID\\" + id + L"\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}");
  }
}

// The services, startup entries (half the current user's) and browser extensions in `registry`, and the
// processes in `processes`, all naming files of `paths` (at least kModulesPerProcess + 1 of them). Each
// process loads its image and the 70 modules after it in one rotation over the files from the 31st on
// (so that with 5,000 files every file is loaded somewhere, about four times in all), and the first 30
// files, which every process loads.
inline void FillEnumerations(const std::vector<std::wstring>& paths, platform::FakeRegistry& registry,
                             platform::FakeProcesses& processes) {
  const auto path = [&](std::size_t n) { return paths[n % paths.size()]; };
  const platform::Hive lm = platform::kHkeyLocalMachine;
  for (int s = 0; s < kServices; ++s) {
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\Svc" + std::to_wstring(s);
    registry.SetExpandString(lm, key, L"ImagePath", L"\"" + path(static_cast<std::size_t>(s) * 17) + L"\" -k netsvcs");
    registry.SetString(lm, key, L"DisplayName", s % 3 == 0 ? L"" : L"Service " + std::to_wstring(s));
  }
  for (int r = 0; r < kStartups; ++r) {
    registry.SetString(r % 2 ? platform::kHkeyCurrentUser : lm, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"Run" + std::to_wstring(r), L"\"" + path(static_cast<std::size_t>(r) * 23 + 5) + L"\" /background");
  }
  for (int b = 0; b < kExtensions; ++b) {
    AddExtension(registry, b, L"Extension " + std::to_wstring(b), path(static_cast<std::size_t>(b) * 149 + 3));
  }
  const std::size_t rotation = paths.size() - kCommonModules;
  const std::size_t own = kModulesPerProcess + 1 - kCommonModules;
  for (int p = 0; p < kProcesses; ++p) {
    std::vector<std::wstring> modules;
    for (std::size_t m = 0; m < own; ++m) {
      modules.push_back(path(kCommonModules + (static_cast<std::size_t>(p) * own + m) % rotation));
      if (m == 0) {
        for (int c = 0; c < kCommonModules; ++c) modules.push_back(path(static_cast<std::size_t>(c)));
      }
    }
    processes.AddProcess(static_cast<std::uint32_t>(1000 + 4 * p), std::move(modules));
  }
}

}  // namespace bench

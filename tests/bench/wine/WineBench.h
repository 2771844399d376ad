#pragma once
// What the benchmark programs under Wine share: rounds timed on the performance counter and the peak
// working set of the process. Test-only.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/Win32Handle.h"

namespace bench {

inline double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / perMs;
}

inline double TimeMs(const std::function<void()>& what) {
  const double start = NowMs();
  what();
  return NowMs() - start;
}

// Rounds in milliseconds, in the order they ran.
struct Timing {
  std::vector<double> ms;
  double Best() const { return *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

inline Timing Time(int rounds, const std::function<void()>& round) {
  Timing timing;
  for (int i = 0; i < rounds; ++i) timing.ms.push_back(TimeMs(round));
  return timing;
}

// `path` opened for GENERIC_READ (shared with readers) or GENERIC_WRITE (not shared) as `creation` says;
// invalid when it cannot be opened.
inline platform::win32::FileHandle OpenFile(const std::wstring& path, DWORD access, DWORD creation) {
  return platform::win32::FileHandle(::CreateFileW(path.c_str(), access, access == GENERIC_READ ? FILE_SHARE_READ : 0,
                                                   nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// -1 when the system does not say.
inline double PeakWorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

}  // namespace bench

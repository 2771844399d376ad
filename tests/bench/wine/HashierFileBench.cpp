// The file checksum cache on the real Win32 API, for tools/bench.sh under Wine (not a test).
//
//   wdl_wine_bench.exe [MiB] [rounds]      (defaults 256 and 5)
//
// Writes a file of that size in the temporary folder, reads it once through so that the system holds
// it in its cache, then times in one run:
//   1. CHashier::HashFromFullFileName of the file, again after each ReInit (one CHashier throughout);
//   2. one ReadFile of the whole file into a buffer of its size that every round reuses;
//   3. the parts of 1: CFileUtilities::ReadFileBytes into a vector that every round reuses, and
//      inspection::Checksum31 of the bytes in memory;
//   4. CFileUtilities::ReadFileBytes into a new vector each round, as CHashier did before it kept one.
// It prints the best and median round of each, the ratio of 1 to 2, and the peak working set of the
// process (GetProcessMemoryInfo) after part 1, beyond the file's size. The file is deleted at the end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/FileUtilities.h"
#include "inspection/Hashier.h"
#include "tests/bench/wine/WineBench.h"

namespace {

using bench::Time;
using bench::Timing;

constexpr std::size_t kMiB = 1u << 20;

// Writes `mib` MiB of varied bytes, one MiB at a time, and reads them back the same way.
bool MakeCachedFile(const std::wstring& path, std::size_t mib) {
  std::vector<std::uint8_t> piece(kMiB);
  std::uint32_t seed = 20240102;
  bool ok = true;
  {
    const auto file = bench::OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (!file) return false;
    for (std::size_t i = 0; i < mib && ok; ++i) {
      for (auto& b : piece) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
      }
      DWORD written = 0;
      ok = ::WriteFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) && written == piece.size();
    }
  }
  const auto file = bench::OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return false;
  DWORD got = 0;
  while (ok && ::ReadFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr) && got != 0) {
  }
  return ok;
}

// The whole file in one ReadFile call.
bool ReadWhole(const std::wstring& path, std::vector<std::uint8_t>& buffer) {
  const auto file = bench::OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  DWORD got = 0;
  return file && ::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
         got == buffer.size();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (mib == 0 || mib >= 2048 || rounds < 1) {
    std::fprintf(stderr, "usage: wdl_wine_bench.exe [MiB below 2048] [rounds]\n");
    return 2;
  }
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"wdl_hashier_bench.bin";
  if (!MakeCachedFile(path, mib)) {
    std::fprintf(stderr, "could not write the file (error %lu)\n", ::GetLastError());
    ::DeleteFileW(path.c_str());
    return 1;
  }
  const double baseMiB = bench::PeakWorkingSetMiB();

  std::int32_t hash = 0, size = 0;
  Timing hashier;
  double hashierPeakMiB = 0;
  {
    CHashier cache;
    hashier = Time(rounds, [&] {
      cache.ReInit();
      hash = cache.HashFromFullFileName(path, size);
    });
    hashierPeakMiB = bench::PeakWorkingSetMiB();
  }

  std::vector<std::uint8_t> buffer(mib * kMiB, 0);
  bool readOk = true;
  const Timing read = Time(rounds, [&] { readOk = ReadWhole(path, buffer) && readOk; });
  std::int32_t check = 0;
  const Timing checksum = Time(rounds, [&] { check = inspection::Checksum31(buffer.data(), buffer.size()); });
  buffer = std::vector<std::uint8_t>();
  const Timing reused = Time(rounds, [&] { FileUtilities().ReadFileBytes(path, buffer); });
  readOk = readOk && buffer.size() == mib * kMiB;
  buffer = std::vector<std::uint8_t>();

  const Timing fresh = Time(rounds, [&] { (void)FileUtilities().ReadFileBytes(path); });
  ::DeleteFileW(path.c_str());

  if (!readOk || static_cast<std::size_t>(size) != mib * kMiB || hash != check) {
    std::fprintf(stderr, "the rounds disagree: size %d, checksum %d, checksum of the read %d\n", size, hash, check);
    return 1;
  }
  const double gbs = static_cast<double>(mib * kMiB) / 1e6;  // bytes per ms / 1e6 = GB/s
  std::printf("file of %zu MiB, cached; %d rounds each, best (median) in ms\n", mib, rounds);
  const auto line = [&](const char* what, const Timing& t) {
    std::printf("  %-42s %8.1f (%8.1f)  %5.2f GB/s\n", what, t.Best(), t.Median(), gbs / t.Best());
  };
  line("HashFromFullFileName, reused buffer", hashier);
  line("  its read: ReadFileBytes, reused vector", reused);
  line("  its checksum: Checksum31 in memory", checksum);
  line("one ReadFile into a reused buffer", read);
  line("ReadFileBytes into a new vector", fresh);
  std::printf("  ratio HashFromFullFileName / ReadFile: %.2f best, %.2f median (limit 1.5)\n", hashier.Best() / read.Best(),
              hashier.Median() / read.Median());
  std::printf("  peak working set after HashFromFullFileName: %.0f MiB = file + %.0f MiB (limit file + 64 MiB;"
              " %.0f MiB before)\n",
              hashierPeakMiB, hashierPeakMiB - static_cast<double>(mib), baseMiB);
  return 0;
}

#pragma once
// Shared set-up of the detection tests: the enumerators' in-memory machine and program-wide objects
// (InspectionEnumTest), plus fresh file caches, doubles that count what the rules read and can be made
// to fail, and files whose size, checksum and company a test chooses.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "InspectionEnumFixture.h"
#include "tests/native/ChosenChecksum.h"
#include "detection/tables/KnownFileTables.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Hashier.h"
#include "tests/native/ScriptedProgressor.h"

// The files, counting each fact the rules read: existence (attributes), size (file search) and content
// (the checksum's whole-file read).
class CountingFiles : public platform::FakeFiles {
 public:
  std::uint32_t GetAttributes(const std::wstring& path) override {
    ++existenceReads[qn::FoldKey(path)];
    return FakeFiles::GetAttributes(path);
  }
  // The narrow search of the double goes through the wide one, so each search is counted once.
  bool FindFirstSizeW(const std::wstring& pattern, std::uint64_t& size) override {
    ++sizeReads[qn::FoldKey(pattern)];
    return FakeFiles::FindFirstSizeW(pattern, size);
  }
  bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
               unsigned long& lastError) override {
    ++contentReads[qn::FoldKey(path)];
    return FakeFiles::ReadAll(path, bytes, maxBytes, lastError);
  }
  static int Of(const std::map<std::wstring, int>& reads, const std::wstring& path) {
    auto found = reads.find(qn::FoldKey(path));
    return found == reads.end() ? 0 : found->second;
  }
  std::map<std::wstring, int> existenceReads, sizeReads, contentReads;  // by folded path
};

// Version data that raises "Out of memory" for chosen files.
class RaisingVersionInfo : public platform::FakeVersionInfo {
 public:
  bool ReadStrings(const std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>>& strings) override {
    if (raiseFor.count(qn::FoldKey(path)) != 0) throw std::bad_alloc();
    return FakeVersionInfo::ReadStrings(path, strings);
  }
  std::set<std::wstring> raiseFor;  // folded paths
};

// Processes whose listing can be made to raise "Out of memory".
class RaisingProcesses : public platform::FakeProcesses {
 public:
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) override {
    if (raise) throw std::bad_alloc();
    return FakeProcesses::EnumProcesses(ids, bufferBytes, bytesReturned);
  }
  bool raise = false;
};

// Sizes and checksums out of the tables, for files that must match one table and not another.
namespace detection_test {
constexpr std::int32_t kSizeInAandC = 4096;                                  // in A and in C
constexpr std::int32_t kSizeInCOnly = 2295;                                  // C's first value
constexpr std::int32_t kSizeInAOnly = 2048;                                  // A's first value
constexpr std::int32_t kSizeInNone = 3000;                                   // in no table
inline const std::int32_t kChecksumInD = tables::kGoodHashes2.front();       // 800080493
inline const std::int32_t kChecksumInB = tables::kParasiteHashes.front();    // 522891
constexpr std::int32_t kChecksumInNone = 12345;                              // below every stored checksum

// The facts read about a file, in this order: existence, version data, size, content (for the checksum).
using Reads = std::array<int, 4>;
}  // namespace detection_test

class DetectionTest : public InspectionEnumTest {
 protected:
  void SetUp() override {
    InspectionEnumTest::SetUp();
    platform::Install(platform::Services{.files = &files, .processes = &processes, .versionInfo = &versions});
    ResetCaches();
  }
  void TearDown() override {
    std::tie(MWDL::goHashier, MWDL::goFileInfoManager) = savedCaches_;
    InspectionEnumTest::TearDown();
  }

  // New, empty file caches, and no reads counted.
  void ResetCaches() {
    MWDL::goHashier = std::make_shared<CHashier>();
    MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
    files.existenceReads.clear();
    files.sizeReads.clear();
    files.contentReads.clear();
    versionReadsBefore_ = versions.ReadCount();
  }

  // A file of `size` bytes (31 or more) with checksum `checksum`, and a version resource holding
  // `company` as its CompanyName (none at all when nullopt).
  void AddFile(const std::wstring& path, std::int32_t size, std::int32_t checksum,
               const std::optional<std::wstring>& company = std::nullopt) {
    std::vector<std::uint8_t> bytes = detection_test::BytesWithChecksum(static_cast<std::size_t>(size), checksum);
    ASSERT_EQ(inspection::Checksum31(bytes.data(), bytes.size()), checksum) << "cannot make " << size << " bytes";
    files.AddFile(path, std::move(bytes));
    versions.Remove(path);
    if (company) versions.Set(path, {{L"CompanyName", *company}, {L"FileDescription", L"Something"}});
  }

  // What was read of `path` since the caches were reset (version data: of any file).
  using Reads = detection_test::Reads;
  Reads ReadsOf(const std::wstring& path) const {
    return Reads{CountingFiles::Of(files.existenceReads, path), static_cast<int>(versions.ReadCount() - versionReadsBefore_),
                 CountingFiles::Of(files.sizeReads, path), CountingFiles::Of(files.contentReads, path)};
  }

  CountingFiles files;
  RaisingVersionInfo versions;
  RaisingProcesses processes;

 private:
  std::size_t versionReadsBefore_ = 0;
  std::tuple<std::shared_ptr<CHashier>, std::shared_ptr<CFileInfoManager>> savedCaches_{MWDL::goHashier,
                                                                                         MWDL::goFileInfoManager};
};

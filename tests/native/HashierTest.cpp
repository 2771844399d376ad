// CHashier: the 31-bit file checksum and its per-path cache.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspection/Hashier.h"
#include "tests/doubles/FakeMachine.h"

namespace {

struct ChecksumRow {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::int32_t expected;
};

TEST(HashierChecksum, MatchesTheWorkedValues) {
  const std::vector<ChecksumRow> rows = {
      {"a", {0x61}, 97},
      {"ab", {0x61, 0x62}, 1073741970},
      {"abc", {0x61, 0x62, 0x63}, 536871084},
      {"31 x FF", std::vector<std::uint8_t>(31, 0xFF), 2147483647},
      {"32 x FF (last step dropped)", std::vector<std::uint8_t>(32, 0xFF), 2147483647},
      {"40 x FF", std::vector<std::uint8_t>(40, 0xFF), 2147483647},
      {"one zero byte", {0x00}, 0}, {"nothing", {}, 0},
  };
  for (const ChecksumRow& row : rows) {
    EXPECT_EQ(inspection::Checksum31(row.bytes.data(), row.bytes.size()), row.expected) << row.name;
  }
}

// The checksum as written out step by step in wide arithmetic, to compare the fast loop against.
std::int32_t ReferenceChecksum(const std::vector<std::uint8_t>& bytes) {
  std::int64_t h = 0;
  for (std::uint8_t b : bytes) {
    std::int64_t t = h / 2 + (h % 2) * 1073741824 + b;
    if (t <= 2147483647) h = t;
  }
  return static_cast<std::int32_t>(h);
}

TEST(HashierChecksum, AgreesWithTheStepByStepDefinition) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> mixed(100000);
  for (auto& b : mixed) b = static_cast<std::uint8_t>(random());
  // Long runs of 0xFF keep h at the top of the range, where steps are dropped.
  std::vector<std::uint8_t> highRuns;
  for (int run = 0; run < 200; ++run) {
    highRuns.insert(highRuns.end(), 20 + random() % 60, 0xFF);
    highRuns.insert(highRuns.end(), random() % 5, static_cast<std::uint8_t>(random()));
  }
  for (const auto* bytes : {&mixed, &highRuns}) {
    EXPECT_EQ(inspection::Checksum31(bytes->data(), bytes->size()), ReferenceChecksum(*bytes));
  }
}

class HashierFiles : public ::testing::Test {
 protected:
  // Counts whole-file reads, and notes the memory of the buffer each read is handed.
  class CountingFiles : public platform::FakeFiles {
   public:
    int reads = 0;
    std::vector<std::size_t> handedCapacities;
    bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                 unsigned long& lastError) override {
      ++reads;
      handedCapacities.push_back(bytes.capacity());
      return FakeFiles::ReadAll(path, bytes, maxBytes, lastError);
    }
  };

  HashierFiles() { platform::Install(platform::Services{.files = &files}); }

  // The pair for `path`, with the size output poisoned first.
  std::pair<std::int32_t, std::int32_t> Query(const std::wstring& path) {
    std::int32_t size = -12345;
    return {hashier.HashFromFullFileName(path, size), size};
  }

  platform::FakeMachine machine;
  CountingFiles files;
  CHashier hashier;
};

using Pair = std::pair<std::int32_t, std::int32_t>;

TEST_F(HashierFiles, GivesChecksumAndSize) {
  files.AddTextFile(L"C:\\abc.txt", "abc");
  files.AddFile(L"C:\\zero.bin", {0x00});
  files.AddFile(L"C:\\empty.bin", {});
  files.AddFile(L"C:\\ff.bin", std::vector<std::uint8_t>(40, 0xFF));
  EXPECT_EQ(Query(L"C:\\abc.txt"), Pair(536871084, 3));
  EXPECT_EQ(Query(L"C:\\zero.bin"), Pair(0, 1));
  EXPECT_EQ(Query(L"C:\\empty.bin"), Pair(0, 0));
  EXPECT_EQ(Query(L"C:\\ff.bin"), Pair(2147483647, 40));
}

TEST_F(HashierFiles, UnreadableFilesGiveZeroAndZero) {
  files.AddTextFile(L"C:\\locked.dll", "abc");
  files.Fail(L"C:\\locked.dll", platform::kFileOpRead, platform::kErrorSharingViolation);
  files.AddLargeFile(L"C:\\huge.bin", 0x90000000ull);  // beyond what is read into memory
  for (const wchar_t* path : {L"C:\\missing.dll", L"C:\\locked.dll", L"C:\\huge.bin"}) {
    EXPECT_EQ(Query(path), Pair(0, 0)) << path;
  }
}

// The read buffer is kept from file to file, but not once a file larger than the bound was read into it.
TEST_F(HashierFiles, ReadBufferIsKeptOnlyUpToItsBound) {
  files.AddTextFile(L"C:\\a.dll", "abc");
  files.AddLargeFile(L"C:\\big.dll", CHashier::kKeptBufferBytes + 1);
  files.AddTextFile(L"C:\\b.dll", "ab");
  files.AddTextFile(L"C:\\c.dll", "a");
  for (const wchar_t* path : {L"C:\\a.dll", L"C:\\big.dll", L"C:\\b.dll", L"C:\\c.dll"}) Query(path);
  ASSERT_EQ(files.handedCapacities.size(), 4u);
  EXPECT_EQ(files.handedCapacities[0], 0u);  // a new cache's first read
  EXPECT_GE(files.handedCapacities[1], 3u);  // a.dll's memory, kept
  EXPECT_EQ(files.handedCapacities[2], 0u);  // big.dll's, given back
  EXPECT_GE(files.handedCapacities[3], 2u);  // b.dll's, kept again
  EXPECT_EQ(Query(L"C:\\big.dll"), Pair(0, static_cast<std::int32_t>(CHashier::kKeptBufferBytes + 1)));
}

// Every answer, a missing file's too, is kept per path (in any case) until ReInit: the file is not read
// again even once it changes or appears. Another spelling of the path is another entry.
TEST_F(HashierFiles, AnswersAreCachedPerPathUntilReInit) {
  files.AddTextFile(L"C:\\Dir\\abc.txt", "abc");
  EXPECT_EQ(Query(L"C:\\Dir\\abc.txt"), Pair(536871084, 3));
  EXPECT_EQ(Query(L"C:\\later.dll"), Pair(0, 0));
  files.AddTextFile(L"C:\\Dir\\abc.txt", "a");
  files.AddTextFile(L"C:\\later.dll", "ab");
  EXPECT_EQ(Query(L"C:\\Dir\\abc.txt"), Pair(536871084, 3));
  EXPECT_EQ(Query(L"c:\\DIR\\ABC.TXT"), Pair(536871084, 3));
  EXPECT_EQ(Query(L"C:\\later.dll"), Pair(0, 0));
  EXPECT_EQ(files.reads, 2);
  Query(L"C:\\Dir\\.\\abc.txt");
  EXPECT_EQ(files.reads, 3);

  hashier.ReInit();
  EXPECT_EQ(Query(L"C:\\Dir\\abc.txt"), Pair(97, 1));
  EXPECT_EQ(Query(L"C:\\later.dll"), Pair(1073741970, 2));
  EXPECT_EQ(files.reads, 5);
}

}  // namespace

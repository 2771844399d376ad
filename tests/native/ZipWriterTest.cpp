// The zip archive writer of vbzip10.dll on files in memory: what it writes is read back field by field
// and inflated through zlib; every refusal leaves no archive.
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/zip/MemoryZip.h"
#include "zip/ZipOptions.h"
#include "zip/ZipWriter.h"

namespace {

using namespace ziptest;

class RecordingProgress final : public zip::IProgress {
 public:
  std::string stopAt;  // Adding answers false for this name
  std::vector<std::pair<std::string, std::uint64_t>> adding;
  std::vector<zip::EntryReport> added;

  bool Adding(const std::string& storedName, std::uint64_t size) override {
    adding.emplace_back(storedName, size);
    return storedName != stopAt;
  }
  void Added(const zip::EntryReport& entry) override { added.push_back(entry); }
};

Bytes RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

Bytes TextBytes(std::size_t size) {
  const std::string line = "<item name=\"C:\\WINDOWS\\system32\\kernel32.dll\" size=\"983552\"/>\r\n";
  Bytes bytes;
  while (bytes.size() < size) bytes.insert(bytes.end(), line.begin(), line.end());
  bytes.resize(size);
  return bytes;
}

// --- Archives written --------------------------------------------------------------------------------

struct ContentRow {
  const char* name;
  Bytes bytes;
  bool deflated;
};

std::vector<ContentRow> ContentRows() {
  return {{"empty.dat", {}, false},
          {"three.dat", {'a', 'b', 'c'}, false},
          {"random.bin", RandomBytes(1 << 20, 1), false},
          {"state.xml", TextBytes(300000), true}};
}

TEST(ZipWriter, EachFileRoundTripsThroughInflate) {
  for (const ContentRow& row : ContentRows()) {
    MemoryFiles files;
    files.Add(std::string("C:\\Temp\\") + row.name, row.bytes);
    RecordingProgress progress;
    const zip::Job job{"C:\\out.zip", {std::string("C:\\Temp\\") + row.name}};
    ASSERT_EQ(zip::WriteArchive(job, files, progress).result, kZipOk) << row.name;
    ASSERT_TRUE(files.committed && files.dropped == false) << row.name;
    const std::vector<ReadEntry> entries = ReadArchive(files.archive);
    ASSERT_EQ(entries.size(), 1u) << row.name;
    EXPECT_EQ(entries[0].name, row.name);
    EXPECT_EQ(entries[0].method, row.deflated ? 8 : 0) << row.name;
    EXPECT_TRUE(entries[0].data == row.bytes) << row.name;
    ASSERT_EQ(progress.added.size(), 1u);
    EXPECT_EQ(progress.added[0].deflated, row.deflated) << row.name;
    if (row.deflated) {
      EXPECT_LT(progress.added[0].compressedSize * 10, row.bytes.size()) << row.name;
    }
  }
}

TEST(ZipWriter, SeveralFilesKeepTheirOrderNamesTimesAndAttributes) {
  MemoryFiles files;
  zip::Job job{"out.zip", {}};
  std::uint16_t stamp = 0x1000;
  for (const ContentRow& row : ContentRows()) {
    job.paths.push_back(std::string("D:\\in\\") + row.name);
    files.Add(job.paths.back(), row.bytes, stamp, static_cast<std::uint16_t>(stamp + 1)).facts.dosAttributes = 0x21;
    stamp += 0x111;
  }
  job.paths.push_back("D:\\in\\r\xC3\xA9sum\xC3\xA9.dat");
  files.Add(job.paths.back(), {'x'});
  RecordingProgress progress;
  ASSERT_EQ(zip::WriteArchive(job, files, progress).result, kZipOk);
  const std::vector<ReadEntry> entries = ReadArchive(files.archive);
  ASSERT_EQ(entries.size(), job.paths.size());
  ASSERT_EQ(progress.adding.size(), job.paths.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const MemoryFile& file = files.files[job.paths[i]];
    const std::string bare = job.paths[i].substr(6);
    EXPECT_EQ(entries[i].name, bare);
    EXPECT_TRUE(entries[i].data == file.bytes) << bare;
    EXPECT_EQ(entries[i].time, file.facts.dosTime) << bare;
    EXPECT_EQ(entries[i].date, file.facts.dosDate) << bare;
    EXPECT_EQ(entries[i].externalAttributes, file.facts.dosAttributes) << bare;
    EXPECT_EQ((entries[i].flags & 0x0800) != 0, i == entries.size() - 1) << "UTF-8 flag only on the non-ASCII name";
    EXPECT_EQ(progress.adding[i], std::make_pair(bare, std::uint64_t{file.bytes.size()}));
  }
}

TEST(ZipWriter, LevelZeroStoresEveryFileAndTheLevelIsMarked) {
  const struct {
    int level;
    std::uint16_t method, levelBits;
  } rows[] = {{0, 0, 0}, {1, 8, 6}, {2, 8, 4}, {6, 8, 0}, {9, 8, 2}};
  for (const auto& row : rows) {
    MemoryFiles files;
    files.Add("a.xml", TextBytes(50000));
    RecordingProgress progress;
    ASSERT_EQ(zip::WriteArchive({"o.zip", {"a.xml"}, true, row.level}, files, progress).result, kZipOk);
    const std::vector<ReadEntry> entries = ReadArchive(files.archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].method, row.method) << row.level;
    EXPECT_EQ(entries[0].flags & 6, row.levelBits) << row.level;
    EXPECT_TRUE(entries[0].data == files.files["a.xml"].bytes) << row.level;
  }
}

TEST(ZipWriter, TheMostEntriesWithoutZip64AreWritten) {
  MemoryFiles files;
  zip::Job job{"o.zip", {}, true, 0};
  for (std::size_t i = 0; i < zip::kMaxEntries; ++i) {
    job.paths.push_back("f" + std::to_string(i));
    files.Add(job.paths.back(), {});
  }
  RecordingProgress progress;
  ASSERT_EQ(zip::WriteArchive(job, files, progress).result, kZipOk);
  EXPECT_EQ(ReadArchive(files.archive).size(), zip::kMaxEntries);
}

// --- Refusals ----------------------------------------------------------------------------------------

struct RefusalRow {
  const char* what;
  std::function<void(MemoryFiles&, zip::Job&, RecordingProgress&)> arrange;
  std::int32_t result;
  bool created;  // the archive was started (and must have been dropped)
};

TEST(ZipWriter, RefusalsLeaveNoArchive) {
  const std::vector<RefusalRow> rows = {
      {"no files", [](auto&, auto& job, auto&) { job.paths.clear(); }, kZipErrorNothing, false},
      {"a missing file", [](auto&, auto& job, auto&) { job.paths.push_back("missing.txt"); }, kZipErrorOpen, false},
      {"a file of 4 GiB - 1 bytes",
       [](auto& files, auto&, auto&) { files.files["b.txt"].facts.size = 0xFFFFFFFFu; }, kZipErrorBig, false},
      {"65536 files",
       [](auto&, auto& job, auto&) { job.paths.resize(zip::kMaxEntries + 1, "a.txt"); }, kZipErrorBig, false},
      {"one bare name twice, in other case", [](auto& files, auto& job, auto&) {
         files.Add("sub\\A.TXT", {1});
         job.paths.push_back("sub\\A.TXT");
       }, kZipErrorParameters, false},
      {"a name without a file name", [](auto&, auto& job, auto&) { job.paths.push_back("sub\\"); },
       kZipErrorParameters, false},
      {"level 10", [](auto&, auto& job, auto&) { job.level = 10; }, kZipErrorParameters, false},
      {"an archive that cannot be created", [](auto& files, auto&, auto&) { files.failCreate = true; },
       kZipErrorCreate, false},
      {"a read error", [](auto& files, auto&, auto&) { files.files["b.txt"].failRead = true; }, kZipErrorRead, true},
      {"a file that changed between its two readings",
       [](auto& files, auto&, auto&) { files.files["b.txt"].afterRewind = {'x', 'y', 'z'}; }, kZipErrorRead, true},
      {"a write error", [](auto& files, auto&, auto&) { files.writeLimit = 40; }, kZipErrorWrite, true},
      {"a stop from the progress", [](auto&, auto&, auto& progress) { progress.stopAt = "b.txt"; }, kZipErrorAbort,
       true},
      {"a failed commit", [](auto& files, auto&, auto&) { files.commitResult = kZipErrorCreate; }, kZipErrorCreate,
       true},
  };
  for (const RefusalRow& row : rows) {
    MemoryFiles files;
    files.Add("a.txt", TextBytes(1000));
    files.Add("b.txt", {'a', 'b', 'c'});
    zip::Job job{"o.zip", {"a.txt", "b.txt"}};
    RecordingProgress progress;
    row.arrange(files, job, progress);
    EXPECT_EQ(zip::WriteArchive(job, files, progress).result, row.result) << row.what;
    EXPECT_EQ(files.created, row.created) << row.what;
    EXPECT_EQ(files.dropped, row.created) << row.what;
    EXPECT_FALSE(files.committed) << row.what;
  }
}

// Four GiB of zeros through CRC-32 each: the limits that only such sizes reach.
TEST(ZipWriter, SizesAndOffsetsBeyondWhatZipWithoutZip64HoldsAreRefused) {
  const struct {
    const char* what;
    std::uint64_t claimed, actual;
  } rows[] = {{"the central directory would start beyond 4 GiB", zip::kMaxSize, zip::kMaxSize},
              {"a file that grew beyond 4 GiB while read", 3, zip::kMaxSize + 1}};
  for (const auto& row : rows) {
    MemoryFiles files;
    files.keepBytes = false;
    MemoryFile& big = files.Add("big.bin", {});
    big.facts.size = row.claimed;
    big.zeros = row.actual;
    RecordingProgress progress;
    EXPECT_EQ(zip::WriteArchive({"o.zip", {"big.bin"}, true, 0}, files, progress).result, kZipErrorBig) << row.what;
    EXPECT_TRUE(files.dropped && !files.committed) << row.what;
  }
}

// --- Names, times, options and messages -----------------------------------------------------------

TEST(ZipWriter, StoredNames) {
  const struct {
    const char* path;
    bool junk;
    const char* stored;
  } rows[] = {
      {"C:\\Temp\\{4F2A}.dat", true, "{4F2A}.dat"},
      {"C:\\Temp\\sub\\a.txt", false, "Temp/sub/a.txt"},
      {"a.txt", true, "a.txt"},
      {"d:file.txt", true, "file.txt"},
      {"/x/y\\z.txt", false, "x/y/z.txt"},
      {"\\\\server\\share\\x.dat", false, "server/share/x.dat"},
      {".\\sub\\.\\\\b.txt", false, "sub/b.txt"},
      {"..\\up\\c.txt", true, "c.txt"},
      {"..\\up\\c.txt", false, ""},
      {"r\xC3\xA9sum\xC3\xA9.dat", true, "r\xC3\xA9sum\xC3\xA9.dat"},
      {"r\xE9sum\xE9.dat", true, ""},  // not UTF-8
      {"sub\\", true, ""},
      {"sub\\.", false, ""},
      {"sub\\..", true, ""},
      {"C:", true, ""},
      {"", true, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(zip::StoredName(row.path, row.junk), row.stored) << row.path << " " << row.junk;
  EXPECT_EQ(zip::StoredName(std::string(0x10000, 'n'), true), "");
  EXPECT_EQ(zip::StoredName(std::string(0xFFFF, 'n'), true).size(), 0xFFFFu);
}

TEST(ZipWriter, DosTimeStamps) {
  const struct {
    int year, month, day, hour, minute, second;
    std::uint16_t time, date;
  } rows[] = {
      {2021, 6, 15, 13, 45, 30, 13 << 11 | 45 << 5 | 15, 41 << 9 | 6 << 5 | 15},
      {2021, 6, 15, 13, 45, 31, 13 << 11 | 45 << 5 | 15, 41 << 9 | 6 << 5 | 15},
      {1980, 1, 1, 0, 0, 0, 0, 1 << 5 | 1},
      {1979, 12, 31, 23, 59, 59, 0, 1 << 5 | 1},
      {2107, 12, 31, 23, 59, 58, 23 << 11 | 59 << 5 | 29, 127 << 9 | 12 << 5 | 31},
      {2108, 1, 1, 0, 0, 0, 23 << 11 | 59 << 5 | 29, 127 << 9 | 12 << 5 | 31},
  };
  for (const auto& r : rows) {
    const zip::DosStamp stamp = zip::DosTimeStamp(r.year, r.month, r.day, r.hour, r.minute, r.second);
    EXPECT_EQ(stamp.time, r.time) << r.year << "-" << r.second;
    EXPECT_EQ(stamp.date, r.date) << r.year << "-" << r.second;
  }
}

TEST(ZipOptions, TheRecordAsTheProgramFillsItIsAccepted) {
  char root[] = "   ";
  ZipOptionRecord options{};
  options.rootFolder = root;
  options.noDirectoryEntries = 1;
  options.junkFolderNames = 1;
  zip::Settings settings;
  settings.level = -1;
  ASSERT_EQ(zip::ReadOptions(options, settings).result, kZipOk);
  EXPECT_TRUE(settings.junkFolderNames);
  EXPECT_FALSE(settings.quiet);
  EXPECT_EQ(settings.level, 6);
  EXPECT_EQ(settings.rootFolder, "") << "a root of blanks is none";

  // Options that need no work here, whatever their value.
  options.includeSystemAndHidden = options.noExtraAttributes = options.verbose = options.quiet = 1;
  options.encryptionSupported = 1;
  options.noDirectoryEntries = options.junkFolderNames = 0;
  options.rootFolder = nullptr;
  ASSERT_EQ(zip::ReadOptions(options, settings).result, kZipOk);
  EXPECT_FALSE(settings.junkFolderNames);
  EXPECT_TRUE(settings.quiet);
}

TEST(ZipOptions, LevelBytes) {
  const struct {
    char level;
    std::int32_t result;
    int read;
  } rows[] = {{0, kZipOk, 6}, {'0', kZipOk, 0}, {'1', kZipOk, 1}, {'9', kZipOk, 9},
              {9, kZipErrorParameters, -1}, {':', kZipErrorParameters, -1}, {'/', kZipErrorParameters, -1}};
  for (const auto& row : rows) {
    ZipOptionRecord options{};
    options.level = row.level;
    zip::Settings settings;
    settings.level = -1;
    EXPECT_EQ(zip::ReadOptions(options, settings).result, row.result) << int(row.level);
    EXPECT_EQ(settings.level, row.read) << int(row.level);
  }
}

TEST(ZipOptions, EveryOptionNotImplementedIsRefusedByName) {
  const struct {
    std::int32_t ZipOptionRecord::*field;
    std::int32_t value;
    const char* named;
  } rows[] = {
      {&ZipOptionRecord::useTempFolder, 1, "temporary folder"}, {&ZipOptionRecord::suffixes, 1, "suffixes"},
      {&ZipOptionRecord::encrypt, 1, "encryption"}, {&ZipOptionRecord::storeVolumeLabel, 1, "volume label"},
      {&ZipOptionRecord::excludeAfterDate, 1, "date"}, {&ZipOptionRecord::includeAfterDate, 1, "date"},
      {&ZipOptionRecord::crlfToLf, 1, "CR LF to LF"}, {&ZipOptionRecord::lfToCrlf, 1, "LF to CR LF"},
      {&ZipOptionRecord::grow, 1, "appending"}, {&ZipOptionRecord::forceDosNames, 1, "DOS names"},
      {&ZipOptionRecord::move, 1, "moving"}, {&ZipOptionRecord::deleteEntries, 1, "deleting"},
      {&ZipOptionRecord::update, 1, "update"}, {&ZipOptionRecord::freshen, 1, "freshen"},
      {&ZipOptionRecord::junkSfx, 1, "SFX"}, {&ZipOptionRecord::latestTime, 1, "latest"},
      {&ZipOptionRecord::comment, 1, "comment"}, {&ZipOptionRecord::offsets, 1, "offsets"},
      {&ZipOptionRecord::privileges, 1, "privileges"}, {&ZipOptionRecord::recurse, 2, "recursion"},
      {&ZipOptionRecord::recurse, 1, "recursion"}, {&ZipOptionRecord::repair, -1, "repair"},
  };
  for (const auto& row : rows) {
    ZipOptionRecord options{};
    options.junkFolderNames = 1;
    options.*row.field = row.value;
    zip::Settings settings;
    const zip::Outcome outcome = zip::ReadOptions(options, settings);
    EXPECT_EQ(outcome.result, kZipErrorParameters) << row.named;
    EXPECT_NE(outcome.detail.find(row.named), std::string::npos) << outcome.detail;
    EXPECT_FALSE(settings.junkFolderNames) << "settings unchanged";
  }
}

TEST(ZipMessages, AddingAndErrorLines) {
  EXPECT_EQ(zip::AddingLine({"state.xml", true, 1000, 575}), "  adding: state.xml (deflated 43%)\n");
  EXPECT_EQ(zip::AddingLine({"a.dat", true, 1000, 580}), "  adding: a.dat (deflated 42%)\n");
  EXPECT_EQ(zip::AddingLine({"three.dat", false, 3, 3}), "  adding: three.dat (stored 0%)\n");
  EXPECT_EQ(zip::AddingLine({"empty.dat", false, 0, 0}), "  adding: empty.dat (stored 0%)\n");
  EXPECT_EQ(zip::Percent(0xFFFFFFFEu, 1), 100);
  EXPECT_EQ(zip::ErrorLine({kZipErrorNothing, "C:\\o.zip"}), "zip error: Nothing to do! (C:\\o.zip)\n");
  EXPECT_EQ(zip::ErrorLine({kZipErrorOpen, ""}), "zip error: File not found or no read permission\n");
}

}  // namespace

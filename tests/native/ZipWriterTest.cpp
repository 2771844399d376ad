// The zip archive writer of vbzip10.dll on files in memory: what it writes is read back field by field
// and inflated through zlib; every refusal leaves no archive.
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
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

// Writes `job`, which must succeed and commit, and reads the archive back.
std::vector<ReadEntry> Write(const zip::Job& job, MemoryFiles& files, RecordingProgress& progress) {
  const zip::Outcome outcome = zip::WriteArchive(job, files, progress);
  EXPECT_EQ(outcome.result, kZipOk) << outcome.detail;
  EXPECT_TRUE(files.committed && !files.dropped);
  return outcome.result == kZipOk ? ReadArchive(files.archive) : std::vector<ReadEntry>{};
}

// Each file keeps its place, name, bytes, time, date and attributes; text is deflated to less than a
// tenth, what deflating does not shrink is stored; only a name outside ASCII carries the UTF-8 flag.
TEST(ZipWriter, FilesRoundTripInOrderWithNamesTimesAttributesAndTheMethodThatShrinks) {
  struct Row { const char* name; Bytes bytes; bool deflated; };
  const std::vector<Row> rows = {{"empty.dat", {}, false},
                                 {"three.dat", {'a', 'b', 'c'}, false},
                                 {"random.bin", RandomBytes(1 << 20, 1), false},
                                 {"state.xml", TextBytes(300000), true},
                                 {"r\xC3\xA9sum\xC3\xA9.dat", {'x'}, false}};
  MemoryFiles files;
  zip::Job job{"out.zip", {}};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    job.paths.push_back(std::string("D:\\in\\") + rows[i].name);
    const auto stamp = static_cast<std::uint16_t>(0x1000 + 0x111 * i);
    MemoryFile& file = files.Add(job.paths.back(), rows[i].bytes, stamp, static_cast<std::uint16_t>(stamp + 1));
    file.facts.dosAttributes = static_cast<std::uint8_t>(0x20 + i);
  }
  RecordingProgress progress;
  const std::vector<ReadEntry> entries = Write(job, files, progress);
  ASSERT_EQ(entries.size(), rows.size());
  ASSERT_EQ(progress.added.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ReadEntry& e = entries[i];
    const zip::FileFacts& facts = files.files[job.paths[i]].facts;
    const std::string name = rows[i].name;
    const bool deflated = rows[i].deflated, utf8 = i == rows.size() - 1;
    EXPECT_EQ(std::tuple(e.name, e.data, e.time, e.date, e.externalAttributes, (e.flags & 0x0800) != 0, progress.adding[i],
                         e.method, progress.added[i].deflated),
              std::tuple(name, rows[i].bytes, facts.dosTime, facts.dosDate, std::uint32_t{facts.dosAttributes}, utf8,
                         std::pair(name, std::uint64_t{rows[i].bytes.size()}),
                         static_cast<std::uint16_t>(deflated ? 8 : 0), deflated)) << name;
    if (deflated) {
      EXPECT_LT(progress.added[i].compressedSize * 10, rows[i].bytes.size()) << name;
    }
  }
}

TEST(ZipWriter, LevelZeroStoresEveryFileAndTheLevelIsMarked) {
  struct Row { int level; std::uint16_t method, levelBits; };
  for (const Row& row : {Row{0, 0, 0}, Row{1, 8, 6}, Row{2, 8, 4}, Row{6, 8, 0}, Row{9, 8, 2}}) {
    MemoryFiles files;
    files.Add("a.xml", TextBytes(50000));
    RecordingProgress progress;
    const std::vector<ReadEntry> entries = Write({"o.zip", {"a.xml"}, true, row.level}, files, progress);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(std::tuple(entries[0].method, entries[0].flags & 6, entries[0].data),
              std::tuple(row.method, int{row.levelBits}, files.files["a.xml"].bytes)) << row.level;
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
  EXPECT_EQ(Write(job, files, progress).size(), zip::kMaxEntries);
}

// --- Refusals ----------------------------------------------------------------------------------------

// One run: the files a.txt and b.txt, a job that archives both, and its progress.
struct Attempt {
  Attempt() {
    files.Add("a.txt", TextBytes(1000));
    files.Add("b.txt", {'a', 'b', 'c'});
  }
  MemoryFiles files;
  zip::Job job{"o.zip", {"a.txt", "b.txt"}};
  RecordingProgress progress;
};

TEST(ZipWriter, RefusalsLeaveNoArchive) {
  struct Row {
    const char* what;
    std::function<void(Attempt&)> arrange;
    std::int32_t result;
    bool created;  // the archive was started (and must have been dropped)
  };
  const std::vector<Row> rows = {
      {"no files", [](Attempt& r) { r.job.paths.clear(); }, kZipErrorNothing, false},
      {"a missing file", [](Attempt& r) { r.job.paths.push_back("missing.txt"); }, kZipErrorOpen, false},
      {"a file of 4 GiB - 1 bytes", [](Attempt& r) { r.files.files["b.txt"].facts.size = 0xFFFFFFFFu; },
       kZipErrorBig, false},
      {"65536 files", [](Attempt& r) { r.job.paths.resize(zip::kMaxEntries + 1, "a.txt"); }, kZipErrorBig, false},
      {"one bare name twice, in other case",
       [](Attempt& r) { r.files.Add("sub\\A.TXT", {1}), r.job.paths.push_back("sub\\A.TXT"); },
       kZipErrorParameters, false},
      {"a name without a file name", [](Attempt& r) { r.job.paths.push_back("sub\\"); }, kZipErrorParameters, false},
      {"level 10", [](Attempt& r) { r.job.level = 10; }, kZipErrorParameters, false},
      {"an archive that cannot be created", [](Attempt& r) { r.files.failCreate = true; }, kZipErrorCreate, false},
      {"a read error", [](Attempt& r) { r.files.files["b.txt"].failRead = true; }, kZipErrorRead, true},
      {"a file that changed between its two readings",
       [](Attempt& r) { r.files.files["b.txt"].afterRewind = {'x', 'y', 'z'}; }, kZipErrorRead, true},
      {"a write error", [](Attempt& r) { r.files.writeLimit = 40; }, kZipErrorWrite, true},
      {"a stop from the progress", [](Attempt& r) { r.progress.stopAt = "b.txt"; }, kZipErrorAbort, true},
      {"a failed commit", [](Attempt& r) { r.files.commitResult = kZipErrorCreate; }, kZipErrorCreate, true},
  };
  for (const Row& row : rows) {
    Attempt run;
    row.arrange(run);
    EXPECT_EQ(zip::WriteArchive(run.job, run.files, run.progress).result, row.result) << row.what;
    EXPECT_EQ(std::tuple(run.files.created, run.files.dropped, run.files.committed),
              std::tuple(row.created, row.created, false)) << row.what;
  }
}

// Four GiB of zeros through CRC-32 each: the limits that only such sizes reach.
TEST(ZipWriter, SizesAndOffsetsBeyondWhatZipWithoutZip64HoldsAreRefused) {
  struct Row { const char* what; std::uint64_t claimed, actual; };
  for (const Row& row : {Row{"the central directory would start beyond 4 GiB", zip::kMaxSize, zip::kMaxSize},
                         Row{"a file that grew beyond 4 GiB while read", 3, zip::kMaxSize + 1}}) {
    MemoryFiles files;
    files.keepBytes = false;
    MemoryFile& big = files.Add("big.bin", {});
    big.facts.size = row.claimed;
    big.zeros = row.actual;
    RecordingProgress progress;
    const std::int32_t result = zip::WriteArchive({"o.zip", {"big.bin"}, true, 0}, files, progress).result;
    EXPECT_EQ(std::tuple(result, files.dropped, files.committed), std::tuple(kZipErrorBig, true, false)) << row.what;
  }
}

// --- Names, times, options and messages -----------------------------------------------------------

TEST(ZipWriter, StoredNames) {
  struct Row { const char* path; bool junk; const char* stored; };
  const Row rows[] = {
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
  // The longest name that can be stored, and one byte more.
  EXPECT_EQ(zip::StoredName(std::string(0xFFFF, 'n'), true).size(), 0xFFFFu);
  EXPECT_EQ(zip::StoredName(std::string(0x10000, 'n'), true), "");
}

TEST(ZipWriter, DosTimeStamps) {
  struct Row { int year, month, day, hour, minute, second; std::uint16_t time, date; };
  const Row rows[] = {
      {2021, 6, 15, 13, 45, 30, 13 << 11 | 45 << 5 | 15, 41 << 9 | 6 << 5 | 15},
      {2021, 6, 15, 13, 45, 31, 13 << 11 | 45 << 5 | 15, 41 << 9 | 6 << 5 | 15},
      {1980, 1, 1, 0, 0, 0, 0, 1 << 5 | 1},
      {1979, 12, 31, 23, 59, 59, 0, 1 << 5 | 1},
      {2107, 12, 31, 23, 59, 58, 23 << 11 | 59 << 5 | 29, 127 << 9 | 12 << 5 | 31},
      {2108, 1, 1, 0, 0, 0, 23 << 11 | 59 << 5 | 29, 127 << 9 | 12 << 5 | 31},
  };
  for (const Row& r : rows) {
    const zip::DosStamp stamp = zip::DosTimeStamp(r.year, r.month, r.day, r.hour, r.minute, r.second);
    EXPECT_EQ(std::pair(stamp.time, stamp.date), std::pair(r.time, r.date)) << r.year << "-" << r.second;
  }
}

TEST(ZipOptions, TheRecordAsTheProgramFillsItIsAccepted) {
  char root[] = "   ";
  ZipOptionRecord options{};
  options.rootFolder = root;
  options.noDirectoryEntries = options.junkFolderNames = 1;
  zip::Settings settings;
  settings.level = -1;
  ASSERT_EQ(zip::ReadOptions(options, settings).result, kZipOk);
  // A root of blanks is none.
  EXPECT_EQ(std::tie(settings.junkFolderNames, settings.quiet, settings.level, settings.rootFolder),
            std::tuple(true, false, 6, ""));

  // Options that need no work here, whatever their value.
  options.includeSystemAndHidden = options.noExtraAttributes = options.verbose = options.quiet = 1;
  options.encryptionSupported = 1;
  options.noDirectoryEntries = options.junkFolderNames = 0;
  options.rootFolder = nullptr;
  ASSERT_EQ(zip::ReadOptions(options, settings).result, kZipOk);
  EXPECT_EQ(std::pair(settings.junkFolderNames, settings.quiet), std::pair(false, true));
}

TEST(ZipOptions, LevelBytes) {
  struct Row { char level; std::int32_t result; int read; };
  for (const Row& row : {Row{0, kZipOk, 6}, Row{'0', kZipOk, 0}, Row{'1', kZipOk, 1}, Row{'9', kZipOk, 9},
                         Row{9, kZipErrorParameters, -1}, Row{':', kZipErrorParameters, -1},
                         Row{'/', kZipErrorParameters, -1}}) {
    ZipOptionRecord options{};
    options.level = row.level;
    zip::Settings settings;
    settings.level = -1;
    EXPECT_EQ((std::pair{zip::ReadOptions(options, settings).result, settings.level}), std::pair(row.result, row.read))
        << int(row.level);
  }
}

TEST(ZipOptions, EveryOptionNotImplementedIsRefusedByName) {
  struct Row { std::int32_t ZipOptionRecord::*field; std::int32_t value; const char* named; };
  const Row rows[] = {
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
    // Named in the detail, and the settings unchanged.
    EXPECT_EQ(std::tuple(outcome.result, outcome.detail.find(row.named) != std::string::npos, settings.junkFolderNames),
              std::tuple(kZipErrorParameters, true, false)) << row.named << ": " << outcome.detail;
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

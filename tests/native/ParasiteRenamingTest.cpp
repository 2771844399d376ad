// CProcessManager's renaming to parasite names with the Removed Files record, on the doubles.
#include <map>
#include <new>
#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/Hashier.h"
#include "inspection/ProcessManager.h"

namespace {

const std::wstring kKey = L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files";
const std::wstring kA = L"C:\\Apps\\a.dll";  // holds "abc": size 3, checksum 536871084
const std::wstring kB = L"C:\\Apps\\b.exe";  // holds "a": size 1, checksum 97
const std::wstring kParasiteA = L"C:\\Apps\\parasite_a.dll.parasite";
const std::wstring kParasiteB = L"C:\\Apps\\parasite_b.exe.parasite";
const std::wstring kBusy = L"The process cannot access the file because it is being used by another process.";

// Processes whose end lets go of a file: once one has ended, its file moves again.
class HoldingProcesses : public platform::FakeProcesses {
 public:
  explicit HoldingProcesses(platform::FakeFiles& files) : files_(files) {}
  void Hold(std::uint32_t id, const std::wstring& path) {
    AddProcess(id, {L"C:\\Apps\\holder" + std::to_wstring(id) + L".exe", path});
    files_.Fail(path, platform::kFileOpMove, platform::kErrorSharingViolation);
    held_[id] = path;
  }
  bool TerminateProcess(platform::Handle process, std::uint32_t exitCode) override {
    const bool ok = FakeProcesses::TerminateProcess(process, exitCode);
    for (const auto& [id, path] : held_) {
      if (!IsRunning(id)) files_.Fail(path, platform::kFileOpMove, 0);
    }
    if (onTerminate) onTerminate();
    return ok;
  }
  std::function<void()> onTerminate;

 private:
  platform::FakeFiles& files_;
  std::map<std::uint32_t, std::wstring> held_;
};

// A registry whose writes raise "Out of memory", as any call could.
class ThrowingRegistry : public RaisingRegistry {
 public:
  long SetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                const platform::RegValue& value) override {
    if (raiseOnWrite) throw std::bad_alloc();
    return RaisingRegistry::SetValue(hive, keyPath, valueName, value);
  }
  bool raiseOnWrite = false;
};

class ParasiteRenamingTest : public InspectionEnumTest {
 protected:
  using Contents = std::map<std::wstring, std::string>;
  using Records = std::map<std::wstring, std::wstring>;

  void SetUp() override {
    InspectionEnumTest::SetUp();
    platform::Install(platform::Services{.registry = &writable, .processes = &procs});
    MWDL::goHashier = std::make_shared<CHashier>();
    machine.files.AddTextFile(kA, "abc");
    machine.files.AddTextFile(kB, "a");
  }
  void TearDown() override {
    MWDL::goHashier = savedHashier_;
    InspectionEnumTest::TearDown();
  }
  void Rename(const std::vector<std::wstring>& paths) {
    CProcessManager::CFileSet set;
    for (const auto& path : paths) set.Add(path, L"_" + path);
    CProcessManager().RenameParasiteFilesEx(set);
  }
  // (source, message) of every line at `level`, in order.
  std::vector<std::pair<std::wstring, std::wstring>> At(int level = kLogInfo) const {
    std::vector<std::pair<std::wstring, std::wstring>> lines;
    for (const LogLine& line : logger->lines) {
      if (line.level == level) lines.emplace_back(line.source, line.message);
    }
    return lines;
  }
  // Every file with its text.
  Contents Files() const {
    Contents files;
    for (const std::wstring& path : machine.files.FilePaths()) files[path] = machine.files.FileText(path);
    return files;
  }
  // Every value under Removed Files with its text.
  Records Recorded() {
    std::vector<std::wstring> names;
    writable.EnumValues(platform::kHkeyCurrentUser, kKey, names);
    Records records;
    for (const auto& name : names) records[name] = writable.StringValue(platform::kHkeyCurrentUser, kKey, name);
    return records;
  }

  ThrowingRegistry writable;
  HoldingProcesses procs{machine.files};

 private:
  std::shared_ptr<CHashier> savedHashier_ = MWDL::goHashier;
};

using Lines = std::vector<std::pair<std::wstring, std::wstring>>;
using Moves = std::vector<platform::FileMove>;
const std::wstring kNT = L"CProcessManager.RenameFileNT";
const std::wstring kEx = L"CProcessManager.RenameParasiteFilesEx";
const std::wstring kOne = L"CProcessManager.RenameParasiteFile";
const Lines::value_type kEncodedA{L"CProcessManager.RenameParasiteFileNT",
                                  L"Encoded file name: 43003A005C0041007000700073005C0061002E0064006C006C00"};

}  // namespace

TEST_F(ParasiteRenamingTest, FilesThatRenameAtOnceAreRecordedWithoutTerminationOrPause) {
  Rename({kA, kB});
  EXPECT_EQ(Files(), (Contents{{kParasiteA, "abc"}, {kParasiteB, "a"}}));
  EXPECT_EQ(machine.files.Moves(), (Moves{{kA, kParasiteA, true}, {kB, kParasiteB, true}}));
  EXPECT_EQ(Recorded(), (Records{{kA, kA}, {kB, kB}}));
  EXPECT_EQ(At(), (Lines{{kNT, L"File renamed sucessfullly: 'C:\\Apps\\a.dll', (3, 536871084)"},
                         {kNT, L"File renamed sucessfullly: 'C:\\Apps\\b.exe', (1, 97)"},
                         {kEx, L"FilesToPostDelete.Count=0"}}));
  EXPECT_EQ(std::tuple(procs.OpenedAccess().size(), machine.desktop.DoEventsCount(), machine.system.Sleeps().size()),
            std::tuple(0u, 0u, 0u));
}

TEST_F(ParasiteRenamingTest, EmptySelectionWritesNothingAtAll) {
  Rename({});
  EXPECT_TRUE(logger->lines.empty());
  EXPECT_TRUE(writable.Changes().empty());
}

// A last colon from the sixth character on starts a stream name: the file before it is renamed and
// recorded. An earlier colon (a drive) leaves the path as it is.
TEST_F(ParasiteRenamingTest, StreamPartIsCutBeforeTheRename) {
  struct Case { std::wstring path, file, source, first; };  // first: the first line logged
  const Case cases[] = {
      {kA + L":Zone.Identifier", kA, kOne,
       L"Converting filename 'C:\\Apps\\a.dll:Zone.Identifier' -> 'C:\\Apps\\a.dll'"},
      // A colon at the sixth character; at the fifth: no stream.
      {L"C:\\ab:s", L"C:\\ab", kOne, L"Converting filename 'C:\\ab:s' -> 'C:\\ab'"},
      {L"C:\\a:s", L"C:\\a:s", kNT, L"File renamed sucessfullly: 'C:\\a:s', (3, 536871084)"},
  };
  for (const Case& c : cases) {
    logger->lines.clear();
    machine.files.AddTextFile(c.file, "abc");
    Rename({c.path});
    EXPECT_TRUE(machine.files.HasFile(MAPI::MakeParasiteFileName(c.file))) << c.path;
    EXPECT_EQ(Recorded()[c.file], c.file) << c.path;
    ASSERT_FALSE(logger->lines.empty());
    const LogLine& first = logger->lines.front();
    EXPECT_EQ(std::tuple(first.source, first.message, first.level), std::tuple(c.source, c.first, kLogInfo)) << c.path;
  }
}

TEST_F(ParasiteRenamingTest, ProtectedFileIsRenamedWithTheArchiveAttributeOnly) {
  using namespace platform;
  for (std::uint32_t attributes : {kFileAttributeReadOnly, kFileAttributeHidden | kFileAttributeSystem,
                                   kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeArchive}) {
    machine.files.Remove(kParasiteA);
    machine.files.AddTextFile(kA, "abc", attributes);
    Rename({kA});
    EXPECT_EQ(std::pair(machine.files.HasFile(kA), machine.files.FileAttributes(kParasiteA)),
              std::pair(false, kFileAttributeArchive))
        << attributes;
  }
}

// An older file at the parasite name, read-only at that, is replaced by the move: set aside beside
// itself first, deleted once the move has succeeded.
TEST_F(ParasiteRenamingTest, ExistingTargetIsReplacedByTheMove) {
  const std::wstring aside = kParasiteA + L".replaced";
  machine.files.AddTextFile(kParasiteA, "old", platform::kFileAttributeReadOnly);
  Rename({kA});
  EXPECT_EQ(machine.files.Moves(), (Moves{{kParasiteA, aside, true}, {kA, kParasiteA, true}}));
  EXPECT_EQ(machine.files.Deletes(), std::vector<std::wstring>{aside});
  EXPECT_EQ(Files(), (Contents{{kB, "a"}, {kParasiteA, "abc"}}));
  EXPECT_EQ(At().back(), (Lines::value_type{kEx, L"FilesToPostDelete.Count=0"}));
}

// A refused move loses nothing: the file at the target name gets its name and bytes back, in both
// families, also when the first name aside is taken (that file stays as it was).
TEST_F(ParasiteRenamingTest, RefusedMoveLeavesTheFileAtTheTargetName) {
  const std::wstring taken = kParasiteA + L".replaced", aside = kParasiteA + L".replaced2";
  machine.files.Fail(kA, platform::kFileOpMove, platform::kErrorSharingViolation);
  for (bool nt : {true, false}) {
    MAPI::gbIsNT = nt;
    machine.files.AddTextFile(kParasiteA, "old");
    machine.files.AddTextFile(taken, "left over");
    const std::size_t before = machine.files.Moves().size();
    CProcessManager manager;
    EXPECT_FALSE(manager.SafeRenameFile(kA, kParasiteA)) << nt;
    EXPECT_EQ(manager.LastRenameError(), static_cast<std::uint32_t>(platform::kErrorSharingViolation)) << nt;
    EXPECT_EQ(Files(), (Contents{{kA, "abc"}, {kB, "a"}, {kParasiteA, "old"}, {taken, "left over"}})) << nt;
    EXPECT_EQ(Moves(machine.files.Moves().begin() + static_cast<std::ptrdiff_t>(before), machine.files.Moves().end()),
              (Moves{{kParasiteA, aside, nt}, {aside, kParasiteA, nt}}))
        << nt;
  }
  EXPECT_TRUE(machine.files.Deletes().empty());
}

// A file held by a running process: the first move fails, the holder is ended, the program pauses
// until the clock has gone two whole seconds on (serving messages), and the second move succeeds.
TEST_F(ParasiteRenamingTest, HeldFileIsRenamedAfterItsHolderEndedAndThePause) {
  procs.Hold(100, kA);
  procs.AddProcess(200, {L"C:\\Apps\\unrelated.exe"});
  procs.onTerminate = [&] { EXPECT_EQ(Recorded().count(kA), 0u) << "recorded before the rename succeeded"; };
  std::vector<std::size_t> movesWhilePausing;
  machine.desktop.SetDoEventsHook([&] {
    movesWhilePausing.push_back(machine.files.Moves().size());
    platform::LocalTime now = machine.system.Now();
    ++now.second;
    machine.system.SetNow(now);
  });
  machine.system.SetNow({2024, 1, 2, 3, 4, 58});

  Rename({kB, kA});

  EXPECT_EQ(procs.Terminations(), (std::vector<platform::TerminateCall>{{100, 0}}));
  // 03:04:58 + 2 s is 03:05:00: two rounds of messages, the move after them.
  EXPECT_EQ(movesWhilePausing, (std::vector<std::size_t>{1, 1}));
  EXPECT_EQ(machine.files.Moves().back(), (platform::FileMove{kA, kParasiteA, true}));
  EXPECT_EQ(Recorded(), (Records{{kA, kA}, {kB, kB}}));
  EXPECT_EQ(At(), (Lines{{kNT, L"File renamed sucessfullly: 'C:\\Apps\\b.exe', (1, 97)"},
                         {kNT, L"Failed to rename file 'C:\\Apps\\a.dll', (3, 536871084). " + kBusy},
                         kEncodedA,
                         {kEx, L"FilesToPostDelete.Count=1"},
                         {L"CProcessManager.MyTerminateProcess", L"Process for file '100' terminated successfully. "},
                         {kNT, L"File renamed sucessfullly: 'C:\\Apps\\a.dll', (3, 536871084)"}}));
  EXPECT_TRUE(procs.IsRunning(200));
}

// Without a clock that moves (set back, say), the tick counter ends the pause after two seconds.
TEST_F(ParasiteRenamingTest, PauseEndsAfterTwoSecondsOfTicksWhenTheClockStandsStill) {
  procs.Hold(100, kA);
  Rename({kA});
  EXPECT_EQ(std::tuple(machine.system.TotalSlept(), machine.desktop.DoEventsCount(), Recorded()),
            std::tuple(2000u, machine.system.Sleeps().size() + 1, Records{{kA, kA}}));
}

TEST_F(ParasiteRenamingTest, FileThatFailsTwiceIsLoggedTwiceAndNotRecorded) {
  machine.files.Fail(kA, platform::kFileOpMove, platform::kErrorAccessDenied);
  Rename({kA});
  EXPECT_EQ(std::pair(Files(), Recorded()), std::pair(Contents{{kA, "abc"}, {kB, "a"}}, Records{}));
  const auto failed = Lines::value_type{kNT, L"Failed to rename file 'C:\\Apps\\a.dll', (3, 536871084). Access is denied."};
  EXPECT_EQ(At(), (Lines{failed, kEncodedA, {kEx, L"FilesToPostDelete.Count=1"}, failed, kEncodedA}));
  EXPECT_TRUE(At(kLogError).empty());
}

// The registry refuses the record, or fails while writing it: the renamed file is named in a level-0
// line with both its names, so that it can be found and renamed back by hand.
TEST_F(ParasiteRenamingTest, RenamedFileWithoutRecordIsLoggedWithBothNames) {
  const auto unrecorded = [](const std::wstring& path, const std::wstring& parasite) {
    return Lines::value_type{kOne, L"Renamed file not recorded under Removed Files: '" + path + L"' is now '" +
                                       parasite + L"'. Rename it back by hand to restore it."};
  };
  writable.FailWrite(platform::kHkeyCurrentUser, kKey, platform::kErrorAccessDenied);
  Rename({kA, kB});
  EXPECT_EQ(Files(), (Contents{{kParasiteA, "abc"}, {kParasiteB, "a"}}));
  EXPECT_TRUE(Recorded().empty());
  EXPECT_EQ(At(kLogError), (Lines{unrecorded(kA, kParasiteA), unrecorded(kB, kParasiteB)}));

  // An error while writing: the line, then the error ends the whole call (b.exe is not tried).
  logger->lines.clear();
  writable.FailWrite(platform::kHkeyCurrentUser, kKey, 0);
  writable.raiseOnWrite = true;
  machine.files.Remove(kParasiteA);
  machine.files.AddTextFile(kA, "abc");
  machine.files.AddTextFile(kB, "a");
  Rename({kA, kB});
  EXPECT_EQ(Files(), (Contents{{kB, "a"}, {kParasiteA, "abc"}, {kParasiteB, "a"}}));
  EXPECT_EQ(At(kLogError), (Lines{unrecorded(kA, kParasiteA), {kEx, L"Out of memory"}}));
  EXPECT_EQ(logger->lines.back().number, err::kOutOfMemory);
}

TEST_F(ParasiteRenamingTest, NinetyFiveFamilyRenamesWithTheNarrowCalls) {
  MAPI::gbIsNT = false;
  machine.files.Fail(kB, platform::kFileOpMove, platform::kErrorAccessDenied);
  CProcessManager manager;
  EXPECT_TRUE(manager.SafeRenameFile(kA, kParasiteA));
  EXPECT_FALSE(manager.SafeRenameFile(kB, kParasiteB));
  EXPECT_EQ(manager.LastRenameError(), 5u);
  EXPECT_EQ(machine.files.Moves(), (Moves{{kA, kParasiteA, false}}));
  const std::wstring k9x = L"CProcessManager.RenameFile9x";
  EXPECT_EQ(At(), (Lines{{k9x, L"File renamed sucessfullly: 'C:\\Apps\\a.dll', (3, 536871084)"},
                            {k9x, L"Failed to rename file 'C:\\Apps\\b.exe', (1, 97). Access is denied.(5)"},
                            {k9x, L"Encoded file name: 43003A005C0041007000700073005C0062002E00650078006500"}}));
}

// An error inside either rename (here: no checksum cache) is logged at level 0 and counts as a failure.
TEST_F(ParasiteRenamingTest, ErrorInARenameIsLoggedAndGivesFalse) {
  MWDL::goHashier.reset();
  for (bool nt : {true, false}) {
    MAPI::gbIsNT = nt;
    logger->lines.clear();
    CProcessManager manager;
    EXPECT_FALSE(manager.SafeRenameFile(kA, kParasiteA)) << nt;
    EXPECT_EQ(manager.LastRenameError(), 0u);
    EXPECT_EQ(At(kLogError), (Lines{{nt ? kNT : L"CProcessManager.RenameParasiteFile9x",
                                        L"Object variable or With block variable not set"}}));
  }
  EXPECT_TRUE(machine.files.HasFile(kA));
}

// Renaming back logs the size and checksum of the file under its parasite name.
TEST_F(ParasiteRenamingTest, RenamingBackLogsTheParasiteFilesIdentity) {
  machine.files.AddTextFile(kParasiteB, "ab");
  machine.files.Remove(kB);
  EXPECT_TRUE(CProcessManager().SafeRenameFile(kParasiteB, kB));
  EXPECT_EQ(Files(), (Contents{{kA, "abc"}, {kB, "ab"}}));
  EXPECT_EQ(At(), (Lines{{kNT, L"File renamed sucessfullly: 'C:\\Apps\\parasite_b.exe.parasite', (2, 1073741970)"}}));
}

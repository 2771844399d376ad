#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/ProcessManager.h"

using platform::Handle;

namespace {

// The fake processes, with a record of how the listing asked and a few ways to misbehave.
class RecordingProcesses : public platform::FakeProcesses {
 public:
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) override {
    idBufferBytes.push_back(bufferBytes);
    bool ok = FakeProcesses::EnumProcesses(ids, bufferBytes, bytesReturned);
    for (std::uint32_t id : vanishAfterListing) RemoveProcess(id);
    return ok;
  }
  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity, std::uint32_t& needed) override {
    moduleCapacities.push_back(capacity);
    return FakeProcesses::EnumProcessModules(process, modules, capacity, needed);
  }
  // The path query of a module named in `failPaths` fails (0 characters).
  std::uint32_t GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer,
                                     std::uint32_t capacity) override {
    const std::uint32_t length = FakeProcesses::GetModuleFileNameExW(process, module, buffer, capacity);
    return failPaths.count(std::wstring(buffer, length)) != 0 ? 0 : length;
  }
  // Toolhelp records whose text field is given raw (260 bytes, NULs as written), per process id.
  bool Process32First(Handle snapshot, platform::ProcessEntry& entry) override {
    return Patch(FakeProcesses::Process32First(snapshot, entry), entry);
  }
  bool Process32Next(Handle snapshot, platform::ProcessEntry& entry) override {
    return Patch(FakeProcesses::Process32Next(snapshot, entry), entry);
  }

  std::vector<std::uint32_t> idBufferBytes;
  std::vector<std::uint32_t> moduleCapacities;
  std::set<std::uint32_t> vanishAfterListing;
  std::set<std::wstring> failPaths;
  std::map<std::uint32_t, std::string> rawExeFile;

 private:
  bool Patch(bool ok, platform::ProcessEntry& entry) {
    auto raw = rawExeFile.find(entry.processId);
    if (ok && raw != rawExeFile.end()) {
      std::memset(entry.exeFile, 0, sizeof entry.exeFile);
      std::memcpy(entry.exeFile, raw->second.data(), std::min(raw->second.size(), sizeof entry.exeFile));
    }
    return ok;
  }
};

class ProcessEnumTest : public InspectionEnumTest {
 protected:
  void SetUp() override {
    InspectionEnumTest::SetUp();
    platform::Install(platform::Services{.processes = &procs});
  }
  std::shared_ptr<CItemList> Enumerate(bool nt) {
    MAPI::gbIsNT = nt;
    return CProcessManager().EnumProcesses();
  }
  // Enumerates (NT) on other processes, then puts the fixture's back.
  std::shared_ptr<CItemList> EnumerateOn(RecordingProcesses& other) {
    platform::Install(platform::Services{.processes = &other});
    auto list = Enumerate(true);
    platform::Install(platform::Services{.processes = &procs});
    return list;
  }

  RecordingProcesses procs;
};

const std::wstring kImage = L"C:\\Apps\\tool.exe";
const std::wstring kLibA = L"C:\\Apps\\a.dll";
const std::wstring kLibB = L"C:\\Windows\\System32\\b.dll";

}  // namespace

// NT lists the image as the item and the other modules as its children; 9x lists every module of the
// snapshot as a child, the image included. Every path is passed through the resolver.
TEST_F(ProcessEnumTest, ImageIsTheItemAndModulesItsChildrenAllByTheirResolvedPaths) {
  machine.files.SetEnv(L"SystemRoot", L"C:\\Windows");
  const std::wstring smss = L"C:\\Windows\\System32\\smss.exe";
  machine.files.AddFile(smss, {'M', 'Z'});
  procs.AddProcess(100, {L"\\SystemRoot\\System32\\smss.exe", L"\\??\\C:\\Apps\\a.dll", kLibB});
  for (bool nt : {true, false}) {
    auto list = Enumerate(nt);
    ASSERT_EQ(Names(list), Texts{smss}) << nt;
    EXPECT_EQ(Names(list->Item(1).Children()), nt ? (Texts{kLibA, kLibB}) : (Texts{smss, kLibA, kLibB}));
  }
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ProcessEnumTest, ProcessesKeepTheSystemsOrderAndHandlesAreClosed) {
  procs.AddProcess(300, {L"C:\\c.exe"});
  procs.AddProcess(100, {L"C:\\a.exe"});
  procs.AddProcess(200, {L"C:\\b.exe"});
  for (bool nt : {true, false}) {
    EXPECT_EQ(Names(Enumerate(nt)), (Texts{L"C:\\c.exe", L"C:\\a.exe", L"C:\\b.exe"})) << nt;
    EXPECT_EQ(procs.OpenHandleCount(), 0u) << nt;
  }
  EXPECT_EQ(procs.OpenedAccess(), std::vector<std::uint32_t>(3, 0x410u));  // query information with VM read
}

// The id buffer starts at 16 bytes and doubles while the system fills all of it.
TEST_F(ProcessEnumTest, IdBufferDoublesUntilNotFilled) {
  const std::pair<std::uint32_t, std::vector<std::uint32_t>> cases[] = {  // processes, buffers asked
      {0, {16}}, {3, {16}}, {4, {16, 32}}, {5, {16, 32}}, {8, {16, 32, 64}}, {9, {16, 32, 64}},
  };
  for (const auto& [processes, buffers] : cases) {
    RecordingProcesses fresh;
    for (std::uint32_t i = 0; i < processes; ++i) fresh.AddProcess(10 + i, {L"C:\\p" + std::to_wstring(i) + L".exe"});
    auto list = EnumerateOn(fresh);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(fresh.idBufferBytes, buffers) << processes;
    EXPECT_EQ(list->Count(), processes);
  }
}

// A module whose path query fails (0 characters) or whose path is blank is skipped; an image whose
// path query fails still gives an item, named by what the resolver makes of "".
TEST_F(ProcessEnumTest, ModuleWithoutPathIsSkippedButTheImageStillGivesAnItem) {
  procs.failPaths = {L"C:\\Apps\\fails.dll", L"C:\\failed.exe"};
  procs.AddProcess(100, {kImage, L"C:\\Apps\\fails.dll", L"   ", kLibB});
  procs.AddProcess(200, {L"C:\\failed.exe", kLibA});
  procs.AddProcess(300, {L"C:\\other.exe"});
  auto list = Enumerate(true);
  ASSERT_EQ(Names(list), (Texts{kImage, L"", L"C:\\other.exe"}));
  EXPECT_EQ(Names(list->Item(1).Children()), Texts{kLibB});
  EXPECT_EQ(Names(list->Item(2).Children()), Texts{kLibA});
}

TEST_F(ProcessEnumTest, ProcessThatCannotBeReadIsMissingWithoutLogLine) {
  struct Case { const char* what; void (*fail)(RecordingProcesses&); };
  const Case cases[] = {
      {"refuses to open", [](RecordingProcesses& p) { p.FailOpen(200, platform::kErrorAccessDenied); }},
      {"module list fails",
       [](RecordingProcesses& p) { p.FailEnumModules(200, RecordingProcesses::kErrorPartialCopy); }},
      {"ended after the id listing", [](RecordingProcesses& p) { p.vanishAfterListing.insert(200); }},
  };
  for (const Case& c : cases) {
    RecordingProcesses fresh;
    fresh.AddProcess(100, {L"C:\\a.exe"});
    fresh.AddProcess(200, {L"C:\\b.exe"});
    fresh.AddProcess(300, {L"C:\\c.exe"});
    c.fail(fresh);
    EXPECT_EQ(Names(EnumerateOn(fresh)), (Texts{L"C:\\a.exe", L"C:\\c.exe"})) << c.what;
    EXPECT_EQ(fresh.OpenHandleCount(), 0u) << c.what;
    EXPECT_TRUE(logger->lines.empty()) << c.what;
  }
}

// The module table is asked for a quarter of its size, then for what is needed; a process with more
// modules than the table holds gives its first 1024 and the enumeration goes on.
TEST_F(ProcessEnumTest, ModuleTableIsAskedForAQuarterThenForWhatIsNeededUpTo1024) {
  procs.AddProcess(100, {kImage, kLibA, kLibB});
  std::vector<std::wstring> modules{L"C:\\big.exe"};
  for (int i = 1; i < 1030; ++i) modules.push_back(L"C:\\Mods\\m" + std::to_wstring(i) + L".dll");
  procs.AddProcess(200, modules);
  procs.AddProcess(300, {L"C:\\after.exe"});
  auto list = Enumerate(true);
  ASSERT_EQ(Names(list), (Texts{kImage, L"C:\\big.exe", L"C:\\after.exe"}));
  EXPECT_EQ(Names(list->Item(2).Children()), Texts(modules.begin() + 1, modules.begin() + 1024));
  EXPECT_EQ(procs.moduleCapacities, (std::vector<std::uint32_t>{256, 3, 256, 1024, 256, 1}));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ProcessEnumTest, ToolhelpNamesAreCutAtTheirFirstNul) {
  const std::pair<std::string, std::wstring> cases[] = {  // raw record text, item name
      {std::string("C:\\a.exe\0junk", 13), L"C:\\a.exe"},
      {std::string("\0C:\\b.exe", 9), L""},
      {std::string(260, 'x'), std::wstring(260, L'x')},  // a record without any NUL keeps all 260 characters
  };
  Texts expected;
  for (const auto& [raw, name] : cases) {
    const std::uint32_t id = 100 + static_cast<std::uint32_t>(expected.size());
    procs.AddProcess(id, {L"C:\\ignored.exe"});
    procs.rawExeFile[id] = raw;
    expected.push_back(name);
  }
  EXPECT_EQ(Names(Enumerate(false)), expected);
}

TEST_F(ProcessEnumTest, NineXWithoutSnapshotGivesEmptyList) {
  procs.AddProcess(100, {kImage});
  procs.FailSnapshot(platform::kErrorAccessDenied);
  EXPECT_EQ(Names(Enumerate(false)), Texts{});
  EXPECT_TRUE(logger->lines.empty());
}

// An error ends the variant: logged at level 0 under its own tag, and no list reaches the caller.
TEST_F(ProcessEnumTest, ErrorGivesNoListAndLogsWithTheVariantsTag) {
  procs.AddProcess(100, {kImage, kLibA});
  MWDL::goFilenameResolver.reset();
  for (bool nt : {true, false}) {
    logger->lines.clear();
    EXPECT_EQ(Enumerate(nt), nullptr) << nt;
    const wchar_t* source = nt ? L"CProcessManager.EnumProcessesNT" : L"CProcessManager.EnumProcesses95";
    ASSERT_EQ(LoggedErrors(), (Errors{{err::kObjectNotSet, 0, source}}));
    EXPECT_FALSE(logger->lines[0].message.empty());
    EXPECT_EQ(procs.OpenHandleCount(), 0u);
  }
}

// A refused process listing, on its first call or on a later one while the buffer grows, is an error
// of the enumeration: no process is opened by a stale id, and no list reaches the caller.
TEST_F(ProcessEnumTest, RefusedIdListingIsAnErrorOfTheEnumeration) {
  for (std::uint32_t succeedFirst : {0u, 1u, 2u}) {
    RecordingProcesses fresh;
    for (std::uint32_t i = 0; i < 9; ++i) fresh.AddProcess(10 + i, {L"C:\\p" + std::to_wstring(i) + L".exe"});
    fresh.FailEnumProcesses(platform::kErrorAccessDenied, succeedFirst);
    logger->lines.clear();
    EXPECT_EQ(EnumerateOn(fresh), nullptr) << succeedFirst;
    EXPECT_EQ(fresh.idBufferBytes.size(), succeedFirst + 1) << "the listing goes on after a failed call";
    EXPECT_TRUE(fresh.OpenedAccess().empty()) << succeedFirst;
    const long denied = err::FromWin32(platform::kErrorAccessDenied);
    ASSERT_EQ(LoggedErrors(), (Errors{{denied, 0, L"CProcessManager.EnumProcessesNT"}})) << succeedFirst;
    EXPECT_NE(logger->lines[0].message.find(L"EnumProcesses"), std::wstring::npos) << logger->lines[0].message;
  }
}

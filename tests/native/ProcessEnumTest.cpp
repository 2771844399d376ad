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
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) override {
    Handle h = FakeProcesses::OpenProcess(access, inherit, processId);
    if (h != platform::kNoHandle) processOf[h] = processId;
    return h;
  }
  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity, std::uint32_t& needed) override {
    moduleCapacities.push_back(capacity);
    bool ok = FakeProcesses::EnumProcessModules(process, modules, capacity, needed);
    if (ok) modulesOf[process].assign(modules, modules + std::min(capacity, needed));
    return ok;
  }
  std::uint32_t GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer,
                                     std::uint32_t capacity) override {
    auto failing = failModule.find(processOf[process]);
    if (failing != failModule.end()) {
      const auto& handles = modulesOf[process];
      if (failing->second < handles.size() && handles[failing->second] == module) return 0;
    }
    return FakeProcesses::GetModuleFileNameExW(process, module, buffer, capacity);
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
  std::map<std::uint32_t, std::size_t> failModule;  // process id -> index of the module whose path fails
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
  std::map<Handle, std::uint32_t> processOf;
  std::map<Handle, std::vector<Handle>> modulesOf;
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

  RecordingProcesses procs;
};

const std::wstring kImage = L"C:\\Apps\\tool.exe";
const std::wstring kLibA = L"C:\\Apps\\a.dll";
const std::wstring kLibB = L"C:\\Windows\\System32\\b.dll";

}  // namespace

TEST_F(ProcessEnumTest, NtListsImageAsItemAndOtherModulesAsChildren) {
  procs.AddProcess(100, {kImage, kLibA, kLibB});
  auto list = Enumerate(true);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 1u);
  EXPECT_EQ(list->Item(1).Name, kImage);
  EXPECT_EQ(Names(list->Item(1).Children()), (std::vector<std::wstring>{kLibA, kLibB}));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ProcessEnumTest, NineXListsEveryModuleOfTheSnapshotImageIncluded) {
  procs.AddProcess(100, {kImage, kLibA, kLibB});
  auto list = Enumerate(false);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 1u);
  EXPECT_EQ(list->Item(1).Name, kImage);
  EXPECT_EQ(Names(list->Item(1).Children()), (std::vector<std::wstring>{kImage, kLibA, kLibB}));
}

TEST_F(ProcessEnumTest, PathsArePassedThroughTheResolver) {
  machine.files.SetEnv(L"SystemRoot", L"C:\\Windows");
  machine.files.AddFile(L"C:\\Windows\\System32\\smss.exe", {'M', 'Z'});
  procs.AddProcess(100, {L"\\SystemRoot\\System32\\smss.exe", L"\\??\\C:\\Apps\\a.dll"});
  for (bool nt : {true, false}) {
    auto list = Enumerate(nt);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count(), 1u);
    EXPECT_EQ(list->Item(1).Name, L"C:\\Windows\\System32\\smss.exe") << nt;
    ASSERT_GE(list->Item(1).Children().Count(), 1u);
    EXPECT_EQ(Names(list->Item(1).Children()).back(), kLibA) << nt;
  }
}

TEST_F(ProcessEnumTest, ProcessesKeepTheSystemsOrderAndHandlesAreClosed) {
  procs.AddProcess(300, {L"C:\\c.exe"});
  procs.AddProcess(100, {L"C:\\a.exe"});
  procs.AddProcess(200, {L"C:\\b.exe"});
  for (bool nt : {true, false}) {
    auto list = Enumerate(nt);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"C:\\c.exe", L"C:\\a.exe", L"C:\\b.exe"})) << nt;
    EXPECT_EQ(procs.OpenHandleCount(), 0u) << nt;
  }
  // Query information with VM read, nothing more.
  ASSERT_FALSE(procs.OpenedAccess().empty());
  EXPECT_EQ(procs.OpenedAccess().front(), 0x410u);
}

// The id buffer starts at 16 bytes and doubles while the system fills all of it.
TEST_F(ProcessEnumTest, IdBufferDoublesUntilNotFilled) {
  struct Case {
    std::uint32_t processes;
    std::vector<std::uint32_t> buffers;
  };
  const Case cases[] = {
      {0, {16}}, {3, {16}}, {4, {16, 32}}, {5, {16, 32}}, {8, {16, 32, 64}}, {9, {16, 32, 64}},
  };
  for (const Case& c : cases) {
    RecordingProcesses fresh;
    platform::Install(platform::Services{.processes = &fresh});
    for (std::uint32_t i = 0; i < c.processes; ++i) fresh.AddProcess(10 + i, {L"C:\\p" + std::to_wstring(i) + L".exe"});
    auto list = Enumerate(true);
    platform::Install(platform::Services{.processes = &procs});
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(fresh.idBufferBytes, c.buffers) << c.processes;
    EXPECT_EQ(list->Count(), c.processes);
  }
}

// A module whose path query fails (0 characters) or whose path is blank is skipped.
TEST_F(ProcessEnumTest, ModuleWithoutPathIsSkipped) {
  procs.AddProcess(100, {kImage, kLibA, L"   ", kLibB});
  procs.failModule[100] = 1;  // a.dll
  auto list = Enumerate(true);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 1u);
  EXPECT_EQ(Names(list->Item(1).Children()), (std::vector<std::wstring>{kLibB}));
}

TEST_F(ProcessEnumTest, ImageWithFailedPathQueryStillGivesAnItem) {
  procs.AddProcess(100, {kImage, kLibA});
  procs.AddProcess(200, {L"C:\\other.exe"});
  procs.failModule[100] = 0;
  auto list = Enumerate(true);
  ASSERT_NE(list, nullptr);
  // What the resolver makes of "" names it.
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"", L"C:\\other.exe"}));
  EXPECT_EQ(Names(list->Item(1).Children()), (std::vector<std::wstring>{kLibA}));
}

TEST_F(ProcessEnumTest, ProcessThatCannotBeReadIsMissingWithoutLogLine) {
  struct Case {
    const char* what;
    void (*fail)(RecordingProcesses&);
  };
  const Case cases[] = {
      {"refuses to open", [](RecordingProcesses& p) { p.FailOpen(200, platform::kErrorAccessDenied); }},
      {"module list fails",
       [](RecordingProcesses& p) { p.FailEnumModules(200, RecordingProcesses::kErrorPartialCopy); }},
      {"ended after the id listing", [](RecordingProcesses& p) { p.vanishAfterListing.insert(200); }},
  };
  for (const Case& c : cases) {
    RecordingProcesses fresh;
    platform::Install(platform::Services{.processes = &fresh});
    fresh.AddProcess(100, {L"C:\\a.exe"});
    fresh.AddProcess(200, {L"C:\\b.exe"});
    fresh.AddProcess(300, {L"C:\\c.exe"});
    c.fail(fresh);
    auto list = Enumerate(true);
    EXPECT_EQ(fresh.OpenHandleCount(), 0u) << c.what;
    platform::Install(platform::Services{.processes = &procs});
    ASSERT_NE(list, nullptr) << c.what;
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"C:\\a.exe", L"C:\\c.exe"})) << c.what;
    EXPECT_TRUE(logger->lines.empty()) << c.what;
  }
}

TEST_F(ProcessEnumTest, ModuleTableIsAskedForAQuarterThenForWhatIsNeeded) {
  procs.AddProcess(100, {kImage, kLibA, kLibB});
  ASSERT_NE(Enumerate(true), nullptr);
  EXPECT_EQ(procs.moduleCapacities, (std::vector<std::uint32_t>{256, 3}));
}

// More modules than the table holds: the first 1024 are read and the enumeration goes on.
TEST_F(ProcessEnumTest, ProcessWithMoreThan1024ModulesGivesItsFirst1024) {
  std::vector<std::wstring> modules{kImage};
  for (int i = 1; i < 1030; ++i) modules.push_back(L"C:\\Mods\\m" + std::to_wstring(i) + L".dll");
  procs.AddProcess(100, modules);
  procs.AddProcess(200, {L"C:\\after.exe"});
  auto list = Enumerate(true);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(Names(*list), (std::vector<std::wstring>{kImage, L"C:\\after.exe"}));
  const CItemList& children = list->Item(1).Children();
  ASSERT_EQ(children.Count(), 1023u);
  EXPECT_EQ(children.Item(1).Name, modules[1]);
  EXPECT_EQ(children.Item(1023).Name, modules[1023]);
  EXPECT_EQ((std::vector<std::uint32_t>{procs.moduleCapacities[0], procs.moduleCapacities[1]}),
            (std::vector<std::uint32_t>{256, 1024}));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ProcessEnumTest, ToolhelpNamesAreCutAtTheirFirstNul) {
  struct Case {
    std::string raw;
    std::wstring expected;
  };
  const std::string full(260, 'x');
  const Case cases[] = {
      {std::string("C:\\a.exe\0junk", 13), L"C:\\a.exe"},
      {std::string("\0C:\\b.exe", 9), L""},
      {full, std::wstring(260, L'x')},  // a record without any NUL keeps all 260 characters
  };
  std::uint32_t id = 100;
  for (const Case& c : cases) {
    procs.AddProcess(id, {L"C:\\ignored.exe"});
    procs.rawExeFile[id] = c.raw;
    ++id;
  }
  auto list = Enumerate(false);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(list->Item(i + 1).Name, cases[i].expected) << i;
}

TEST_F(ProcessEnumTest, NineXWithoutSnapshotGivesEmptyList) {
  procs.AddProcess(100, {kImage});
  procs.FailSnapshot(platform::kErrorAccessDenied);
  auto list = Enumerate(false);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Count(), 0u);
  EXPECT_TRUE(logger->lines.empty());
}

// An error ends the variant: logged at level 0 under its own tag, and no list reaches the caller.
TEST_F(ProcessEnumTest, ErrorGivesNoListAndLogsWithTheVariantsTag) {
  procs.AddProcess(100, {kImage, kLibA});
  for (bool nt : {true, false}) {
    logger->lines.clear();
    MWDL::goFilenameResolver.reset();
    EXPECT_EQ(Enumerate(nt), nullptr) << nt;
    ASSERT_EQ(logger->lines.size(), 1u) << nt;
    EXPECT_EQ(logger->lines[0].number, err::kObjectNotSet);
    EXPECT_EQ(logger->lines[0].level, 0);
    EXPECT_EQ(logger->lines[0].source,
              nt ? L"CProcessManager.EnumProcessesNT" : L"CProcessManager.EnumProcesses95");
    EXPECT_FALSE(logger->lines[0].message.empty());
    EXPECT_EQ(procs.OpenHandleCount(), 0u);
  }
}

// CProcessManager::TerminateProcessesByModules on the process double, in both families.
#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/ProcessManager.h"
#include "shell/Strings.h"

namespace {

using platform::TerminateCall;

const std::wstring kBadDll = L"C:\\Windows\\System32\\bad.dll";
const std::wstring kBadExe = L"C:\\Temp\\bad.exe";
constexpr std::uint32_t kOwn = 4242;
constexpr wchar_t kSource[] = L"CProcessManager.MyTerminateProcess";
const std::wstring kOwnPrompt = L"Operation complete; terminating. Please reboot Windows. ";

// Counts the listings, so that a test can tell that nothing was listed at all.
class CountingProcesses : public platform::FakeProcesses {
 public:
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) override {
    ++listings;
    return FakeProcesses::EnumProcesses(ids, bufferBytes, bytesReturned);
  }
  platform::Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override {
    ++listings;
    return FakeProcesses::CreateToolhelp32Snapshot(flags, processId);
  }
  int listings = 0;
};

class ProcessTerminationTest : public InspectionEnumTest {
 protected:
  void SetUp() override {
    InspectionEnumTest::SetUp();
    platform::Install(platform::Services{.processes = &procs});
    // Listed first by the system: our own process has the library loaded too.
    procs.AddProcess(kOwn, {L"C:\\Program Files\\Wardline\\wardline.exe", kBadDll});
    procs.AddProcess(100, {L"C:\\Windows\\explorer.exe", kBadDll});
    procs.AddProcess(200, {L"C:\\Windows\\notepad.exe", L"C:\\Windows\\System32\\good.dll"});
    procs.AddProcess(300, {kBadExe});
  }
  static CProcessManager::CFileSet Set(const std::vector<std::wstring>& paths) {
    CProcessManager::CFileSet set;
    for (const auto& path : paths) set.Add(path, L"_" + path);
    return set;
  }
  void Terminate(bool nt, const CProcessManager::CFileSet& set, bool own) {
    MAPI::gbIsNT = nt;
    CProcessManager().TerminateProcessesByModules(set, own);
  }
  std::vector<std::uint32_t> Ended() const {
    std::vector<std::uint32_t> ids;
    for (const TerminateCall& call : procs.Terminations()) {
      EXPECT_EQ(call.exitCode, 0u);
      ids.push_back(call.processId);
    }
    return ids;
  }
  // (number, message, level) of the lines logged under `source`.
  std::vector<std::tuple<long, std::wstring, int>> Lines(const std::wstring& source = kSource) const {
    std::vector<std::tuple<long, std::wstring, int>> lines;
    for (const LogLine& line : logger->lines) {
      if (line.source == source) lines.emplace_back(line.number, line.message, line.level);
    }
    return lines;
  }
  static std::tuple<long, std::wstring, int> Ok(const std::wstring& label) {
    return {0, L"Process for file '" + label + L"' terminated successfully. ", kLogInfo};
  }

  CountingProcesses procs;
};

}  // namespace

TEST_F(ProcessTerminationTest, OthersEndInTheSystemsOrderAndTheProgramGoesOn) {
  for (bool nt : {true, false}) {
    CountingProcesses fresh;
    for (std::uint32_t id : {kOwn, 300u, 200u, 100u}) {
      fresh.AddProcess(id, id == 300 ? std::vector<std::wstring>{kBadExe}
                                     : std::vector<std::wstring>{L"C:\\p" + std::to_wstring(id) + L".exe", kBadDll});
    }
    platform::Install(platform::Services{.processes = &fresh});
    logger->lines.clear();
    Terminate(nt, Set({kBadDll, kBadExe}), false);
    std::vector<std::uint32_t> ended;
    for (const TerminateCall& call : fresh.Terminations()) ended.push_back(call.processId);
    EXPECT_EQ(ended, (std::vector<std::uint32_t>{300, 200, 100})) << nt;
    EXPECT_EQ(Lines(), (std::vector{Ok(L"300"), Ok(L"200"), Ok(L"100")})) << nt;
    EXPECT_TRUE(fresh.IsRunning(kOwn)) << nt;
    EXPECT_TRUE(machine.desktop.Boxes().empty()) << nt;
    EXPECT_EQ(fresh.OpenHandleCount(), 0u) << nt;
  }
}

TEST_F(ProcessTerminationTest, OwnProcessEndsLastAfterItsMessageBox) {
  for (bool nt : {true, false}) {
    CountingProcesses fresh;
    fresh.AddProcess(kOwn, {L"C:\\Program Files\\Wardline\\wardline.exe", kBadDll});
    fresh.AddProcess(100, {L"C:\\a.exe", kBadDll});
    fresh.AddProcess(300, {kBadExe});
    platform::Install(platform::Services{.processes = &fresh});
    std::vector<std::size_t> endedWhenShown;
    machine.desktop.SetMessageBoxHook([&](const platform::ShownBox&) {
      endedWhenShown.push_back(fresh.Terminations().size());
    });
    logger->lines.clear();
    const std::size_t boxesBefore = machine.desktop.Boxes().size();
    Terminate(nt, Set({kBadDll, kBadExe}), true);

    std::vector<std::uint32_t> ended;
    for (const TerminateCall& call : fresh.Terminations()) ended.push_back(call.processId);
    EXPECT_EQ(ended, (std::vector<std::uint32_t>{100, 300, kOwn})) << nt;
    ASSERT_EQ(machine.desktop.Boxes().size(), boxesBefore + 1) << nt;
    const platform::ShownBox& box = machine.desktop.Boxes().back();
    EXPECT_EQ(std::tuple(box.prompt, box.style, box.title), std::tuple(kOwnPrompt, 64u, LoadResString(100))) << nt;
    EXPECT_EQ(endedWhenShown, std::vector<std::size_t>{2}) << nt;
    EXPECT_EQ(Lines(), (std::vector{Ok(L"100"), Ok(L"300"), Ok(L"my:4242")})) << nt;
  }
}

TEST_F(ProcessTerminationTest, OwnProcessWithoutTheFilesIsNotEnded) {
  Terminate(true, Set({kBadExe}), true);
  EXPECT_EQ(Ended(), std::vector<std::uint32_t>{300});
  EXPECT_TRUE(machine.desktop.Boxes().empty());
}

TEST_F(ProcessTerminationTest, ProcessThatRefusesToEndGetsAnErrorLineAndTheOthersStillEnd) {
  for (bool nt : {true, false}) {
    CountingProcesses fresh;
    fresh.AddProcess(100, {L"C:\\a.exe", kBadDll});
    fresh.AddProcess(300, {kBadExe});
    fresh.FailTerminate(100, platform::kErrorAccessDenied);
    platform::Install(platform::Services{.processes = &fresh});
    logger->lines.clear();
    Terminate(nt, Set({kBadDll, kBadExe}), false);
    EXPECT_EQ(fresh.Terminations(), (std::vector<TerminateCall>{TerminateCall{300, 0}})) << nt;
    EXPECT_EQ(Lines(), (std::vector<std::tuple<long, std::wstring, int>>{
                           {err::FromBits(0x80004005u), L"Cannot terminate process for file '100'. 5", kLogError},
                           Ok(L"300")}))
        << nt;
  }
}

TEST_F(ProcessTerminationTest, ProcessThatCannotBeOpenedOrListedIsLeftRunningWithoutALogLine) {
  struct Case {
    const char* what;
    void (*fail)(CountingProcesses&);
  };
  const Case cases[] = {
      {"refuses to open", [](CountingProcesses& p) { p.FailOpen(100, platform::kErrorAccessDenied); }},
      {"module list fails",
       [](CountingProcesses& p) { p.FailEnumModules(100, CountingProcesses::kErrorPartialCopy); }},
  };
  for (const Case& c : cases) {
    for (bool nt : {true, false}) {
      CountingProcesses fresh;
      fresh.AddProcess(100, {L"C:\\a.exe", kBadDll});
      fresh.AddProcess(300, {kBadExe});
      c.fail(fresh);
      platform::Install(platform::Services{.processes = &fresh});
      logger->lines.clear();
      Terminate(nt, Set({kBadDll, kBadExe}), false);
      EXPECT_EQ(fresh.Terminations(), (std::vector<TerminateCall>{TerminateCall{300, 0}})) << c.what << nt;
      EXPECT_TRUE(fresh.IsRunning(100)) << c.what << nt;
      EXPECT_EQ(Lines(), std::vector{Ok(L"300")}) << c.what << nt;
    }
  }
}

TEST_F(ProcessTerminationTest, EmptySetListsNoProcess) {
  for (bool nt : {true, false}) {
    Terminate(nt, Set({}), true);
    EXPECT_EQ(procs.listings, 0) << nt;
    EXPECT_TRUE(procs.OpenedAccess().empty()) << nt;
  }
  EXPECT_TRUE(procs.Terminations().empty());
  EXPECT_TRUE(logger->lines.empty());
}

// Processes are opened with all access rights, for the listing and again for the termination.
TEST_F(ProcessTerminationTest, ProcessesAreOpenedWithAllAccess) {
  Terminate(true, Set({kBadExe}), false);
  ASSERT_FALSE(procs.OpenedAccess().empty());
  for (std::uint32_t access : procs.OpenedAccess()) EXPECT_EQ(access, 0x1F0FFFu);
  EXPECT_EQ(Ended(), std::vector<std::uint32_t>{300});
}

// The path as the system reports it, compared without regard to case; another form of the same file
// (a short name) does not match.
TEST_F(ProcessTerminationTest, ModulesMatchByTheReportedPathOnly) {
  for (bool nt : {true, false}) {
    CountingProcesses fresh;
    fresh.AddProcess(500, {L"C:\\PROGRA~1\\Tool\\tool.exe"});
    fresh.AddProcess(600, {L"c:\\temp\\BAD.EXE"});
    platform::Install(platform::Services{.processes = &fresh});
    Terminate(nt, Set({L"C:\\Program Files\\Tool\\tool.exe", kBadExe}), false);
    std::vector<std::uint32_t> ended;
    for (const TerminateCall& call : fresh.Terminations()) ended.push_back(call.processId);
    EXPECT_EQ(ended, std::vector<std::uint32_t>{600}) << nt;
  }
}

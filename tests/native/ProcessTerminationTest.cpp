// CProcessManager::TerminateProcessesByModules on the process double, in both families.
#include <functional>
#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/ProcessManager.h"
#include "shell/Strings.h"

namespace {

using Line = std::tuple<long, std::wstring, int>;  // number, message, level
using Box = std::tuple<std::wstring, unsigned, std::wstring>;  // prompt, style, title
using Ids = std::vector<std::uint32_t>;

const std::wstring kBadDll = L"C:\\Windows\\System32\\bad.dll";
const std::wstring kBadExe = L"C:\\Temp\\bad.exe";
const std::wstring kOwnImage = L"C:\\Program Files\\Wardline\\wardline.exe";
constexpr std::uint32_t kOwn = 4242;

// Counts the listings, so that a test can tell that nothing was listed at all.
class CountingProcesses : public platform::FakeProcesses {
 public:
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) override {
    ++listings;
    return FakeProcesses::EnumProcesses(ids, bufferBytes, bytesReturned);
  }
  platform::ProcessesHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override {
    ++listings;
    return FakeProcesses::CreateToolhelp32Snapshot(flags, processId);
  }
  int listings = 0;
};

Line Ok(const std::wstring& label) {
  return {0, L"Process for file '" + label + L"' terminated successfully. ", kLogInfo};
}

using ProcessTerminationTest = InspectionEnumTest;

}  // namespace

// Every process with one of the files among its modules (the path as the system reports it, compared
// without regard to case; a short name of the same file does not match) ends in the system's order, with
// exit code 0 and a line each; this program's own process only when asked, last, after its message box.
// A process that cannot be opened or listed is left running without a line; one that refuses to end
// gets an error line. Processes are opened with all access rights, and every handle is closed.
TEST_F(ProcessTerminationTest, EndsTheProcessesHoldingTheFilesOwnLastInBothFamilies) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::uint32_t, std::vector<std::wstring>>> processes;
    std::function<void(CountingProcesses&)> fail;
    std::vector<std::wstring> files;
    bool own;
    Ids ended;
    std::vector<Line> lines;
    std::vector<Box> boxes;
  };
  const std::vector<std::wstring> badDll{L"C:\\a.exe", kBadDll};
  const auto none = [](CountingProcesses&) {};
  const Box ownBox{L"Operation complete; terminating. Please reboot Windows. ", 64u, LoadResString(100)};
  const std::vector<Case> cases = {
      {"others in the system's order, the program goes on",
       {{kOwn, {kOwnImage, kBadDll}}, {300, {kBadExe}}, {200, {L"C:\\p200.exe", kBadDll}}, {100, badDll}}, none,
       {kBadDll, kBadExe}, false, {300, 200, 100}, {Ok(L"300"), Ok(L"200"), Ok(L"100")}, {}},
      {"own process last, after its box", {{kOwn, {kOwnImage, kBadDll}}, {100, badDll}, {300, {kBadExe}}}, none,
       {kBadDll, kBadExe}, true, {100, 300, kOwn}, {Ok(L"100"), Ok(L"300"), Ok(L"my:4242")}, {ownBox}},
      {"own process without the files", {{kOwn, {kOwnImage, kBadDll}}, {300, {kBadExe}}}, none, {kBadExe}, true,
       {300}, {Ok(L"300")}, {}},
      {"refuses to end", {{100, badDll}, {300, {kBadExe}}},
       [](CountingProcesses& p) { p.FailTerminate(100, platform::kErrorAccessDenied); }, {kBadDll, kBadExe}, false,
       {300}, {{err::FromBits(0x80004005u), L"Cannot terminate process for file '100'. 5", kLogError}, Ok(L"300")}, {}},
      {"refuses to open", {{100, badDll}, {300, {kBadExe}}},
       [](CountingProcesses& p) { p.FailOpen(100, platform::kErrorAccessDenied); }, {kBadDll, kBadExe}, false, {300},
       {Ok(L"300")}, {}},
      {"module list fails", {{100, badDll}, {300, {kBadExe}}},
       [](CountingProcesses& p) { p.FailEnumModules(100, CountingProcesses::kErrorPartialCopy); }, {kBadDll, kBadExe},
       false, {300}, {Ok(L"300")}, {}},
      {"the reported path only", {{500, {L"C:\\PROGRA~1\\Tool\\tool.exe"}}, {600, {L"c:\\temp\\BAD.EXE"}}}, none,
       {L"C:\\Program Files\\Tool\\tool.exe", kBadExe}, false, {600}, {Ok(L"600")}, {}},
      {"empty set: nothing listed", {{kOwn, {kOwnImage, kBadDll}}, {300, {kBadExe}}}, none, {}, true, {}, {}, {}},
  };
  for (const Case& c : cases) {
    for (bool nt : {true, false}) {
      const std::string what = std::string(c.what) + (nt ? " (NT)" : " (95)");
      platform::FakeMachine m;
      CountingProcesses procs;
      for (const auto& [id, modules] : c.processes) procs.AddProcess(id, modules);
      c.fail(procs);
      platform::Install(platform::Services{.processes = &procs});
      Ids endedWhenShown;
      m.desktop.SetMessageBoxHook([&](const platform::ShownBox&) { endedWhenShown.push_back(procs.Terminations().size()); });
      logger->lines.clear();
      CProcessManager::CFileSet set;
      for (const auto& path : c.files) set.Add(path, L"_" + path);
      MAPI::gbIsNT = nt;
      CProcessManager().TerminateProcessesByModules(set, c.own);

      std::vector<platform::TerminateCall> ended;
      for (std::uint32_t id : c.ended) ended.push_back({id, 0});
      EXPECT_EQ(procs.Terminations(), ended) << what;
      std::vector<Line> lines;
      for (const LogLine& l : logger->lines) {
        if (l.source == L"CProcessManager.MyTerminateProcess") lines.emplace_back(l.number, l.message, l.level);
      }
      EXPECT_EQ(lines, c.lines) << what;
      std::vector<Box> boxes;
      for (const platform::ShownBox& box : m.desktop.Boxes()) boxes.emplace_back(box.prompt, box.style, box.title);
      EXPECT_EQ(boxes, c.boxes) << what;
      EXPECT_EQ(endedWhenShown, c.boxes.empty() ? Ids{} : Ids{2}) << what;
      for (std::uint32_t access : procs.OpenedAccess()) EXPECT_EQ(access, 0x1F0FFFu) << what;
      EXPECT_EQ(procs.OpenedAccess().empty(), c.files.empty()) << what;
      EXPECT_EQ(procs.listings == 0, c.files.empty()) << what;
      EXPECT_EQ(procs.OpenHandleCount(), 0u) << what;
    }
  }
}

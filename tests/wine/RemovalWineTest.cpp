// Renaming to parasite names with the Removed Files record, termination by loaded module and the
// shutdown privilege, on the real Win32 API. Every file is the test's own, in a scratch folder; the only
// processes ended are helpers the test starts, by a copy of the helper library that nothing else loads;
// the program's own end is watched in a child of this test program. The restart itself is never asked
// for: under Wine it would end every windowed process of the prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/Logger.h"
#include "inspection/Hashier.h"
#include "inspection/ProcessManager.h"
#include "platform/Platform.h"
#include "removal/FRestoreFiles.h"
#include "removal/MReboot.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "tests/wine/RemovalFixture.h"
#include "ui/Backend.h"
#include "ui/BackendWin32.h"

namespace {

namespace fs = std::filesystem;

using removal_wine::Record;
using removal_wine::ScratchFolder;
using removal_wine::ThisProgram;

// Set in the environment of the test program's child that watches its own end: "<library>|<helper id>|
// <marker file>|<log file>".
constexpr wchar_t kOwnEndVariable[] = L"WDL_REMOVAL_OWN_END";

DWORD Attributes(const fs::path& path) { return ::GetFileAttributesW(path.c_str()); }

class RemovalWineTest : public removal_wine::RemovalFixture {};

}  // namespace

// Removed, listed for restoring, renamed back: the file keeps its bytes throughout.
TEST_F(RemovalWineTest, FileIsRenamedToItsParasiteNameRecordedAndRenamedBack) {
  const fs::path file = File(L"victim.dll");
  const fs::path parasite = folder / L"parasite_victim.dll.parasite";
  CProcessManager().RenameParasiteFilesEx(Set({file.wstring()}));
  EXPECT_FALSE(fs::exists(file));
  ASSERT_TRUE(fs::exists(parasite)) << logger->All();
  EXPECT_EQ(Text(parasite), "MZ wardline test");
  EXPECT_EQ(Record(file.wstring()), file.wstring());
  EXPECT_TRUE(logger->Has(L"CProcessManager.RenameParasiteFilesEx|5|0|FilesToPostDelete.Count=0")) << logger->All();

  FRestoreFiles window;
  window.RefreshList();
  const std::vector<std::wstring>& rows = window.lstFilesBox.Items();
  EXPECT_NE(std::find(rows.begin(), rows.end(), file.wstring()), rows.end());

  EXPECT_TRUE(CProcessManager().SafeRenameFile(parasite.wstring(), file.wstring())) << logger->All();
  EXPECT_EQ(Text(file), "MZ wardline test");
  EXPECT_FALSE(fs::exists(parasite));
  window.RefreshList();
  EXPECT_EQ(std::find(window.lstFilesBox.Items().begin(), window.lstFilesBox.Items().end(), file.wstring()),
            window.lstFilesBox.Items().end());
}

// The restore window on real windows: the list box holds the recorded file, selected; the title bar's
// close only hides the window, which ends its modal show.
TEST_F(RemovalWineTest, RestoreWindowListsTheFileAndItsCloseBoxHidesIt) {
  const fs::path file = File(L"listed.dll");
  CProcessManager().RenameParasiteFilesEx(Set({file.wstring()}));
  ASSERT_EQ(Record(file.wstring()), file.wstring());
  auto previous = ui::SetBackend(ui::CreateWin32Backend());
  ui::ResetApplication();
  {
    FRestoreFiles window;
    ASSERT_TRUE(window.Init());
    window.Load();
    HWND list = reinterpret_cast<HWND>(window.lstFilesBox.Native());
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    std::vector<std::wstring> rows;
    for (LRESULT i = 0; i < count; ++i) {
      std::vector<wchar_t> text(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
      ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
      rows.emplace_back(text.data());
    }
    const auto row = std::find(rows.begin(), rows.end(), file.wstring());
    EXPECT_NE(row, rows.end());
    EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
    ::PostMessageW(reinterpret_cast<HWND>(window.Native()), WM_CLOSE, 0, 0);
    window.ShowModal();
    EXPECT_TRUE(window.Loaded());
    EXPECT_FALSE(::IsWindowVisible(reinterpret_cast<HWND>(window.Native())));
    window.Unload();
  }
  ui::SetBackend(std::move(previous));
  ui::ResetApplication();
}

TEST_F(RemovalWineTest, ReadOnlyFileIsRenamedWithTheArchiveAttributeOnly) {
  const fs::path file = File(L"locked.dll");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_NE(Attributes(file) & FILE_ATTRIBUTE_READONLY, 0u);
  const fs::path parasite = folder / L"parasite_locked.dll.parasite";
  // An older read-only file at the parasite name is replaced.
  std::ofstream(parasite) << "old";
  ASSERT_TRUE(::SetFileAttributesW(parasite.c_str(), FILE_ATTRIBUTE_READONLY));

  CProcessManager().RenameParasiteFilesEx(Set({file.wstring()}));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(Attributes(parasite), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE)) << logger->All();
  EXPECT_EQ(Text(parasite), "MZ wardline test");
  EXPECT_EQ(Record(file.wstring()), file.wstring());
}

// A stream path names the file before its last colon: that file is renamed and recorded.
TEST_F(RemovalWineTest, StreamPathRenamesTheFileItBelongsTo) {
  const fs::path file = File(L"downloaded.exe");
  const std::wstring stream = file.wstring() + L":Zone.Identifier";
  CProcessManager().RenameParasiteFilesEx(Set({stream}));
  EXPECT_TRUE(fs::exists(folder / L"parasite_downloaded.exe.parasite")) << logger->All();
  EXPECT_EQ(Record(file.wstring()), file.wstring());
  EXPECT_TRUE(logger->Has(L"CProcessManager.RenameParasiteFile|5|0|Converting filename '" + stream + L"' -> '" +
                          file.wstring() + L"'"))
      << logger->All();
}

// A move the system refuses gives the system's reason in the log and no record.
TEST_F(RemovalWineTest, RefusedRenameIsLoggedWithTheSystemsTextAndNotRecorded) {
  const fs::path file = File(L"open.dll");
  // Open for reading by others (the checksum is read) but neither for deleting nor renaming.
  HANDLE held = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CProcessManager manager;
  const bool renamed = manager.SafeRenameFile(file.wstring(), (folder / L"parasite_open.dll.parasite").wstring());
  const std::uint32_t code = manager.LastRenameError();
  ::CloseHandle(held);
  EXPECT_FALSE(renamed);
  EXPECT_EQ(code, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  wchar_t text[512] = {};
  ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
  std::wstring reason = text;
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' ')) reason.pop_back();
  ASSERT_FALSE(reason.empty());
  const std::string bytes = Text(file);
  const std::int32_t checksum =
      inspection::Checksum31(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  EXPECT_TRUE(logger->Has(L"CProcessManager.RenameFileNT|5|0|Failed to rename file '" + file.wstring() + L"', (" +
                          std::to_wstring(bytes.size()) + L", " + std::to_wstring(checksum) + L"). " + reason))
      << logger->All();
  EXPECT_EQ(Record(file.wstring()), L"(none)");
}

namespace {

// Helper children that load a copy of the helper library from the test's scratch folder, so that ending
// "every process with that library loaded" can reach no other process.
class HelperChild {
 public:
  HelperChild(const fs::path& folder, const std::wstring& name) {
    const fs::path bin = ThisProgram().parent_path();
    for (const wchar_t* file : {L"wdl_testchild.exe", L"wdl_testdll.dll"}) {
      ::CopyFileW((bin / file).c_str(), (folder / file).c_str(), FALSE);
    }
    library = (folder / L"wdl_testdll.dll").wstring();
    const std::wstring event = name + std::to_wstring(::GetCurrentProcessId());
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, (event + L".ready").c_str());
    quit_ = ::CreateEventW(nullptr, TRUE, FALSE, (event + L".quit").c_str());
    std::wstring commandLine = L"\"" + (folder / L"wdl_testchild.exe").wstring() + L"\" " + event + L" 30000";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started = ready_ && quit_ &&
              ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                               &startup, &info_) &&
              ::WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0;
  }
  ~HelperChild() {
    if (info_.hProcess) {
      ::SetEvent(quit_);
      if (::WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(info_.hProcess, 9);
      ::CloseHandle(info_.hProcess);
      ::CloseHandle(info_.hThread);
    }
    for (HANDLE handle : {ready_, quit_}) {
      if (handle) ::CloseHandle(handle);
    }
  }
  HelperChild(const HelperChild&) = delete;
  HelperChild& operator=(const HelperChild&) = delete;

  DWORD Id() const { return info_.dwProcessId; }
  // The exit code once it has ended within `ms`; STILL_ACTIVE while it runs.
  DWORD ExitCodeAfter(DWORD ms) const {
    ::WaitForSingleObject(info_.hProcess, ms);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

  bool started = false;
  std::wstring library;

 private:
  HANDLE ready_ = nullptr, quit_ = nullptr;
  PROCESS_INFORMATION info_{};
};

// Message boxes that are answered at once and leave a line in a marker file: the prompt, style and
// title, and whether the helper had ended by then.
#include "platform/WinNamesBegin.h"
class MarkerDesktop : public platform::IDesktop {
 public:
  MarkerDesktop(std::wstring marker, DWORD helper) : marker_(std::move(marker)), helper_(helper) {}
  int MessageBox(const std::wstring& prompt, unsigned style, const std::wstring& title) override {
    HANDLE helper = ::OpenProcess(SYNCHRONIZE, FALSE, helper_);
    // Termination completes asynchronously: an ended helper is signalled soon, a running one never.
    const bool ended = helper == nullptr || ::WaitForSingleObject(helper, 5000) == WAIT_OBJECT_0;
    if (helper) ::CloseHandle(helper);
    std::wofstream(fs::path(marker_)) << prompt << L"|" << style << L"|" << title << L"|" << (ended ? 1 : 0);
    return 1;
  }
  int MousePointer() override { return 0; }
  void SetMousePointer(int) override {}
  void DoEvents() override {}
  bool Start(const std::wstring&, int) override { return false; }

 private:
  std::wstring marker_;
  DWORD helper_;
};
#include "platform/WinNamesEnd.h"

// In the child: loads the helper library and ends every process that has it loaded, itself included.
// Returning from that call is a failure of its own (exit code 7).
[[noreturn]] void EndOwnProcessWithTheHelper(const std::wstring& arguments) {
  std::vector<std::wstring> parts;
  std::wstringstream stream(arguments);
  for (std::wstring part; std::getline(stream, part, L'|');) parts.push_back(part);
  if (parts.size() != 4 || ::LoadLibraryW(parts[0].c_str()) == nullptr) ::ExitProcess(6);
  static MarkerDesktop desktop(parts[2], static_cast<DWORD>(std::wcstoul(parts[1].c_str(), nullptr, 10)));
  platform::Install(platform::Services{.desktop = &desktop});
  MWDL::goLogger = std::make_shared<CLogger>();
  MWDL::goLogger->SetLogFiles(parts[3], parts[3] + L".short");
  MAPI::gbIsNT = true;
  CProcessManager::CFileSet set;
  set.Add(parts[0], L"_" + parts[0]);
  CProcessManager().TerminateProcessesByModules(set, true);
  ::ExitProcess(7);
}

}  // namespace

TEST_F(RemovalWineTest, HelperWithTheLibraryLoadedIsEndedInBothFamilies) {
  for (bool nt : {true, false}) {
    HelperChild helper(folder, nt ? L"WdlRemovalNT" : L"WdlRemoval95");
    ASSERT_TRUE(helper.started) << "the helper did not load its library";
    MAPI::gbIsNT = nt;
    logger->lines.clear();
    CProcessManager().TerminateProcessesByModules(Set({helper.library}), false);
    EXPECT_EQ(helper.ExitCodeAfter(10000), 0u) << nt;
    EXPECT_TRUE(logger->Has(L"CProcessManager.MyTerminateProcess|5|0|Process for file '" +
                            std::to_wstring(helper.Id()) + L"' terminated successfully. "))
        << nt << logger->All();
  }
}

// This program ends itself last, after its message box: watched in a child of the test program, which
// loads the helper library next to a helper that has it loaded too.
TEST(RemovalOwnEndWine, OwnProcessEndsLastAfterItsMessageBox) {
  if (const wchar_t* arguments = _wgetenv(kOwnEndVariable)) EndOwnProcessWithTheHelper(arguments);

  ScratchFolder scratch;
  const fs::path& folder = scratch.path;
  HelperChild helper(folder, L"WdlRemovalOwn");
  ASSERT_TRUE(helper.started) << "the helper did not load its library";
  const fs::path marker = folder / L"marker.txt", log = folder / L"child.log";
  const std::wstring value = helper.library + L"|" + std::to_wstring(helper.Id()) + L"|" + marker.wstring() + L"|" +
                             log.wstring();
  ASSERT_TRUE(::SetEnvironmentVariableW(kOwnEndVariable, value.c_str()));
  std::wstring commandLine = L"\"" + ThisProgram().wstring() + L"\" --gtest_filter=RemovalOwnEndWine.OwnProcessEndsLastAfterItsMessageBox";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL created = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &child);
  ::SetEnvironmentVariableW(kOwnEndVariable, nullptr);
  ASSERT_TRUE(created) << ::GetLastError();
  const DWORD waited = ::WaitForSingleObject(child.hProcess, 60000);
  if (waited != WAIT_OBJECT_0) ::TerminateProcess(child.hProcess, 9);
  DWORD childExit = STILL_ACTIVE;
  ::GetExitCodeProcess(child.hProcess, &childExit);
  ::CloseHandle(child.hProcess);
  ::CloseHandle(child.hThread);

  EXPECT_EQ(childExit, 0u) << "6: no library, 7: the call returned, 9: hung";
  EXPECT_EQ(helper.ExitCodeAfter(10000), 0u);
  std::wifstream markerFile(marker);
  std::wstring shown;
  std::getline(markerFile, shown);
  EXPECT_EQ(shown, L"Operation complete; terminating. Please reboot Windows. |64|" + LoadResString(100) + L"|1");
  std::ifstream logFile(log);
  std::stringstream logText;
  logText << logFile.rdbuf();
  EXPECT_NE(logText.str().find("Process for file '" + std::to_string(helper.Id()) + "' terminated successfully. "),
            std::string::npos)
      << logText.str();
}

// The shutdown privilege, disabled first, is enabled on this process's token afterwards. Only the
// privilege: the restart itself is never asked for here.
TEST(RemovalPrivilegeWine, ShutdownPrivilegeIsEnabledOnTheToken) {
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token));
  LUID luid{};
  ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &luid));
  auto attributes = [&]() -> DWORD {
    std::vector<BYTE> buffer(4096);
    DWORD needed = 0;
    if (!::GetTokenInformation(token, TokenPrivileges, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
      return 0xFFFFFFFF;
    }
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID& each = privileges->Privileges[i].Luid;
      if (each.LowPart == luid.LowPart && each.HighPart == luid.HighPart) return privileges->Privileges[i].Attributes;
    }
    return 0xFFFFFFFE;  // not held
  };
  const DWORD before = attributes();
  ASSERT_LT(before, 0xFFFFFFFEu) << "the token holds no shutdown privilege";
  TOKEN_PRIVILEGES off{1, {{luid, 0}}};
  ASSERT_TRUE(::AdjustTokenPrivileges(token, FALSE, &off, 0, nullptr, nullptr));
  ASSERT_EQ(attributes() & SE_PRIVILEGE_ENABLED, 0u);

  MReboot::EnableShutdownPrivilege();
  const DWORD after = attributes();

  TOKEN_PRIVILEGES restore{1, {{luid, before & SE_PRIVILEGE_ENABLED}}};
  ::AdjustTokenPrivileges(token, FALSE, &restore, 0, nullptr, nullptr);
  ::CloseHandle(token);
  EXPECT_NE(after & SE_PRIVILEGE_ENABLED, 0u);
}

// The platform's token calls give what the system gives: the same LUID by the narrow name with an empty
// system name, and the length of the previous state.
TEST(RemovalPrivilegeWine, PlatformTokenCallsAnswerAsTheSystem) {
  platform::IShutdown& shutdown = platform::Shutdown();
  platform::Handle token = 0;
  ASSERT_TRUE(shutdown.OpenProcessToken(shutdown.GetCurrentProcess(),
                                        platform::kTokenAdjustPrivileges | platform::kTokenQuery, token));
  ASSERT_NE(token, 0u);
  platform::Luid luid{0xDEADBEEF, -1};
  ASSERT_TRUE(shutdown.LookupPrivilegeValueA("", "SeShutdownPrivilege", luid));
  LUID expected{};
  ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &expected));
  EXPECT_EQ(luid, (platform::Luid{expected.LowPart, expected.HighPart}));
  platform::Luid untouched{0xDEADBEEF, -1};
  EXPECT_FALSE(shutdown.LookupPrivilegeValueA("", "SeNoSuchPrivilege", untouched));
  EXPECT_EQ(shutdown.LastError(), static_cast<std::uint32_t>(ERROR_NO_SUCH_PRIVILEGE));
  EXPECT_EQ(untouched, (platform::Luid{0xDEADBEEF, -1}));

  // Enabling what is enabled already changes nothing, and reports one entry of previous state or none.
  std::uint32_t returnLength = 0xDEAD;
  ASSERT_TRUE(shutdown.AdjustTokenPrivileges(token, false, platform::TokenPrivilege{1, luid, platform::kSePrivilegeEnabled},
                                             platform::kTokenPrivilegeBytes, returnLength));
  EXPECT_LE(returnLength, platform::kTokenPrivilegeBytes);
  EXPECT_TRUE(shutdown.CloseHandle(token));
}

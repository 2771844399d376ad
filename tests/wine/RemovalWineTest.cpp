// Renaming to parasite names with the Removed Files record, termination by loaded module and the
// shutdown privilege, on the real Win32 API. Every file is the test's own, in a scratch folder; the only
// processes ended are helpers the test starts, by a copy of the helper library that nothing else loads;
// the program's own end is watched in a child of this test program. The restart itself is never asked
// for: under Wine it would end every windowed process of the prefix.
#include <windows.h>

#include <gmock/gmock.h>
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
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/RemovalFixture.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

namespace fs = std::filesystem;

using program_wine::LibraryHolder;
using removal_wine::CopyOfHelper;
using removal_wine::Record;
using removal_wine::ScratchFolder;
using removal_wine::ThisProgram;

// Set in the environment of the test program's child that watches its own end: "<library>|<helper id>|
// <marker file>|<log file>".
constexpr wchar_t kOwnEndVariable[] = L"WDL_REMOVAL_OWN_END";

class RemovalWineTest : public removal_wine::RemovalFixture {
 protected:
  // Whether the restore window, its list refreshed, offers `file`.
  static bool Listed(FRestoreFiles& window, const fs::path& file) {
    window.RefreshList();
    const std::vector<std::wstring>& rows = window.lstFilesBox.Items();
    return std::find(rows.begin(), rows.end(), file.wstring()) != rows.end();
  }
};

// A helper that has a copy of the helper library loaded from the test's scratch folder, so that ending
// "every process with that library loaded" can reach no other process.
struct LibraryHelper {
  LibraryHelper(const fs::path& folder, const std::wstring& events)
      : library(CopyOfHelper(folder, L"wdl_testdll.dll").wstring()),
        holder(CopyOfHelper(folder, L"wdl_loadchild.exe").wstring(), {library}, events) {}
  std::wstring library;
  LibraryHolder holder;
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

// Removed, listed for restoring, renamed back: the file keeps its bytes throughout.
TEST_F(RemovalWineTest, FileIsRenamedToItsParasiteNameRecordedAndRenamedBack) {
  const fs::path file = File(L"victim.dll");
  const fs::path parasite = folder / L"parasite_victim.dll.parasite";
  Remove({file.wstring()});
  EXPECT_EQ(StandingOf(file, parasite), Removed(file)) << logger->All();
  EXPECT_TRUE(logger->Has(L"CProcessManager.RenameParasiteFilesEx|5|0|FilesToPostDelete.Count=0")) << logger->All();
  FRestoreFiles window;
  EXPECT_TRUE(Listed(window, file));

  // Renamed back by itself, the record stays but is no longer offered.
  EXPECT_TRUE(CProcessManager().SafeRenameFile(parasite.wstring(), file.wstring())) << logger->All();
  EXPECT_EQ(StandingOf(file, parasite), (Standing{kText, kNoFile, file.wstring()}));
  EXPECT_FALSE(Listed(window, file));
}

// The restore window on real windows: the list box holds the recorded file, selected; the title bar's
// close only hides the window, which ends its modal show.
TEST_F(RemovalWineTest, RestoreWindowListsTheFileAndItsCloseBoxHidesIt) {
  const fs::path file = File(L"listed.dll");
  Remove({file.wstring()});
  ASSERT_EQ(Record(file.wstring()), file.wstring());
  Win32Backend backend;
  FRestoreFiles window;
  ASSERT_TRUE(window.Init());
  window.Load();
  HWND list = reinterpret_cast<HWND>(window.lstFilesBox.Native());
  // Record names differ in more than case, so the search without case finds the one row to compare.
  const LRESULT row = ::SendMessageW(list, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(file.c_str()));
  wchar_t text[MAX_PATH * 2] = L"";
  ::SendMessageW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(text, file.wstring());
  EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
  ::PostMessageW(reinterpret_cast<HWND>(window.Native()), WM_CLOSE, 0, 0);
  window.ShowModal();
  EXPECT_TRUE(window.Loaded());
  EXPECT_FALSE(::IsWindowVisible(reinterpret_cast<HWND>(window.Native())));
  window.Unload();
}

TEST_F(RemovalWineTest, ReadOnlyFileIsRenamedWithTheArchiveAttributeOnly) {
  const fs::path file = File(L"locked.dll");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_NE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  const fs::path parasite = folder / L"parasite_locked.dll.parasite";
  // An older read-only file at the parasite name is replaced.
  std::ofstream(parasite) << "old";
  ASSERT_TRUE(::SetFileAttributesW(parasite.c_str(), FILE_ATTRIBUTE_READONLY));

  Remove({file.wstring()});
  EXPECT_EQ(StandingOf(file, parasite), Removed(file)) << logger->All();
  EXPECT_EQ(::GetFileAttributesW(parasite.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

// A stream path names the file before its last colon: that file is renamed and recorded.
TEST_F(RemovalWineTest, StreamPathRenamesTheFileItBelongsTo) {
  const fs::path file = File(L"downloaded.exe");
  const std::wstring stream = file.wstring() + L":Zone.Identifier";
  Remove({stream});
  EXPECT_EQ(StandingOf(file, folder / L"parasite_downloaded.exe.parasite"), Removed(file)) << logger->All();
  EXPECT_TRUE(logger->Has(L"CProcessManager.RenameParasiteFile|5|0|Converting filename '" + stream + L"' -> '" +
                          file.wstring() + L"'"))
      << logger->All();
}

// A move the system refuses gives the system's reason in the log and no record.
TEST_F(RemovalWineTest, RefusedRenameIsLoggedWithTheSystemsTextAndNotRecorded) {
  const fs::path file = File(L"open.dll");
  const fs::path parasite = folder / L"parasite_open.dll.parasite";
  // Open for reading by others (the checksum is read) but neither for deleting nor renaming.
  HANDLE held = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CProcessManager manager;
  const bool renamed = manager.SafeRenameFile(file.wstring(), parasite.wstring());
  ::CloseHandle(held);
  EXPECT_FALSE(renamed);
  EXPECT_EQ(manager.LastRenameError(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  const std::wstring reason = removal_wine::SystemText(ERROR_SHARING_VIOLATION);
  ASSERT_FALSE(reason.empty());
  const std::int32_t checksum = inspection::Checksum31(reinterpret_cast<const std::uint8_t*>(kText), sizeof kText - 1);
  EXPECT_TRUE(logger->Has(L"CProcessManager.RenameFileNT|5|0|Failed to rename file '" + file.wstring() + L"', (" +
                          std::to_wstring(sizeof kText - 1) + L", " + std::to_wstring(checksum) + L"). " + reason))
      << logger->All();
  EXPECT_EQ(StandingOf(file, parasite), (Standing{kText, kNoFile, kNoRecord}));
}

TEST_F(RemovalWineTest, HelperWithTheLibraryLoadedIsEndedInBothFamilies) {
  for (bool nt : {true, false}) {
    LibraryHelper helper(folder, nt ? L"WdlRemovalNT" : L"WdlRemoval95");
    ASSERT_TRUE(helper.holder.ready) << "the helper did not load its library";
    MAPI::gbIsNT = nt;
    logger->lines.clear();
    CProcessManager().TerminateProcessesByModules(Set({helper.library}), false);
    EXPECT_EQ(helper.holder.ExitCodeAfter(10000), 0u) << nt;
    EXPECT_TRUE(logger->Has(L"CProcessManager.MyTerminateProcess|5|0|Process for file '" +
                            std::to_wstring(helper.holder.Id()) + L"' terminated successfully. "))
        << nt << logger->All();
  }
}

// This program ends itself last, after its message box: watched in a child of the test program, which
// loads the helper library next to a helper that has it loaded too.
TEST(RemovalOwnEndWine, OwnProcessEndsLastAfterItsMessageBox) {
  if (const wchar_t* arguments = _wgetenv(kOwnEndVariable)) EndOwnProcessWithTheHelper(arguments);

  ScratchFolder scratch;
  const fs::path& folder = scratch.path;
  LibraryHelper helper(folder, L"WdlRemovalOwn");
  ASSERT_TRUE(helper.holder.ready) << "the helper did not load its library";
  const fs::path marker = folder / L"marker.txt", log = folder / L"child.log";
  const std::wstring value = helper.library + L"|" + std::to_wstring(helper.holder.Id()) + L"|" + marker.wstring() +
                             L"|" + log.wstring();
  ASSERT_TRUE(::SetEnvironmentVariableW(kOwnEndVariable, value.c_str()));
  std::wstring commandLine = L"\"" + ThisProgram().wstring() + L"\" --gtest_filter=RemovalOwnEndWine.OwnProcessEndsLastAfterItsMessageBox";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL created = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &child);
  ::SetEnvironmentVariableW(kOwnEndVariable, nullptr);
  ASSERT_TRUE(created) << ::GetLastError();
  if (::WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) ::TerminateProcess(child.hProcess, 9);
  DWORD childExit = STILL_ACTIVE;
  ::GetExitCodeProcess(child.hProcess, &childExit);
  ::CloseHandle(child.hProcess);
  ::CloseHandle(child.hThread);

  EXPECT_EQ(childExit, 0u) << "6: no library, 7: the call returned, 9: hung";
  EXPECT_EQ(helper.holder.ExitCodeAfter(10000), 0u);
  std::wstring shown;
  std::getline(std::wifstream(marker), shown);
  EXPECT_EQ(shown, L"Operation complete; terminating. Please reboot Windows. |64|" + LoadResString(100) + L"|1");
  EXPECT_THAT(program_wine::ReadAll(log),
              ::testing::HasSubstr("Process for file '" + std::to_string(helper.holder.Id()) + "' terminated successfully. "));
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
  platform::ShutdownHandle owned;
  ASSERT_TRUE(shutdown.OpenProcessToken(shutdown.GetCurrentProcess(),
                                        platform::kTokenAdjustPrivileges | platform::kTokenQuery, owned));
  const platform::Handle token = owned.Get();
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
  EXPECT_TRUE(owned.Close());
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(reinterpret_cast<HANDLE>(token), &flags));
}

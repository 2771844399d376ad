#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "custom/CustomComponent.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "tests/doubles/FakeMachine.h"
#include "tests/native/ErrorOf.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "inspection/FileManagers.h"
#include "shell/app/Components.h"
#include "shell/app/Mode.h"

namespace {

using platform::LocalTime;

TEST(ShellRoutinesParasiteName, FollowsTheLastBackslashOnly) {
  struct Case { std::wstring path, expected; };
  const std::vector<Case> cases = {
      {L"C:\\dir\\x.exe", L"C:\\dir\\parasite_x.exe.parasite"},
      {L"x.exe", L"parasite_x.exe.parasite"},
      {L"C:\\dir\\", L"C:\\dir\\parasite_.parasite"},
      {L"", L"parasite_.parasite"},
      {L"C:/dir/x.exe", L"parasite_C:/dir/x.exe.parasite"},
      {L"C:\\a/b\\C/D.DLL", L"C:\\a/b\\parasite_C/D.DLL.parasite"},
      {L"\\x", L"\\parasite_x.parasite"},
      {L"C:\\Dir\\MiXeD.Exe", L"C:\\Dir\\parasite_MiXeD.Exe.parasite"},
      // Applied twice, the name stays in the same folder.
      {MAPI::MakeParasiteFileName(L"C:\\dir\\x.exe"), L"C:\\dir\\parasite_parasite_x.exe.parasite.parasite"},
  };
  for (const Case& c : cases) EXPECT_EQ(MAPI::MakeParasiteFileName(c.path), c.expected) << c.path;
}

TEST(ShellRoutinesWindowsFamily, FlagsFollowGetVersion) {
  struct Case { const char* name; std::uint32_t getVersion; bool nt, nt4; };
  platform::FakeMachine machine;
  for (const Case& c : {Case{"NT 4.0 SP6", 0x05650004u, true, true}, Case{"2000", 0x08930005u, true, false},
                        Case{"XP", 0x0A280105u, true, false}, Case{"7", 0x1DB10106u, true, false},
                        // 4.10 with the 9x bit: major 4 must not count as NT 4
                        Case{"98", 0xC0000A04u, false, false}, Case{"95", 0xC3B60004u, false, false}}) {
    machine.system.SetVersion(c.getVersion);
    EXPECT_EQ(std::pair(MAPI::IsWindowsNT(), MAPI::IsWindowsNT4()), std::pair(c.nt, c.nt4)) << c.name;
  }
}

TEST(ShellRoutinesStartTime, SubtractsWholeSecondsAcrossCalendarBorders) {
  struct Case { const char* name; LocalTime now; std::uint32_t ticks; LocalTime expected; };
  const std::vector<Case> cases = {
      {"same minute, remainder dropped", {2024, 1, 2, 3, 4, 5}, 1999, {2024, 1, 2, 3, 4, 4}},
      {"no uptime", {2024, 1, 2, 3, 4, 5}, 999, {2024, 1, 2, 3, 4, 5}},
      {"across midnight", {2024, 3, 15, 0, 0, 10}, 20000, {2024, 3, 14, 23, 59, 50}},
      {"across a month border", {2024, 5, 1, 0, 30, 0}, 3600000, {2024, 4, 30, 23, 30, 0}},
      {"into a leap day", {2024, 3, 1, 1, 0, 0}, 7200000, {2024, 2, 29, 23, 0, 0}},
      {"no leap day in 2023", {2023, 3, 1, 1, 0, 0}, 7200000, {2023, 2, 28, 23, 0, 0}},
      {"across a year border", {2024, 1, 1, 0, 0, 5}, 10000, {2023, 12, 31, 23, 59, 55}},
      {"30 days up", {2024, 2, 10, 12, 0, 0}, 30u * 86400u * 1000u, {2024, 1, 11, 12, 0, 0}},
      // The largest count reads as about 49.7 days, never as a negative uptime.
      {"counter at its top", {2024, 3, 1, 0, 0, 0}, 0xFFFFFFFFu, {2024, 1, 11, 6, 57, 13}},
  };
  platform::FakeMachine machine;
  for (const Case& c : cases) {
    machine.system.SetNow(c.now);
    machine.system.SetTickCount(c.ticks);
    EXPECT_EQ(MAPI::GetWindowsStartTime(), c.expected) << c.name;
  }
}

// The size GetFileSizeByName gives on the NT family (`nt`) or on the 9x family.
std::int32_t FileSizeOn(bool nt, const std::wstring& path) {
  const bool saved = std::exchange(MAPI::gbIsNT, nt);
  const std::int32_t size = MAPI::GetFileSizeByName(path);
  MAPI::gbIsNT = saved;
  return size;
}

TEST(ShellRoutinesFileSize, GivesTheLowPartAsASignedNumberAndZeroWithoutAMatch) {
  platform::FakeMachine machine;
  machine.files.AddFile(L"C:\\w\\empty.dll", {});
  machine.files.AddFile(L"C:\\w\\five.dll", {1, 2, 3, 4, 5});
  machine.files.AddLargeFile(L"C:\\w\\big.dat", 0x180000000ull);   // 6 GiB: low part 0x80000000
  machine.files.AddLargeFile(L"C:\\w\\four.dat", 0x100000004ull);  // low part 4
  machine.files.AddFile(L"C:\\w\\locked.dll", {1, 2, 3});
  machine.files.Fail(L"C:\\w\\locked.dll", platform::kFileOpRead, platform::kErrorAccessDenied);
  struct Case { const wchar_t* path; std::int32_t size; };
  for (const Case& c : {Case{L"C:\\w\\missing.dll", 0}, Case{L"C:\\w\\empty.dll", 0}, Case{L"C:\\w\\five.dll", 5},
                        Case{L"C:\\w\\big.dat", INT32_MIN}, Case{L"C:\\w\\four.dat", 4},
                        Case{L"C:\\w\\locked.dll", 0}}) {  // a failing search counts as no match
    EXPECT_EQ(std::pair(FileSizeOn(true, c.path), FileSizeOn(false, c.path)), std::pair(c.size, c.size)) << c.path;
  }
}

// The NT family searches with the wide path, so a folder or file named outside the ANSI code page is
// found, and found as itself: the narrow form of such a name is "?" wildcards that may match another
// file. The 9x family keeps the narrow call.
TEST(ShellRoutinesFileSize, NtFindsNamesOutsideTheAnsiCodePage) {
  platform::FakeMachine machine;
  const std::wstring folder = L"C:\\Users\\\u5F20\u4F1F\\AppData";  // a user folder in Chinese
  machine.files.AddFile(folder + L"\\tool.dll", std::vector<std::uint8_t>(7));
  machine.files.AddFile(L"C:\\w\\ab.dll", std::vector<std::uint8_t>(3));
  machine.files.AddFile(L"C:\\w\\\u6587\u4EF6.dll", std::vector<std::uint8_t>(11));
  struct Case { std::wstring path; std::int32_t nt, nineX; };
  const Case cases[] = {
      {folder + L"\\tool.dll", 7, 0},
      {L"C:\\w\\\u6587\u4EF6.dll", 11, 3},  // narrow: "??.dll", which ab.dll matches
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::pair(FileSizeOn(true, c.path), FileSizeOn(false, c.path)), std::pair(c.nt, c.nineX)) << c.path;
  }
}

TEST(ShellRoutinesMessageBox, EmptyTitleBecomesTheProductName) {
  platform::FakeMachine machine;
  machine.desktop.QueueAnswer(7);
  EXPECT_EQ(MAPI::MyMsgBox(L"Question?", 52, L""), 7);
  EXPECT_EQ(MAPI::MyMsgBox(L"Own title", 64, L"Other"), 1);
  std::vector<std::tuple<std::wstring, unsigned, std::wstring>> shown;
  for (const platform::ShownBox& box : machine.desktop.Boxes()) shown.emplace_back(box.prompt, box.style, box.title);
  EXPECT_EQ(shown, (decltype(shown){{L"Question?", 52u, L"Wardline"}, {L"Own title", 64u, L"Other"}}));
}

TEST(ShellRoutinesMessageBox, ShowsTheDefaultPointerAndPutsTheHourglassBack) {
  platform::FakeMachine machine;
  machine.desktop.SetMousePointer(platform::kPointerHourglass);
  MAPI::MyMsgBox(L"Busy", 48);
  ASSERT_EQ(machine.desktop.Boxes().size(), 1u);
  EXPECT_EQ(std::pair(machine.desktop.Boxes()[0].mousePointer, machine.desktop.MousePointer()),
            std::pair(platform::kPointerDefault, platform::kPointerHourglass));
}

TEST(ShellRoutinesMode, OnlyTheWholeSwitchSelectsUninstall) {
  struct Case { std::wstring arguments; bool uninstall; };
  for (const Case& c : {Case{L"/uninstall", true}, Case{L"  /UNINSTALL  ", true}, Case{L"/UnInstall", true},
                        Case{L"/uninstall x", false}, Case{L"", false}, Case{L"   ", false}, Case{L"uninstall", false},
                        Case{L"/uninstal", false}, Case{L"/uninstall\t", false},  // only blanks are trimmed
                        Case{L"x /uninstall", false}}) {
    EXPECT_EQ(IsUninstallMode(c.arguments), c.uninstall)
        << "[" << std::string(c.arguments.begin(), c.arguments.end()) << "]";
  }
}

class TestComponent : public platform::IComponent {};

TEST(ShellRoutinesComponents, ReportsTheFirstLibraryThatCannotBeCreatedAfterTryingCommonFirst) {
  const auto missing = [](const std::wstring& dll) {
    return L"Component '" + dll +
           L"' or one of its dependencies not correctly registered: a file is missing or invalid. Try to reinstall "
           L"Wardline.";
  };
  struct Case { const char* name; bool commonFails, customFails, ok; std::wstring message; };
  const std::vector<Case> cases = {
      {"both fine", false, false, true, L"untouched"},
      {"qnCommon missing", true, false, false, missing(L"QNCOMMON.DLL")},
      {"WDLCustom missing", false, true, false, missing(L"WDLCUSTOM.DLL")},
      {"both missing", true, true, false, missing(L"QNCOMMON.DLL")},
  };
  for (const Case& c : cases) {
    platform::FakeMachine machine;
    machine.components.Register(kCommonTestProgId, [] { return std::make_shared<TestComponent>(); });
    machine.components.Register(kCustomTestProgId, [] { return std::make_shared<TestComponent>(); });
    if (c.commonFails) machine.components.Fail(kCommonTestProgId);
    if (c.customFails) machine.components.Fail(kCustomTestProgId);
    std::wstring message = L"untouched";
    const bool ok = MWDL::CheckComponents(message);
    EXPECT_EQ(std::pair(ok, message), std::pair(c.ok, c.message)) << c.name;
    if (c.ok) {
      EXPECT_EQ(machine.components.Requests(), (std::vector<std::wstring>{kCommonTestProgId, kCustomTestProgId}));
    }
  }
}

class ShellRoutinesFileManagers : public ::testing::Test {
 protected:
  void TearDown() override {
    MWDL::goFileInfoManager.reset();
    MWDL::goFilenameResolver.reset();
    MWDL::goHashier.reset();
  }
  platform::FakeMachine machine;
};

TEST_F(ShellRoutinesFileManagers, EmptiesBothFileCachesButNotTheChecksumCache) {
  machine.files.AddSearchFolder(L"C:\\W");
  machine.files.AddFile(L"C:\\W\\tool.exe", {1, 2, 3});
  MWDL::goHashier = std::make_shared<CHashier>();
  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
  MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
  std::int32_t size = 0;
  const std::int32_t hash = MWDL::goHashier->HashFromFullFileName(L"C:\\W\\tool.exe", size);
  ASSERT_EQ(size, 3);
  ASSERT_EQ(MWDL::goFilenameResolver->GetFullFileNameFromShortFilename(L"tool.exe"), L"C:\\W\\tool.exe");
  ASSERT_TRUE(MWDL::goFileInfoManager->isFileExist(L"C:\\W\\tool.exe"));
  // The file goes away: every cache still answers as before.
  machine.files.Remove(L"C:\\W\\tool.exe");
  ASSERT_TRUE(MWDL::goFileInfoManager->isFileExist(L"C:\\W\\tool.exe"));

  MWDL::ReInitFileManagers();
  size = 0;
  const std::int32_t again = MWDL::goHashier->HashFromFullFileName(L"C:\\W\\tool.exe", size);
  EXPECT_EQ(std::tuple(MWDL::goFileInfoManager->isFileExist(L"C:\\W\\tool.exe"),
                       MWDL::goFilenameResolver->GetFullFileNameFromShortFilename(L"tool.exe"), again, size),
            std::tuple(false, L"tool.exe", hash, 3));
}

TEST_F(ShellRoutinesFileManagers, AnUnsetObjectIsTheCallersError) {
  MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
  EXPECT_EQ(ErrorOf(MWDL::ReInitFileManagers), err::kObjectNotSet);
  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
  MWDL::goFilenameResolver.reset();
  EXPECT_EQ(ErrorOf(MWDL::ReInitFileManagers), err::kObjectNotSet);
}

}  // namespace

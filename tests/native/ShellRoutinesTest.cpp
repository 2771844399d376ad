#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Error.h"
#include "custom/CustomComponent.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "platform/FakeMachine.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Mode.h"

namespace {

using platform::LocalTime;

// --- Parasite names ---------------------------------------------------------------------------------

struct ParasiteCase {
  std::wstring path;
  std::wstring expected;
};

TEST(ShellRoutinesParasiteName, FollowsTheLastBackslashOnly) {
  const std::vector<ParasiteCase> cases = {
      {L"C:\\dir\\x.exe", L"C:\\dir\\parasite_x.exe.parasite"},
      {L"x.exe", L"parasite_x.exe.parasite"},
      {L"C:\\dir\\", L"C:\\dir\\parasite_.parasite"},
      {L"", L"parasite_.parasite"},
      {L"C:/dir/x.exe", L"parasite_C:/dir/x.exe.parasite"},
      {L"C:\\a/b\\C/D.DLL", L"C:\\a/b\\parasite_C/D.DLL.parasite"},
      {L"\\x", L"\\parasite_x.parasite"},
      {L"C:\\Dir\\MiXeD.Exe", L"C:\\Dir\\parasite_MiXeD.Exe.parasite"},
  };
  for (const ParasiteCase& c : cases) {
    EXPECT_EQ(MAPI::MakeParasiteFileName(c.path), c.expected) << c.path;
  }
}

TEST(ShellRoutinesParasiteName, AppliedTwiceStaysInTheSameFolder) {
  EXPECT_EQ(MAPI::MakeParasiteFileName(MAPI::MakeParasiteFileName(L"C:\\dir\\x.exe")),
            L"C:\\dir\\parasite_parasite_x.exe.parasite.parasite");
}

// --- Windows family ---------------------------------------------------------------------------------

struct VersionCase {
  const char* name;
  std::uint32_t getVersion;
  bool nt;
  bool nt4;
};

TEST(ShellRoutinesWindowsFamily, FlagsFollowGetVersion) {
  const std::vector<VersionCase> cases = {
      {"NT 4.0 SP6", 0x05650004u, true, true},
      {"2000", 0x08930005u, true, false},
      {"XP", 0x0A280105u, true, false},
      {"7", 0x1DB10106u, true, false},
      {"98", 0xC0000A04u, false, false},  // 4.10 with the 9x bit: major 4 must not count as NT 4
      {"95", 0xC3B60004u, false, false},
  };
  platform::FakeMachine machine;
  for (const VersionCase& c : cases) {
    machine.system.SetVersion(c.getVersion);
    EXPECT_EQ(MAPI::IsWindowsNT(), c.nt) << c.name;
    EXPECT_EQ(MAPI::IsWindowsNT4(), c.nt4) << c.name;
  }
}

// --- Windows start time -----------------------------------------------------------------------------

struct StartTimeCase {
  const char* name;
  LocalTime now;
  std::uint32_t ticks;
  LocalTime expected;
};

TEST(ShellRoutinesStartTime, SubtractsWholeSecondsAcrossCalendarBorders) {
  const std::vector<StartTimeCase> cases = {
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
  for (const StartTimeCase& c : cases) {
    machine.system.SetNow(c.now);
    machine.system.SetTickCount(c.ticks);
    EXPECT_EQ(MAPI::GetWindowsStartTime(), c.expected) << c.name;
  }
}

// --- File size --------------------------------------------------------------------------------------

TEST(ShellRoutinesFileSize, GivesTheLowPartAsASignedNumber) {
  platform::FakeMachine machine;
  machine.files.AddFile(L"C:\\w\\empty.dll", {});
  machine.files.AddFile(L"C:\\w\\five.dll", {1, 2, 3, 4, 5});
  machine.files.AddLargeFile(L"C:\\w\\big.dat", 0x180000000ull);   // 6 GiB: low part 0x80000000
  machine.files.AddLargeFile(L"C:\\w\\four.dat", 0x100000004ull);  // low part 4

  EXPECT_EQ(MAPI::GetFileSizeByName(L"C:\\w\\missing.dll"), 0);
  EXPECT_EQ(MAPI::GetFileSizeByName(L"C:\\w\\empty.dll"), 0);
  EXPECT_EQ(MAPI::GetFileSizeByName(L"C:\\w\\five.dll"), 5);
  EXPECT_EQ(MAPI::GetFileSizeByName(L"C:\\w\\big.dat"), INT32_MIN);
  EXPECT_EQ(MAPI::GetFileSizeByName(L"C:\\w\\four.dat"), 4);
}

TEST(ShellRoutinesFileSize, AFailingSearchCountsAsNoMatch) {
  platform::FakeMachine machine;
  machine.files.AddFile(L"C:\\w\\locked.dll", {1, 2, 3});
  machine.files.Fail(L"C:\\w\\locked.dll", platform::kFileOpRead, platform::kErrorAccessDenied);
  EXPECT_EQ(MAPI::GetFileSizeByName(L"C:\\w\\locked.dll"), 0);
}

// --- Message box ------------------------------------------------------------------------------------

TEST(ShellRoutinesMessageBox, EmptyTitleBecomesTheProductName) {
  platform::FakeMachine machine;
  machine.desktop.QueueAnswer(7);
  EXPECT_EQ(MAPI::MyMsgBox(L"Question?", 52, L""), 7);
  EXPECT_EQ(MAPI::MyMsgBox(L"Own title", 64, L"Other"), 1);

  ASSERT_EQ(machine.desktop.Boxes().size(), 2u);
  EXPECT_EQ(machine.desktop.Boxes()[0].prompt, L"Question?");
  EXPECT_EQ(machine.desktop.Boxes()[0].style, 52u);
  EXPECT_EQ(machine.desktop.Boxes()[0].title, L"Wardline");
  EXPECT_EQ(machine.desktop.Boxes()[1].title, L"Other");
}

TEST(ShellRoutinesMessageBox, ShowsTheDefaultPointerAndPutsTheHourglassBack) {
  platform::FakeMachine machine;
  machine.desktop.SetMousePointer(platform::kPointerHourglass);
  MAPI::MyMsgBox(L"Busy", 48);
  ASSERT_EQ(machine.desktop.Boxes().size(), 1u);
  EXPECT_EQ(machine.desktop.Boxes()[0].mousePointer, platform::kPointerDefault);
  EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerHourglass);
}

// --- Mode choice ------------------------------------------------------------------------------------

struct ModeCase {
  std::wstring arguments;
  bool uninstall;
};

TEST(ShellRoutinesMode, OnlyTheWholeSwitchSelectsUninstall) {
  const std::vector<ModeCase> cases = {
      {L"/uninstall", true},
      {L"  /UNINSTALL  ", true},
      {L"/UnInstall", true},
      {L"/uninstall x", false},
      {L"", false},
      {L"   ", false},
      {L"uninstall", false},
      {L"/uninstal", false},
      {L"/uninstall\t", false},  // only blanks are trimmed
      {L"x /uninstall", false},
  };
  for (const ModeCase& c : cases) {
    EXPECT_EQ(IsUninstallMode(c.arguments), c.uninstall) << "[" << std::string(c.arguments.begin(), c.arguments.end())
                                                         << "]";
  }
}

// --- Version and component check --------------------------------------------------------------------

TEST(ShellRoutinesVersion, IsMajorMinorRevisionWithoutLeadingZeros) {
  EXPECT_EQ(MWDL::VersionText(), L"2.0.24");
}

class TestComponent : public platform::IComponent {};

struct ComponentCase {
  const char* name;
  bool commonFails;
  bool customFails;
  bool ok;
  std::wstring message;
};

TEST(ShellRoutinesComponents, ReportsTheFirstLibraryThatCannotBeCreated) {
  const std::wstring untouched = L"untouched";
  const std::vector<ComponentCase> cases = {
      {"both fine", false, false, true, untouched},
      {"qnCommon missing", true, false, false,
       L"Component 'QNCOMMON.DLL' or one of its dependencies not correctly registered: a file is missing or "
       L"invalid. Try to reinstall Wardline."},
      {"WDLCustom missing", false, true, false,
       L"Component 'WDLCUSTOM.DLL' or one of its dependencies not correctly registered: a file is missing or "
       L"invalid. Try to reinstall Wardline."},
      {"both missing", true, true, false,
       L"Component 'QNCOMMON.DLL' or one of its dependencies not correctly registered: a file is missing or "
       L"invalid. Try to reinstall Wardline."},
  };
  for (const ComponentCase& c : cases) {
    platform::FakeMachine machine;
    machine.components.Register(kCommonTestProgId, [] { return std::make_shared<TestComponent>(); });
    machine.components.Register(kCustomTestProgId, [] { return std::make_shared<TestComponent>(); });
    if (c.commonFails) machine.components.Fail(kCommonTestProgId);
    if (c.customFails) machine.components.Fail(kCustomTestProgId);

    std::wstring message = untouched;
    EXPECT_EQ(MWDL::CheckComponents(message), c.ok) << c.name;
    EXPECT_EQ(message, c.message) << c.name;
  }
}

TEST(ShellRoutinesComponents, CreatesTheCommonTestClassFirst) {
  platform::FakeMachine machine;
  machine.components.Register(kCommonTestProgId, [] { return std::make_shared<TestComponent>(); });
  machine.components.Register(kCustomTestProgId, [] { return std::make_shared<TestComponent>(); });
  std::wstring message;
  ASSERT_TRUE(MWDL::CheckComponents(message));
  EXPECT_EQ(machine.components.Requests(), (std::vector<std::wstring>{kCommonTestProgId, kCustomTestProgId}));
}

// --- Resetting the file caches ----------------------------------------------------------------------

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
  ASSERT_TRUE(MWDL::goFileInfoManager->isFileExist(L"C:\\W\\tool.exe"));
  ASSERT_EQ(MWDL::goFilenameResolver->GetFullFileNameFromShortFilename(L"tool.exe"), L"C:\\W\\tool.exe");

  // The file goes away: every cache still answers as before.
  machine.files.Remove(L"C:\\W\\tool.exe");
  ASSERT_TRUE(MWDL::goFileInfoManager->isFileExist(L"C:\\W\\tool.exe"));

  MWDL::ReInitFileManagers();

  EXPECT_FALSE(MWDL::goFileInfoManager->isFileExist(L"C:\\W\\tool.exe"));
  EXPECT_EQ(MWDL::goFilenameResolver->GetFullFileNameFromShortFilename(L"tool.exe"), L"tool.exe");
  std::int32_t sizeAfter = 0;
  EXPECT_EQ(MWDL::goHashier->HashFromFullFileName(L"C:\\W\\tool.exe", sizeAfter), hash);
  EXPECT_EQ(sizeAfter, 3);
}

TEST_F(ShellRoutinesFileManagers, AnUnsetObjectIsTheCallersError) {
  MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
  try {
    MWDL::ReInitFileManagers();
    FAIL() << "no error";
  } catch (const CError& e) {
    EXPECT_EQ(e.Number(), err::kObjectNotSet);
  }

  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
  MWDL::goFilenameResolver.reset();
  try {
    MWDL::ReInitFileManagers();
    FAIL() << "no error";
  } catch (const CError& e) {
    EXPECT_EQ(e.Number(), err::kObjectNotSet);
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "tests/doubles/FakeMachine.h"

extern "C" std::int32_t WdlCreateComponent(const wchar_t* className, platform::IComponent** object);

namespace {

using namespace platform;

TEST(PlatformFakeMachineTest, InstallsAndRestoresServices) {
  IRegistry* before = &Registry();
  {
    FakeMachine outer;
    EXPECT_EQ(&Registry(), &outer.registry);
    {
      FakeMachine inner;
      EXPECT_EQ(&Files(), &inner.files);
    }
    EXPECT_EQ(&Files(), &outer.files);
  }
  EXPECT_EQ(&Registry(), before);
}

TEST(PlatformFakeRegistryTest, CaseInsensitiveInsertionOrderAndRecordedChanges) {
  FakeRegistry reg;
  reg.SetDword(kHkeyCurrentUser, L"\\A\\B\\", L"n", 1);
  reg.CreateKey(kHkeyCurrentUser, L"a\\c");
  std::vector<std::wstring> names{L"poison"};
  ASSERT_EQ(reg.EnumKeys(kHkeyCurrentUser, L"A", names), kErrorSuccess);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"B", L"c"}));
  RegValue v;
  EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, L"a\\b", L"N", v), kErrorSuccess);
  EXPECT_EQ(v.data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_TRUE(reg.Changes().empty());
  EXPECT_EQ(reg.DeleteKey(kHkeyCurrentUser, L"A"), kErrorSuccess);
  EXPECT_TRUE(reg.WasKeyDeleted(kHkeyCurrentUser, L"a"));
  EXPECT_EQ(reg.EnumValues(kHkeyCurrentUser, L"A\\B", names), kErrorFileNotFound);
  EXPECT_EQ(reg.DeleteKey(kHkeyCurrentUser, L""), kErrorAccessDenied);
}

TEST(PlatformFakeFilesTest, SearchMoveDeleteAndFailures) {
  FakeFiles files;
  files.AddFile(L"C:\\Windows\\System32\\kernel32.dll", {1, 2});
  files.AddSearchFolder(L"C:\\Windows");
  files.AddSearchFolder(L"C:\\Windows\\System32");
  files.MapSearch(L"special.exe", L"D:\\special.exe");
  std::wstring found = L"poison";
  EXPECT_EQ(files.SearchPathW(L"KERNEL32.DLL", 260, found), 32u);
  EXPECT_EQ(found, L"C:\\Windows\\System32\\KERNEL32.DLL");
  EXPECT_EQ(files.SearchPathW(L"kernel32.dll", 10, found), 33u);  // too small: size needed
  EXPECT_EQ(found, L"");
  EXPECT_EQ(files.SearchPathW(L"special.exe", 260, found), 14u);
  std::string narrow;
  EXPECT_EQ(files.SearchPathA("none.exe", 260, narrow), 0u);
  std::uint64_t size = 99;
  EXPECT_TRUE(files.FindFirstSize("c:\\windows\\system32\\KERNEL*.dll", size));
  EXPECT_EQ(size, 2u);
  unsigned long error = 0;
  files.Fail(L"C:\\Windows\\System32\\kernel32.dll", kFileOpMove, kErrorSharingViolation);
  EXPECT_FALSE(files.MoveW(L"C:\\Windows\\System32\\kernel32.dll", L"C:\\x", error));
  EXPECT_EQ(error, static_cast<unsigned long>(kErrorSharingViolation));
  files.Fail(L"C:\\Windows\\System32\\kernel32.dll", kFileOpMove, 0);
  EXPECT_TRUE(files.MoveA("C:\\Windows\\System32\\kernel32.dll", "C:\\x", error));
  ASSERT_EQ(files.Moves().size(), 1u);
  EXPECT_FALSE(files.Moves()[0].wide);
  EXPECT_TRUE(files.Delete(L"c:\\X", error));
  EXPECT_EQ(files.Deletes(), (std::vector<std::wstring>{L"c:\\X"}));
  EXPECT_FALSE(files.Delete(L"c:\\X", error));
  EXPECT_EQ(error, static_cast<unsigned long>(kErrorFileNotFound));
}

TEST(PlatformFakeProcessesTest, PsapiAndToolhelpSeeTheSameProcesses) {
  FakeProcesses procs;
  procs.AddProcess(100, {L"C:\\a.exe", L"C:\\m.dll"});
  procs.AddProcess(200, {L"C:\\b.exe"});
  procs.FailOpen(200, kErrorAccessDenied);
  std::uint32_t ids[8] = {}, bytes = 0;
  ASSERT_TRUE(procs.EnumProcesses(ids, sizeof ids, bytes));
  EXPECT_EQ(bytes, 8u);
  EXPECT_FALSE(procs.OpenProcess(kProcessQueryInformation, false, 200));
  EXPECT_EQ(procs.LastError(), static_cast<std::uint32_t>(kErrorAccessDenied));
  ProcessesHandle process = procs.OpenProcess(kProcessQueryInformation | kProcessVmRead, false, 100);
  const Handle h = process.Get();
  ASSERT_NE(h, kNoHandle);
  Handle modules[4] = {};
  std::uint32_t needed = 0;
  ASSERT_TRUE(procs.EnumProcessModules(h, modules, 4, needed));
  ASSERT_EQ(needed, 2u);
  wchar_t name[260];
  EXPECT_EQ(procs.GetModuleFileNameExW(h, modules[1], name, 260), 8u);
  EXPECT_STREQ(name, L"C:\\m.dll");
  EXPECT_TRUE(procs.TerminateProcess(h, 1));
  EXPECT_EQ(procs.Terminations(), (std::vector<TerminateCall>{{100, 1}}));
  EXPECT_EQ(procs.OpenHandleCount(), 1u);
  EXPECT_TRUE(process.Close());
  EXPECT_EQ(std::tuple(procs.OpenHandleCount(), process.Get()), std::tuple(0u, kNoHandle));
  EXPECT_TRUE(process.Close());  // nothing held any more

  {
    const ProcessesHandle snap = procs.CreateToolhelp32Snapshot(kSnapProcess, 0);
    ProcessEntry entry;
    ASSERT_TRUE(procs.Process32First(snap.Get(), entry));
    EXPECT_EQ(entry.processId, 200u);  // 100 was terminated
    EXPECT_STREQ(entry.exeFile, "C:\\b.exe");
    EXPECT_FALSE(procs.Process32Next(snap.Get(), entry));
    EXPECT_EQ(procs.OpenHandleCount(), 1u);
  }
  EXPECT_EQ(procs.OpenHandleCount(), 0u);  // the owner closed the snapshot
}

TEST(PlatformComponentFactoryTest, CreatesKeyedCollectionOnly) {
  for (const auto& [name, result] : {std::pair<const wchar_t*, std::int32_t>{L"CKeyedCollection", kComponentCreated},
                                     {L"ckeyedcollection", kComponentCreated},
                                     {L"CNothing", kComponentUnknownClass},
                                     {nullptr, kComponentUnknownClass}}) {
    IComponent* made = reinterpret_cast<IComponent*>(&made);  // poisoned
    EXPECT_EQ(WdlCreateComponent(name, &made), result) << (name ? name : L"(null)");
    EXPECT_EQ(std::unique_ptr<IComponent>(made) != nullptr, result == kComponentCreated);
  }
  EXPECT_EQ(WdlCreateComponent(L"CKeyedCollection", nullptr), kComponentFailed);
}

TEST(PlatformFakeDesktopTest, AnswersFromQueueAndRecordsPointer) {
  FakeMachine m;
  m.desktop.QueueAnswer(7);
  Desktop().SetMousePointer(kPointerHourglass);
  EXPECT_EQ(Desktop().MessageBox(L"p", 4, L"t"), 7);
  EXPECT_EQ(Desktop().MessageBox(L"q", 0, L""), 1);
  ASSERT_EQ(m.desktop.Boxes().size(), 2u);
  EXPECT_EQ(m.desktop.Boxes()[0].mousePointer, kPointerHourglass);
  EXPECT_EQ(m.desktop.Boxes()[0].style, 4u);
}

}  // namespace

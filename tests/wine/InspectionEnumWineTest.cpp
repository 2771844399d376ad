// The enumerators of processes, startups, services and browser extensions on the real Win32 API, in
// both registry views of 64-bit Windows. Each test writes what it looks for into the prefix's registry
// (what an earlier run left goes first) or starts the helper child, and removes it all again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "RegistryScratch.h"
#include "common/Items.h"
#include "common/Registry.h"
#include "inspection/IEManager.h"
#include "inspection/ProcessManager.h"
#include "inspection/ServiceManager.h"
#include "inspection/StartupManager.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/helpers/ChildProcess.h"

namespace {

using wine_test::k32;
using wine_test::k64;
using wine_test::ScratchKey;

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
std::wstring ThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  return std::wstring(buffer.data(), ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
}
std::wstring BinFolder() { return ThisProgram().substr(0, ThisProgram().rfind(L'\\') + 1); }
// The system folder (::GetSystemDirectoryW) or SysWOW64 (::GetSystemWow64DirectoryW).
std::wstring Folder(UINT(WINAPI* get)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH] = {};
  return std::wstring(buffer, get(buffer, MAX_PATH));
}
const auto SystemFolder = [] { return Folder(::GetSystemDirectoryW); };
const auto Wow64Folder = [] { return Folder(::GetSystemWow64DirectoryW); };

// The items of `list` that `match` accepts, in order.
std::vector<const CItem*> Where(const CItemList& list, const std::function<bool(const CItem&)>& match) {
  std::vector<const CItem*> found;
  for (const auto& item : list) {
    if (match(*item)) found.push_back(item.get());
  }
  return found;
}
// Accepts items named `path`, or (with `whole` false) whose names end in it.
std::function<bool(const CItem&)> Named(const std::wstring& path, bool whole = true) {
  return [=](const CItem& item) {
    const std::size_t size = item.Name.size();
    return SamePath(whole || size < path.size() ? item.Name : item.Name.substr(size - path.size()), path);
  };
}
const PropertyValue& Value(const CItem& item, const std::wstring& property) {
  return item.Properties().Item(property).Values().Item(1);
}
std::wstring Text(const CItem& item, const std::wstring& property) {
  return std::get<std::wstring>(Value(item, property));
}
std::int32_t Hive(const CItem& item) { return std::get<std::int32_t>(Value(item, L"Key")); }
constexpr std::int32_t kCurrentUser = -2147483647, kLocalMachine = -2147483646;

// The names of the items of `list` among `ids` (letter case aside), with one text property each.
std::vector<std::pair<std::wstring, std::wstring>> Ours(const CItemList& list, const std::vector<std::wstring>& ids,
                                                        const std::wstring& property) {
  std::vector<std::pair<std::wstring, std::wstring>> found;
  for (const auto& item : list) {
    for (const std::wstring& id : ids) {
      if (SamePath(item->Name, id)) found.emplace_back(id, Text(*item, property));
    }
  }
  return found;
}

const std::wstring kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kWowRunKey = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kPoliciesRunKey = CStartupManager::kPoliciesRunKey;
const std::wstring kStartupValue = L"WdlInspectionTest";
const std::wstring kServiceKey = L"SYSTEM\\CurrentControlSet\\Services\\WdlInspectionTestSvc";
const std::wstring kBhos = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
const std::wstring kVertical = CIEManager::kVerticalBarsCATID, kHorizontal = CIEManager::kHorizontalBarsCATID;
const std::wstring kProbe = L"wdl_view_probe.dll";
// Class ids of our own, never registered by anything else.
const std::wstring kBho = L"{6A1F3C52-90D4-4E1B-A7C3-5D2E8F01B9A4}";
const std::wstring kBho32 = L"{7B2E4D61-3C5A-4F8E-9D17-6A0B2C4E8F31}";
const std::wstring kToolbar = L"{8C3F5E72-4D6B-4A9F-8E28-7B1C3D5F9A42}";
const std::wstring kShellToolbar = L"{9D4A6F83-5E7C-4BA0-9F39-8C2D4E6AAB53}";
const std::wstring kToolbar32 = L"{AE5B7A94-6F8D-4CB1-8A4A-9D3E5F7BBC64}";
const std::wstring kBar = L"{BF6C8BA5-7A9E-4DC2-9B5B-AE4F6A8CCD75}";
const std::wstring kBar32 = L"{C07D9CB6-8BAF-4ED3-AC6C-BF5A7B9DDE86}";

// The program-wide objects the enumerators use, scratch registrations in either view, and a copy of the
// test library in both system folders (the 64-bit one and SysWOW64) under one name. Everything goes
// again when the test ends.
class InspectionEnumWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::wstring& id : {kBho, kBho32, kToolbar, kShellToolbar, kToolbar32, kBar, kBar32}) {
      for (const REGSAM view : {k64, k32}) {
        wine_test::DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + id, view);
        wine_test::DeleteTree(HKEY_LOCAL_MACHINE, kBhos + id, view);
      }
    }
    wine_test::DeleteTree(HKEY_LOCAL_MACHINE, kServiceKey, k64);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      ::RegDeleteKeyValueW(root, kRunKey.c_str(), kStartupValue.c_str());
    }
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPoliciesRunKey.c_str(), kStartupValue.c_str());
  }
  void TearDown() override {
    keys_.clear();
    for (const std::wstring& file : probes_) ::DeleteFileW(file.c_str());
    if (!madeWow64Folder_.empty()) ::RemoveDirectoryW(madeWow64Folder_.c_str());
  }

  ScratchKey& Key(HKEY root, const std::wstring& path, REGSAM view) {
    keys_.push_back(std::make_unique<ScratchKey>(root, path, view));
    return *keys_.back();
  }
  // Registers class `id` in one view: its name and its in-process server.
  bool Class(const std::wstring& id, REGSAM view, const std::wstring& title, const std::wstring& server) {
    return Key(HKEY_CLASSES_ROOT, L"CLSID\\" + id, view).Set(L"", title) &&
           Key(HKEY_CLASSES_ROOT, L"CLSID\\" + id + L"\\InprocServer32", view).Set(L"", server);
  }
  // Lists class `id` as implementing `category` in one view.
  bool InCategory(const std::wstring& id, REGSAM view, const std::wstring& category) {
    return Key(HKEY_CLASSES_ROOT, L"CLSID\\" + id + L"\\Implemented Categories\\" + category, view).Created();
  }
  // Copies the test library into both system folders as kProbe; false when a copy failed. A prefix
  // without 32-bit Wine may lack SysWOW64 itself: it is made for the test then.
  bool ProbeFiles() {
    if (::CreateDirectoryW(Wow64Folder().c_str(), nullptr)) madeWow64Folder_ = Wow64Folder();
    const std::wstring library = BinFolder() + L"wdl_testdll.dll";
    for (const std::wstring& folder : {SystemFolder(), Wow64Folder()}) {
      probes_.push_back(folder + L"\\" + kProbe);
      if (!::CopyFileW(library.c_str(), probes_.back().c_str(), FALSE)) return false;
    }
    return true;
  }

  std::shared_ptr<wine_test::RecordingLogger> logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};

 private:
  std::vector<std::unique_ptr<ScratchKey>> keys_;
  std::vector<std::wstring> probes_;
  std::wstring madeWow64Folder_;
};

}  // namespace

TEST_F(InspectionEnumWineTest, StartupsInRunKeysAreFoundWithRealPaths) {
  const std::wstring child = BinFolder() + L"wdl_testchild.exe";
  ASSERT_TRUE(Key(HKEY_CURRENT_USER, kRunKey, k64).Set(kStartupValue, L"\"" + child + L"\" /background"));
  // The local machine's key only when this account may write it.
  const bool machineWritable = Key(HKEY_LOCAL_MACHINE, kRunKey, k64).Set(kStartupValue, L"notepad.exe -x");

  auto list = CStartupManager().EnumStartups();
  ASSERT_NE(list, nullptr) << logger->lines;
  const auto ours = Where(*list, [](const CItem& item) { return Text(item, L"ValueName") == kStartupValue; });
  ASSERT_EQ(ours.size(), machineWritable ? 2u : 1u);
  const CItem& user = *ours.back();
  EXPECT_TRUE(SamePath(Text(user, L"DLL"), child)) << Text(user, L"DLL");
  EXPECT_EQ(Hive(user), kCurrentUser);
  EXPECT_EQ(Text(user, L"Hive"), kRunKey);
  if (machineWritable) {
    const CItem& machine = *ours.front();
    EXPECT_TRUE(SamePath(Text(machine, L"DLL"), SystemFolder() + L"\\notepad.exe")) << Text(machine, L"DLL");
    EXPECT_EQ(Hive(machine), kLocalMachine);
  }
}

TEST_F(InspectionEnumWineTest, ServiceWithSystemRootImagePathIsResolvedToTheRealFile) {
  const std::wstring image = L"\\SystemRoot\\System32\\notepad.exe";
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, kServiceKey, k64).Set(L"DisplayName", L"Wardline inspection test"));
  ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServiceKey.c_str(), L"ImagePath", REG_EXPAND_SZ, image.c_str(),
                              static_cast<DWORD>((image.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);

  auto list = CServiceManager().EnumServices();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(logger->lines.empty()) << logger->lines;
  const auto ours =
      Where(*list, [](const CItem& item) { return Text(item, L"DisplayName") == L"Wardline inspection test"; });
  ASSERT_EQ(ours.size(), 1u);
  EXPECT_TRUE(SamePath(ours[0]->Name, SystemFolder() + L"\\notepad.exe")) << ours[0]->Name;
  EXPECT_NE(::GetFileAttributesW(ours[0]->Name.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A helper object without a title of its own has the product name of its library. One registered for
// 32-bit programs only, its class too, gets the server of that view.
TEST_F(InspectionEnumWineTest, BhosAreFoundWithTheServerOfTheirViewAndItsProductName) {
  ASSERT_TRUE(ProbeFiles());
  const std::wstring dll = BinFolder() + L"wdl_testdll.dll";
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, kBhos + kBho, k64).Set(L"", L""));
  ASSERT_TRUE(Key(HKEY_CLASSES_ROOT, L"CLSID\\" + kBho + L"\\InprocServer32", k64).Set(L"", dll));
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, kBhos + kBho32, k32).Created());
  ASSERT_TRUE(Class(kBho32, k32, L"", L"%SystemRoot%\\System32\\" + kProbe));
  HKEY key = nullptr;
  const LONG opened = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kBho32).c_str(), 0, KEY_READ | k64, &key);
  if (key != nullptr) ::RegCloseKey(key);
  ASSERT_EQ(opened, ERROR_FILE_NOT_FOUND);  // unknown to the 64-bit view

  auto list = CIEManager().EnumBHOs();
  ASSERT_NE(list, nullptr) << logger->lines;
  for (const auto& [id, server] : {std::pair{kBho, dll}, std::pair{kBho32, Wow64Folder() + L"\\" + kProbe}}) {
    const auto bhos = Where(*list, Named(id));
    ASSERT_EQ(bhos.size(), 1u) << id;
    EXPECT_TRUE(SamePath(Text(*bhos[0], L"DLL"), server)) << Text(*bhos[0], L"DLL");
    EXPECT_EQ(Text(*bhos[0], L"Name"), L"Wardline Test DLL");
  }
}

TEST_F(InspectionEnumWineTest, ProcessesIncludeTheChildWithItsLibraryAndOurOwnProcess) {
  const std::wstring child = BinFolder() + L"wdl_testchild.exe";
  std::shared_ptr<CItemList> list;
  const wine_test::ChildRun run =
      wine_test::RunChild(child, L"WdlInspectionChild" + std::to_wstring(::GetCurrentProcessId()), L"30000",
                          [&] { list = CProcessManager().EnumProcesses(); });

  ASSERT_TRUE(run.started) << run.startError;
  ASSERT_EQ(run.readyWait, WAIT_OBJECT_0) << "the child did not load its library";
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_NE(list, nullptr) << logger->lines;
  const auto children = Where(*list, Named(child)), own = Where(*list, Named(ThisProgram()));
  ASSERT_FALSE(own.empty());
  EXPECT_GT(own[0]->Children().Count(), 0u);
  ASSERT_FALSE(children.empty());
  const CItemList& modules = children[0]->Children();
  EXPECT_FALSE(Where(modules, Named(L"\\wdl_testdll.dll", false)).empty());
  EXPECT_TRUE(Where(modules, Named(child)).empty());  // the image is not repeated among its modules
}

// A Run value of 32-bit programs follows the same key's values of the 64-bit view, names its key as the
// 64-bit view does, and its file is the one a 32-bit program starts (in SysWOW64, where the 64-bit
// value's same text names the file of the system folder). The policies Run key is one key that both
// views share: its value is listed once, as the 64-bit view's.
TEST_F(InspectionEnumWineTest, StartupOf32BitProgramsFollowsTheSameKeyWithItsOwnFile) {
  ASSERT_TRUE(ProbeFiles());
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, kRunKey, k64).Set(kStartupValue, kProbe + L" /a"));
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, kRunKey, k32).Set(kStartupValue, kProbe + L" /a"));
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, kPoliciesRunKey, k64).Set(kStartupValue, kProbe + L" /p"));
  // The premise: the 32-bit view reads the policies value written in the 64-bit view.
  HKEY policies = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPoliciesRunKey.c_str(), 0, KEY_QUERY_VALUE | k32, &policies),
            ERROR_SUCCESS);
  const LONG shared = ::RegQueryValueExW(policies, kStartupValue.c_str(), nullptr, nullptr, nullptr, nullptr);
  ::RegCloseKey(policies);
  ASSERT_EQ(shared, ERROR_SUCCESS);

  auto list = CStartupManager().EnumStartups();
  ASSERT_NE(list, nullptr) << logger->lines;
  std::vector<std::size_t> ours;
  for (std::size_t i = 1; i <= list->Count(); ++i) {
    if (Text(list->Item(i), L"ValueName") == kStartupValue) ours.push_back(i);
  }
  ASSERT_EQ(ours.size(), 3u);
  const CItem &native = list->Item(ours[0]), &wow = list->Item(ours[1]), &policy = list->Item(ours[2]);
  EXPECT_EQ(Text(native, L"Hive"), kRunKey);
  EXPECT_EQ(Text(wow, L"Hive"), kWowRunKey);
  EXPECT_EQ(Text(policy, L"Hive"), kPoliciesRunKey);
  EXPECT_TRUE(SamePath(Text(policy, L"DLL"), SystemFolder() + L"\\" + kProbe)) << Text(policy, L"DLL");
  EXPECT_TRUE(SamePath(Text(native, L"DLL"), SystemFolder() + L"\\" + kProbe)) << Text(native, L"DLL");
  EXPECT_TRUE(SamePath(Text(wow, L"DLL"), Wow64Folder() + L"\\" + kProbe)) << Text(wow, L"DLL");
  EXPECT_EQ(std::make_pair(Hive(native), Hive(wow)), std::make_pair(kLocalMachine, kLocalMachine));
  // Only values of the same key of the 64-bit view come between the two.
  for (std::size_t i = ours[0] + 1; i < ours[1]; ++i) EXPECT_EQ(Text(list->Item(i), L"Hive"), kRunKey);
}

// Toolbars of both hives and both views, and explorer bars of both categories and both views. The
// browser's own toolbars (served from shell32.dll) and the system's own bars are left out, whatever the
// letter case of their class ids (the category manager gives them in upper case).
TEST_F(InspectionEnumWineTest, ToolbarsAndExplorerBarsAreListedFromBothHivesCategoriesAndViews) {
  const std::wstring dll = BinFolder() + L"wdl_testdll.dll";
  ASSERT_TRUE(Class(kToolbar, k64, L"Wdl &Toolbar", dll));
  ASSERT_TRUE(Class(kShellToolbar, k64, L"Wdl shell toolbar", SystemFolder() + L"\\SHELL32.dll"));
  ASSERT_TRUE(Class(kToolbar32, k32, L"Wdl 32-bit toolbar", dll));
  ScratchKey& machineToolbars = Key(HKEY_LOCAL_MACHINE, CIEManager::kToolbarKeyLM, k64);
  ASSERT_TRUE(machineToolbars.Set(kToolbar, L"") && machineToolbars.Set(kShellToolbar, L""));
  ASSERT_TRUE(Key(HKEY_CURRENT_USER, CIEManager::kToolbarKeyCU, k64).Set(kToolbar, L""));
  ASSERT_TRUE(Key(HKEY_LOCAL_MACHINE, CIEManager::kToolbarKeyLM, k32).Set(kToolbar32, L""));

  ASSERT_TRUE(Class(kBar, k64, L"Wdl &Bar", dll));
  ASSERT_TRUE(InCategory(kBar, k64, kVertical) && InCategory(kBar, k64, kHorizontal));
  ASSERT_TRUE(Class(kBar32, k32, L"Wdl 32-bit bar", dll));
  ASSERT_TRUE(InCategory(kBar32, k32, kVertical));
  const std::array<std::tuple<std::wstring, REGSAM, std::wstring>, 4> own = {{
      {L"{32683183-48a0-441b-a342-7c2a440a9478}", k64, kVertical},
      {L"{EFA24E61-B078-11d0-89E4-00C04FC9E26E}", k64, kHorizontal},
      {L"{bdeade7f-c265-11d0-bced-00a0c90ab50f}", k64, kVertical},
      {L"{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}", k32, kVertical},
  }};
  for (const auto& [id, view, category] : own) ASSERT_TRUE(InCategory(id, view, category)) << id;
  const auto isOwn = [&own](const std::wstring& name) {
    return std::any_of(own.begin(), own.end(), [&](const auto& bar) { return SamePath(std::get<0>(bar), name); });
  };
  // The registry lists them, so that leaving them out below is the enumerator's doing.
  const auto vertical = CRegistry().EnumCategoryClasses(kVertical);
  ASSERT_TRUE(std::any_of(vertical.begin(), vertical.end(), isOwn));

  CIEManager manager;
  auto toolbars = manager.EnumToolbars();
  auto bars = manager.EnumExplorerBars();
  ASSERT_TRUE(toolbars && bars) << logger->lines;
  EXPECT_TRUE(logger->lines.empty()) << logger->lines;

  using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
  EXPECT_EQ(Ours(*toolbars, {kToolbar, kShellToolbar, kToolbar32}, L"Name"),
            (Pairs{{kToolbar, L"Wdl Toolbar"}, {kToolbar32, L"Wdl 32-bit toolbar"}, {kToolbar, L"Wdl Toolbar"}}));
  std::vector<std::int32_t> hives;
  for (const CItem* item : Where(*toolbars, Named(kToolbar))) hives.push_back(Hive(*item));
  EXPECT_EQ(hives, (std::vector<std::int32_t>{kLocalMachine, kCurrentUser}));
  EXPECT_EQ(Ours(*bars, {kBar, kBar32}, L"CATID"),
            (Pairs{{kBar, kVertical}, {kBar32, kVertical}, {kBar, kHorizontal}}));
  EXPECT_EQ(Ours(*bars, {kBar, kBar32}, L"Name"),
            (Pairs{{kBar, L"Wdl Bar"}, {kBar32, L"Wdl 32-bit bar"}, {kBar, L"Wdl Bar"}}));
  for (const auto* list : {toolbars.get(), bars.get()}) {
    for (const auto& item : *list) EXPECT_FALSE(isOwn(item->Name)) << item->Name;
    for (const auto& [id, server] : Ours(*list, {kToolbar, kToolbar32, kBar, kBar32}, L"DLL")) {
      EXPECT_TRUE(SamePath(server, dll)) << id << ": " << server;
    }
  }
}

// The enumerators of processes, startups, services and browser helper objects on the real Win32 API.
// Each test writes what it looks for into the prefix's registry (deleting it first) or starts the
// helper child, and removes it all again.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Items.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FilenameResolver.h"
#include "inspection/IEManager.h"
#include "inspection/ProcessManager.h"
#include "inspection/ServiceManager.h"
#include "inspection/StartupManager.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"

namespace {

class RecordingLogger : public CLogger {
 public:
  void Log(long number, const std::wstring& message, int, const std::wstring& source) override {
    lines += source + L": " + std::to_wstring(number) + L" " + message + L"\n";
  }
  std::wstring lines;
};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
std::wstring ThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length);
}
std::wstring BinFolder() { return ThisProgram().substr(0, ThisProgram().rfind(L'\\') + 1); }
std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH] = {};
  return std::wstring(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH));
}

bool SetText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
             DWORD type = REG_SZ) {
  return ::RegSetKeyValueW(root, key.c_str(), name.empty() ? nullptr : name.c_str(), type, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
// Runs `undo` at once and again when the test ends, so that what a test writes is deleted first and after.
class Cleanup {
 public:
  explicit Cleanup(std::function<void()> undo) : undo_(std::move(undo)) { undo_(); }
  ~Cleanup() { undo_(); }

 private:
  std::function<void()> undo_;
};

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

// Sets up the program-wide objects the enumerators use and puts the previous ones back.
class InspectionEnumWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MWDL::goLogger = logger;
    MWDL::goRegistry = std::make_shared<CRegistry>();
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
    MAPI::gbIsNT = true;
  }
  void TearDown() override {
    std::tie(MWDL::goLogger, MWDL::goRegistry, MWDL::goFilenameResolver, MAPI::gbIsNT) = saved_;
  }

  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();

 private:
  std::tuple<std::shared_ptr<CLogger>, std::shared_ptr<CRegistry>, std::shared_ptr<CFilenameResolver>, bool> saved_{
      MWDL::goLogger, MWDL::goRegistry, MWDL::goFilenameResolver, MAPI::gbIsNT};
};

const std::wstring kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kStartupValue = L"WdlInspectionTest";
const std::wstring kServiceKey = L"SYSTEM\\CurrentControlSet\\Services\\WdlInspectionTestSvc";
const std::wstring kBhoClsid = L"{6A1F3C52-90D4-4E1B-A7C3-5D2E8F01B9A4}";
const std::wstring kBhoKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + kBhoClsid;

}  // namespace

TEST_F(InspectionEnumWineTest, StartupsInRunKeysAreFoundWithRealPaths) {
  const std::wstring child = BinFolder() + L"wdl_testchild.exe";
  Cleanup cleanup([] {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey.c_str(), kStartupValue.c_str());
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey.c_str(), kStartupValue.c_str());
  });
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRunKey, kStartupValue, L"\"" + child + L"\" /background"));
  // The local machine's key only when this account may write it.
  const bool machineWritable = SetText(HKEY_LOCAL_MACHINE, kRunKey, kStartupValue, L"notepad.exe -x");

  auto list = CStartupManager().EnumStartups();
  ASSERT_NE(list, nullptr) << logger->lines;
  const auto ours = Where(*list, [](const CItem& item) { return Text(item, L"ValueName") == kStartupValue; });
  ASSERT_EQ(ours.size(), machineWritable ? 2u : 1u);
  const CItem& user = *ours.back();
  EXPECT_TRUE(SamePath(Text(user, L"DLL"), child)) << Text(user, L"DLL");
  EXPECT_EQ(std::get<std::int32_t>(Value(user, L"Key")), -2147483647);
  EXPECT_EQ(Text(user, L"Hive"), kRunKey);
  if (machineWritable) {
    const CItem& machine = *ours.front();
    EXPECT_TRUE(SamePath(Text(machine, L"DLL"), SystemFolder() + L"\\notepad.exe")) << Text(machine, L"DLL");
    EXPECT_EQ(std::get<std::int32_t>(Value(machine, L"Key")), -2147483646);
  }
}

TEST_F(InspectionEnumWineTest, ServiceWithSystemRootImagePathIsResolvedToTheRealFile) {
  Cleanup cleanup([] { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServiceKey.c_str()); });
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kServiceKey, L"ImagePath", L"\\SystemRoot\\System32\\notepad.exe",
                      REG_EXPAND_SZ));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kServiceKey, L"DisplayName", L"Wardline inspection test"));

  auto list = CServiceManager().EnumServices();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(logger->lines.empty()) << logger->lines;
  const auto ours =
      Where(*list, [](const CItem& item) { return Text(item, L"DisplayName") == L"Wardline inspection test"; });
  ASSERT_EQ(ours.size(), 1u);
  const CItem* found = ours[0];
  EXPECT_TRUE(SamePath(found->Name, SystemFolder() + L"\\notepad.exe")) << found->Name;
  EXPECT_NE(::GetFileAttributesW(found->Name.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InspectionEnumWineTest, BhoIsFoundWithItsServerAndProductName) {
  const std::wstring dll = BinFolder() + L"wdl_testdll.dll";
  const std::wstring classKey = L"CLSID\\" + kBhoClsid;
  Cleanup cleanup([&] {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kBhoKey.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
  });
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kBhoKey, L"", L""));
  ASSERT_TRUE(SetText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"", dll));
  auto list = CIEManager().EnumBHOs();
  ASSERT_NE(list, nullptr) << logger->lines;
  const auto bhos = Where(*list, Named(kBhoClsid));
  ASSERT_EQ(bhos.size(), 1u);
  const CItem* bho = bhos[0];
  EXPECT_TRUE(SamePath(Text(*bho, L"DLL"), dll)) << Text(*bho, L"DLL");
  // No title of its own: the library's product name stands in.
  EXPECT_EQ(Text(*bho, L"Name"), L"Wardline Test DLL");
}

TEST_F(InspectionEnumWineTest, ProcessesIncludeTheChildWithItsLibraryAndOurOwnProcess) {
  const std::wstring child = BinFolder() + L"wdl_testchild.exe";
  const std::wstring eventName = L"WdlInspectionChild" + std::to_wstring(::GetCurrentProcessId());
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L".ready").c_str());
  HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L".quit").c_str());
  ASSERT_TRUE(ready != nullptr && quit != nullptr);
  std::wstring commandLine = L"\"" + child + L"\" " + eventName + L" 30000";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(child.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info))
      << ::GetLastError();
  const DWORD readyWait = ::WaitForSingleObject(ready, 20000);
  std::shared_ptr<CItemList> list;
  if (readyWait == WAIT_OBJECT_0) list = CProcessManager().EnumProcesses();
  ::SetEvent(quit);
  ::WaitForSingleObject(info.hProcess, 20000);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(info.hProcess, &exitCode);
  for (HANDLE handle : {info.hThread, info.hProcess, ready, quit}) ::CloseHandle(handle);

  ASSERT_EQ(readyWait, WAIT_OBJECT_0) << "the child did not load its library";
  EXPECT_EQ(exitCode, 0u);
  ASSERT_NE(list, nullptr) << logger->lines;
  const auto children = Where(*list, Named(child)), own = Where(*list, Named(ThisProgram()));
  ASSERT_FALSE(own.empty());
  EXPECT_GT(own[0]->Children().Count(), 0u);
  ASSERT_FALSE(children.empty());
  const CItemList& modules = children[0]->Children();
  EXPECT_FALSE(Where(modules, Named(L"\\wdl_testdll.dll", false)).empty());
  EXPECT_TRUE(Where(modules, Named(child)).empty());  // the image is not repeated among its modules
}

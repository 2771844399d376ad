// The enumerators of processes, startups, services and browser helper objects on the real Win32 API.
// Each test writes what it looks for into the prefix's registry (deleting it first) or starts the
// helper child, and removes it all again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
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
  void Log(long number, const std::wstring& message, int level, const std::wstring& source) override {
    lines.push_back(source + L": " + std::to_wstring(number) + L" " + message);
  }
  std::vector<std::wstring> lines;
};

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
  return text;
}
bool SamePath(const std::wstring& a, const std::wstring& b) { return Lower(a) == Lower(b); }
bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == Lower(tail);
}

std::wstring ThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length);
}
std::wstring BinFolder() {
  std::wstring path = ThisProgram();
  return path.substr(0, path.rfind(L'\\') + 1);
}
std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH] = {};
  UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

bool SetText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
             DWORD type = REG_SZ) {
  HKEY handle = nullptr;
  if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result = ::RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}
void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
  ::RegDeleteValueW(handle, name.c_str());
  ::RegCloseKey(handle);
}
void DeleteTree(HKEY root, const std::wstring& key) { ::RegDeleteTreeW(root, key.c_str()); }

const CItem* FindByName(const CItemList& list, const std::wstring& name) {
  for (const auto& item : list) {
    if (SamePath(item->Name, name)) return item.get();
  }
  return nullptr;
}
std::wstring Text(const CItem& item, const std::wstring& property) {
  return std::get<std::wstring>(item.Properties().Item(property).Values().Item(1));
}

// Sets up the program-wide objects the enumerators use and puts the previous ones back.
class InspectionEnumWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLogger_ = MWDL::goLogger;
    savedRegistry_ = MWDL::goRegistry;
    savedResolver_ = MWDL::goFilenameResolver;
    savedIsNT_ = MAPI::gbIsNT;
    MWDL::goLogger = logger;
    MWDL::goRegistry = std::make_shared<CRegistry>();
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
    MAPI::gbIsNT = true;
  }
  void TearDown() override {
    MWDL::goLogger = savedLogger_;
    MWDL::goRegistry = savedRegistry_;
    MWDL::goFilenameResolver = savedResolver_;
    MAPI::gbIsNT = savedIsNT_;
  }
  std::wstring LogText() const {
    std::wstring all;
    for (const auto& line : logger->lines) all += line + L"\n";
    return all;
  }

  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();

 private:
  std::shared_ptr<CLogger> savedLogger_;
  std::shared_ptr<CRegistry> savedRegistry_;
  std::shared_ptr<CFilenameResolver> savedResolver_;
  bool savedIsNT_ = false;
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
  DeleteValue(HKEY_CURRENT_USER, kRunKey, kStartupValue);
  DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kStartupValue);
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRunKey, kStartupValue, L"\"" + child + L"\" /background"));
  // The local machine's key only when this account may write it.
  const bool machineWritable = SetText(HKEY_LOCAL_MACHINE, kRunKey, kStartupValue, L"notepad.exe -x");

  auto list = CStartupManager().EnumStartups();
  DeleteValue(HKEY_CURRENT_USER, kRunKey, kStartupValue);
  DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kStartupValue);

  ASSERT_NE(list, nullptr) << LogText();
  std::vector<const CItem*> ours;
  for (const auto& item : *list) {
    if (Text(*item, L"ValueName") == kStartupValue) ours.push_back(item.get());
  }
  ASSERT_EQ(ours.size(), machineWritable ? 2u : 1u);
  const CItem& user = *ours.back();
  EXPECT_TRUE(SamePath(Text(user, L"DLL"), child)) << Text(user, L"DLL");
  EXPECT_EQ(std::get<std::int32_t>(user.Properties().Item(L"Key").Values().Item(1)), -2147483647);
  EXPECT_EQ(Text(user, L"Hive"), kRunKey);
  if (machineWritable) {
    const CItem& machine = *ours.front();
    EXPECT_TRUE(SamePath(Text(machine, L"DLL"), SystemFolder() + L"\\notepad.exe")) << Text(machine, L"DLL");
    EXPECT_EQ(std::get<std::int32_t>(machine.Properties().Item(L"Key").Values().Item(1)), -2147483646);
  }
}

TEST_F(InspectionEnumWineTest, ServiceWithSystemRootImagePathIsResolvedToTheRealFile) {
  DeleteTree(HKEY_LOCAL_MACHINE, kServiceKey);
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kServiceKey, L"ImagePath", L"\\SystemRoot\\System32\\notepad.exe",
                      REG_EXPAND_SZ));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kServiceKey, L"DisplayName", L"Wardline inspection test"));

  auto list = CServiceManager().EnumServices();
  DeleteTree(HKEY_LOCAL_MACHINE, kServiceKey);

  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(logger->lines.empty()) << LogText();
  const CItem* found = nullptr;
  for (const auto& item : *list) {
    if (Text(*item, L"DisplayName") == L"Wardline inspection test") found = item.get();
  }
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(SamePath(found->Name, SystemFolder() + L"\\notepad.exe")) << found->Name;
  EXPECT_NE(::GetFileAttributesW(found->Name.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InspectionEnumWineTest, BhoIsFoundWithItsServerAndProductName) {
  const std::wstring dll = BinFolder() + L"wdl_testdll.dll";
  const std::wstring classKey = L"CLSID\\" + kBhoClsid;
  DeleteTree(HKEY_LOCAL_MACHINE, kBhoKey);
  DeleteTree(HKEY_CLASSES_ROOT, classKey);
  const bool written = SetText(HKEY_LOCAL_MACHINE, kBhoKey, L"", L"") &&
                       SetText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"", dll);
  std::shared_ptr<CItemList> list;
  if (written) list = CIEManager().EnumBHOs();
  DeleteTree(HKEY_LOCAL_MACHINE, kBhoKey);
  DeleteTree(HKEY_CLASSES_ROOT, classKey);

  ASSERT_TRUE(written);
  ASSERT_NE(list, nullptr) << LogText();
  const CItem* bho = FindByName(*list, kBhoClsid);
  ASSERT_NE(bho, nullptr);
  EXPECT_TRUE(SamePath(Text(*bho, L"DLL"), dll)) << Text(*bho, L"DLL");
  // No title of its own: the library's product name stands in.
  EXPECT_EQ(Text(*bho, L"Name"), L"Wardline Test DLL");
}

TEST_F(InspectionEnumWineTest, ProcessesIncludeTheChildWithItsLibraryAndOurOwnProcess) {
  const std::wstring child = BinFolder() + L"wdl_testchild.exe";
  const std::wstring eventName = L"WdlInspectionChild" + std::to_wstring(::GetCurrentProcessId());
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L".ready").c_str());
  HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L".quit").c_str());
  ASSERT_NE(ready, nullptr);
  ASSERT_NE(quit, nullptr);

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
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  ::CloseHandle(ready);
  ::CloseHandle(quit);

  ASSERT_EQ(readyWait, WAIT_OBJECT_0) << "the child did not load its library";
  EXPECT_EQ(exitCode, 0u);
  ASSERT_NE(list, nullptr) << LogText();

  const CItem* childItem = FindByName(*list, child);
  ASSERT_NE(childItem, nullptr);
  bool libraryListed = false;
  bool imageRepeated = false;
  for (const auto& module : childItem->Children()) {
    if (EndsWith(module->Name, L"\\wdl_testdll.dll")) libraryListed = true;
    if (SamePath(module->Name, child)) imageRepeated = true;
  }
  EXPECT_TRUE(libraryListed);
  EXPECT_FALSE(imageRepeated);

  const CItem* own = FindByName(*list, ThisProgram());
  ASSERT_NE(own, nullptr);
  EXPECT_GT(own->Children().Count(), 0u);
}

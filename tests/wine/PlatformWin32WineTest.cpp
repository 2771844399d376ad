// The Win32 implementations of the platform layer against the real API: files, version resources,
// components, processes; and the logger writing real files beside the test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "platform/Platform.h"

namespace {

std::wstring Folder() { return platform::Files().ProgramFolder(); }

std::wstring Scratch(const wchar_t* name) {
  const std::wstring path = Folder() + L"\\" + name;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
  return path;
}

// A vector read into again keeps its memory when the next file fits, and holds just that file.
TEST(PlatformFilesWineTest, ReadAllReusesTheCallersMemory) {
  auto& files = platform::Files();
  const std::wstring large = Scratch(L"pf_large.bin"), small = Scratch(L"pf_small.bin");
  unsigned long error = 0xDEADBEEF;
  const std::vector<std::uint8_t> largeBytes(70000, 0xA5), smallBytes = {1, 2, 3};
  ASSERT_TRUE(files.WriteAll(large, largeBytes, error));
  ASSERT_TRUE(files.WriteAll(small, smallBytes, error));
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(files.ReadAll(large, bytes, 100000, error));
  EXPECT_EQ(bytes, largeBytes);
  const std::uint8_t* memory = bytes.data();
  ASSERT_TRUE(files.ReadAll(small, bytes, 100000, error));
  EXPECT_EQ(bytes, smallBytes);
  ASSERT_TRUE(files.ReadAll(large, bytes, 100000, error));
  EXPECT_EQ(bytes, largeBytes);
  EXPECT_EQ(bytes.data(), memory);
  EXPECT_FALSE(files.ReadAll(Folder() + L"\\pf_missing.bin", bytes, 100000, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(bytes.empty());
  ASSERT_TRUE(files.Delete(large, error) && files.Delete(small, error));
}

TEST(PlatformFilesWineTest, ReadWriteMoveAttributesAndErrors) {
  auto& files = platform::Files();
  const std::wstring a = Scratch(L"pf_a.bin");
  const std::wstring b = Scratch(L"pf_b.bin");
  unsigned long error = 0xDEADBEEF;
  ASSERT_TRUE(files.WriteAll(a, {1, 2, 3, 4, 5}, error));
  std::vector<std::uint8_t> bytes{9};
  ASSERT_TRUE(files.ReadAll(a, bytes, 100, error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  bytes = {9};
  EXPECT_FALSE(files.ReadAll(a, bytes, 4, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(bytes.empty());
  error = 0xDEADBEEF;
  EXPECT_FALSE(files.ReadAll(Folder() + L"\\pf_missing.bin", bytes, 100, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));

  std::uint64_t size = 77;  // poison
  EXPECT_TRUE(files.FindFirstSize(platform::System().ToAnsi(Folder() + L"\\pf_a.*"), size));
  EXPECT_EQ(size, 5u);

  ASSERT_TRUE(files.MoveW(a, b, error));
  EXPECT_FALSE(files.Exists(a));
  error = 0xDEADBEEF;
  EXPECT_FALSE(files.MoveW(a, b, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(files.MoveA(platform::System().ToAnsi(b), platform::System().ToAnsi(a), error));

  ASSERT_TRUE(files.SetAttributes(a, platform::kFileAttributeReadOnly, error));
  EXPECT_TRUE(files.GetAttributes(a) & platform::kFileAttributeReadOnly);
  error = 0xDEADBEEF;
  EXPECT_FALSE(files.Delete(a, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(files.SetAttributes(a, platform::kFileAttributeNormal, error));
  EXPECT_TRUE(files.Delete(a, error));
  EXPECT_EQ(files.GetAttributes(a), platform::kInvalidFileAttributes);
}

TEST(PlatformFilesWineTest, SearchPathFindsSystemFilesAndReportsSmallBuffers) {
  auto& files = platform::Files();
  std::wstring found = L"poison";
  const unsigned long length = files.SearchPathW(L"kernel32.dll", 260, found);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(found.size(), length);
  EXPECT_TRUE(files.Exists(found));
  const unsigned long needed = files.SearchPathW(L"kernel32.dll", 5, found);
  EXPECT_EQ(needed, length + 1);
  EXPECT_EQ(found, L"");
  std::string narrow = "poison";
  EXPECT_GT(files.SearchPathA("notepad.exe", 260, narrow), 0u);
  EXPECT_EQ(files.SearchPathW(L"no-such-file-wdl.exe", 260, found), 0u);
  std::wstring longPath;
  EXPECT_GT(files.GetLongPathNameW(found.empty() ? Folder() : found, 1024, longPath), 0u);
  const std::wstring temp = files.TempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_NE(files.ExpandEnvironmentStrings(L"%SystemRoot%"), L"%SystemRoot%");
  EXPECT_EQ(files.ExpandEnvironmentStrings(L"%WDL_NO_SUCH_VAR%"), L"%WDL_NO_SUCH_VAR%");
}

TEST(PlatformVersionInfoWineTest, Kernel32HasACompanyName) {
  std::wstring kernel;
  ASSERT_GT(platform::Files().SearchPathW(L"kernel32.dll", 1024, kernel), 0u);
  auto info = Utilities().GetFileVersionInfo(kernel);
  ASSERT_TRUE(info.Exists(L"CompanyName"));
  EXPECT_FALSE(info.Item(L"CompanyName").empty());
  EXPECT_EQ(Utilities().GetFileVersionInfo(Folder() + L"\\pf_missing.dll").Count(), 0u);
}

TEST(PlatformComponentsWineTest, MissingLibraryOrClassGivesNull) {
  EXPECT_EQ(platform::Components().Create(L"WdlNoSuchLibrary.CThing"), nullptr);
  EXPECT_EQ(platform::Components().Create(L"NoPoint"), nullptr);
  EXPECT_EQ(platform::Components().Create(L"qnCommon.CNoSuchClass"), nullptr);
  EXPECT_NE(platform::Components().Create(L"qnCommon.CKeyedCollection"), nullptr);
}

TEST(PlatformProcessesWineTest, EnumProcessesListsOurOwnProcessWithItsImage) {
  auto& procs = platform::Processes();
  std::vector<std::uint32_t> ids(4096, 0xFFFFFFFFu);
  std::uint32_t bytes = 0;
  ASSERT_TRUE(procs.EnumProcesses(ids.data(), static_cast<std::uint32_t>(ids.size() * 4), bytes));
  ids.resize(bytes / 4);
  const std::uint32_t self = procs.GetCurrentProcessId();
  EXPECT_EQ(self, ::GetCurrentProcessId());
  ASSERT_NE(std::find(ids.begin(), ids.end(), self), ids.end());

  platform::Handle process = procs.OpenProcess(platform::kProcessQueryInformation | platform::kProcessVmRead, false, self);
  ASSERT_NE(process, platform::kNoHandle);
  platform::Handle modules[1024];
  std::uint32_t needed = 0;
  ASSERT_TRUE(procs.EnumProcessModules(process, modules, 1024, needed));
  ASSERT_GE(needed, 2u);
  wchar_t name[260];
  std::fill(std::begin(name), std::end(name), L'#');
  ASSERT_GT(procs.GetModuleFileNameExW(process, modules[0], name, 260), 0u);
  EXPECT_NE(std::wstring(name).find(L"wdl_wine_tests.exe"), std::wstring::npos);
  EXPECT_TRUE(procs.CloseHandle(process));
  EXPECT_EQ(procs.OpenProcess(platform::kProcessQueryInformation, false, 0xFFFFFFF0u), platform::kNoHandle);
  EXPECT_EQ(procs.LastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
}

TEST(PlatformProcessesWineTest, ToolhelpSeesOurOwnProcess) {
  auto& procs = platform::Processes();
  platform::Handle snap = procs.CreateToolhelp32Snapshot(platform::kSnapProcess, 0);
  ASSERT_NE(snap, platform::kNoHandle);
  bool seen = false;
  platform::ProcessEntry entry;
  for (bool ok = procs.Process32First(snap, entry); ok; ok = procs.Process32Next(snap, entry)) {
    seen = seen || entry.processId == ::GetCurrentProcessId();
  }
  EXPECT_TRUE(seen);
  EXPECT_TRUE(procs.CloseHandle(snap));
}

TEST(CommonLoggerWineTest, WritesBothLogsBesideTheProgram) {
  const std::wstring log = Scratch(L"pf_test.log");
  const std::wstring shortLog = Scratch(L"pf_short.log");
  CLogger logger;
  logger.SetLogFiles(log, shortLog);
  logger.Log(0, L"Start", kLogInfo, L"FMain.Form_Initialize");
  logger.Log(0, L"Detail", kLogInfo, L"CX.Y");
  logger.Log(53, L"Fehler \u00E4", kLogError, L"CX.Z");
  const std::vector<std::uint8_t> bytes = FileUtilities().ReadFileBytes(log);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_NE(text.find("\t0\t53\tCX.Z\tFehler \xC3\xA4\r\n"), std::string::npos);
  const std::wstring shortText = FileUtilities().ReadTextFile(shortLog);
  EXPECT_NE(shortText.find(L"Start"), std::wstring::npos);
  EXPECT_EQ(shortText.find(L"Detail"), std::wstring::npos);
  Scratch(L"pf_test.log");
  Scratch(L"pf_short.log");
}

TEST(CommonFileUtilitiesWineTest, MissingAndLockedFilesHaveTheirNumbers) {
  const auto errorReading = [](const std::wstring& path) {
    try {
      FileUtilities().ReadFileBytes(path);
    } catch (const CError& e) {
      return e.Number();
    }
    return 0L;
  };
  EXPECT_EQ(errorReading(Folder() + L"\\pf_missing.bin"), err::kFileNotFound);
  const std::wstring locked = Scratch(L"pf_locked.bin");
  FileUtilities().WriteFileBytes(locked, {1});
  HANDLE h = ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(errorReading(locked), err::kPathFileAccess);
  ::CloseHandle(h);
  Scratch(L"pf_locked.bin");
}

}  // namespace

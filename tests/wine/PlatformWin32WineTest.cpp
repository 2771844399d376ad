// The Win32 implementations of the platform layer against the real API: files, version resources,
// components, processes; and the logger writing real files beside the test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "platform/Platform.h"

namespace {

std::wstring Folder() { return platform::Files().ProgramFolder(); }

std::wstring Scratch(const std::wstring& name) {
  const std::wstring path = Folder() + L"\\" + name;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
  return path;
}

// A vector read into again keeps its memory when the next file fits, and holds just that file. One too
// small for the next file is given memory with room to spare (up to the limit the caller gives), so that
// a larger file after it that fits that room is read into the same memory.
TEST(PlatformFilesWineTest, ReadAllReusesTheCallersMemoryAndGrowsItWithRoomToSpare) {
  auto& files = platform::Files();
  const std::size_t sizes[] = {70000, 3, 100000, 130000};
  std::vector<std::vector<std::uint8_t>> contents;
  std::vector<std::wstring> paths;
  unsigned long error = 0xDEADBEEF;
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    contents.emplace_back(sizes[i]);
    for (std::size_t b = 0; b < sizes[i]; ++b) contents[i][b] = static_cast<std::uint8_t>(b * 7 + i);
    paths.push_back(Scratch(L"pf_read" + std::to_wstring(i) + L".bin"));
    ASSERT_TRUE(files.WriteAll(paths[i], contents[i], error));
  }
  // Reads file `i` into `bytes` and gives the memory that holds it.
  const auto read = [&](std::vector<std::uint8_t>& bytes, std::size_t i, std::uint64_t limit) {
    EXPECT_TRUE(files.ReadAll(paths[i], bytes, limit, error)) << i;
    EXPECT_EQ(bytes, contents[i]) << i;
    return bytes.data();
  };
  std::vector<std::uint8_t> bytes;
  const std::uint8_t* memory = read(bytes, 0, 1000000);
  EXPECT_EQ(read(bytes, 1, 1000000), memory);
  EXPECT_EQ(read(bytes, 0, 1000000), memory);
  memory = read(bytes, 2, 1000000);
  EXPECT_GE(bytes.capacity(), 2 * sizes[0]);
  EXPECT_EQ(read(bytes, 3, 1000000), memory);
  std::vector<std::uint8_t> limited;
  read(limited, 0, 100000);
  read(limited, 2, 100000);
  EXPECT_LT(limited.capacity(), 2 * sizes[0]);
  error = 0xDEADBEEF;
  EXPECT_FALSE(files.ReadAll(Folder() + L"\\pf_missing.bin", bytes, 100000, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(bytes.empty());
  for (const std::wstring& path : paths) EXPECT_TRUE(files.Delete(path, error));
}

TEST(PlatformFilesWineTest, ReadWriteMoveAttributesAndErrors) {
  auto& files = platform::Files();
  const std::wstring a = Scratch(L"pf_a.bin"), b = Scratch(L"pf_b.bin");
  unsigned long error = 0xDEADBEEF;
  ASSERT_TRUE(files.WriteAll(a, {1, 2, 3, 4, 5}, error));
  std::vector<std::uint8_t> bytes{9};
  ASSERT_TRUE(files.ReadAll(a, bytes, 100, error));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  bytes = {9};
  EXPECT_FALSE(files.ReadAll(a, bytes, 4, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(bytes.empty());

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

// An SZDD-compressed copy of `bytes` (the format that LZOpenFile expands): the header, then groups of
// eight bytes each after a flag byte that marks them all as plain bytes.
std::vector<std::uint8_t> Szdd(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> out = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', 0};
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(bytes.size() >> shift));
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    out.push_back(0xFF);
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
               bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), i + 8)));
  }
  return out;
}

// The version strings come from the system's version reader, which is spared only files that cannot
// hold a version resource: whatever a file holds, ReadStrings finds version data exactly where the
// reader itself does, and the same strings.
TEST(PlatformVersionInfoWineTest, EveryFileHasTheVersionDataTheSystemsReaderFinds) {
  auto& files = platform::Files();
  unsigned long error = 0;
  std::vector<std::uint8_t> dll;
  ASSERT_TRUE(files.ReadAll(Folder() + L"\\wdl_testdll.dll", dll, 10000000, error)) << "the helper library";
  const std::vector<std::pair<std::wstring, std::wstring>> dllStrings = {
      {L"CompanyName", L"  Wardline Test Company  "},
      {L"FileDescription", L" Wardline test library "},
      {L"ProductName", L"Wardline Test DLL"}};
  auto text = [](const char* t) { return std::vector<std::uint8_t>(t, t + std::char_traits<char>::length(t)); };
  struct Case {
    const wchar_t* name;
    std::vector<std::uint8_t> bytes;
    bool hasVersion;
  };
  const Case cases[] = {
      {L"pv_copy.dll", dll, true},                         // a library under another name
      {L"pv_copy.txt", dll, true},                         // ... and another extension
      {L"pv_packed.dl_", Szdd(dll), false},                // compressed: left to the reader (Wine's finds none)
      {L"pv_text.dll", text("just some text"), false},     // no program
      {L"pv_empty.dll", {}, false},
      {L"pv_m.dll", text("M"), false},                     // too short to tell: the reader decides
      {L"pv_mz.dll", text("MZ but no program after"), false},
      {L"pv_zm.dll", text("ZM but no program after"), false},
      {L"pv_sz.dll", text("SZ but not compressed"), false},
      {L"pv_kw.dll", text("KWAJ but not compressed"), false},
  };
  for (const Case& c : cases) {
    const std::wstring path = Scratch(c.name);
    ASSERT_TRUE(files.WriteAll(path, c.bytes, error)) << c.name;
    DWORD ignored = 0;
    const bool systemFinds = ::GetFileVersionInfoSizeW(path.c_str(), &ignored) != 0;
    EXPECT_EQ(systemFinds, c.hasVersion) << c.name;
    std::vector<std::pair<std::wstring, std::wstring>> strings = {{L"poison", L"poison"}};
    EXPECT_EQ(platform::VersionInfo().ReadStrings(path, strings), systemFinds) << c.name;
    EXPECT_EQ(strings, systemFinds ? dllStrings : decltype(strings)()) << c.name;
    EXPECT_TRUE(files.Delete(path, error)) << c.name;
  }
  // A name without its folder is looked for along the library search path, which starts with this
  // program's folder; a folder is no file.
  std::vector<std::pair<std::wstring, std::wstring>> strings;
  EXPECT_TRUE(platform::VersionInfo().ReadStrings(L"wdl_testdll.dll", strings));
  EXPECT_EQ(strings, dllStrings);
  EXPECT_FALSE(platform::VersionInfo().ReadStrings(Folder(), strings));
  EXPECT_TRUE(strings.empty());
}

TEST(PlatformComponentsWineTest, MissingLibraryOrClassGivesNull) {
  EXPECT_EQ(platform::Components().Create(L"WdlNoSuchLibrary.CThing"), nullptr);
  EXPECT_EQ(platform::Components().Create(L"NoPoint"), nullptr);
  EXPECT_EQ(platform::Components().Create(L"qnCommon.CNoSuchClass"), nullptr);
  EXPECT_NE(platform::Components().Create(L"qnCommon.CKeyedCollection"), nullptr);
  EXPECT_EQ(platform::Components().Create(L"wdl_testdll.CThing"), nullptr);
}

// A library that reports why it made no object: its failure comes out on the caller's side.
TEST(PlatformComponentsWineTest, LibraryThatCouldNotMakeTheObjectRaisesItsFailure) {
  EXPECT_THROW(platform::Components().Create(L"wdl_testdll.CNoMemory"), std::bad_alloc);
  EXPECT_THROW(platform::Components().Create(L"wdl_testdll.CBroken"), std::runtime_error);
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

  platform::ProcessesHandle owned =
      procs.OpenProcess(platform::kProcessQueryInformation | platform::kProcessVmRead, false, self);
  const platform::Handle process = owned.Get();
  ASSERT_NE(process, platform::kNoHandle);
  platform::Handle modules[1024];
  std::uint32_t needed = 0;
  ASSERT_TRUE(procs.EnumProcessModules(process, modules, 1024, needed));
  ASSERT_GE(needed, 2u);
  wchar_t name[260];
  std::fill(std::begin(name), std::end(name), L'#');
  ASSERT_GT(procs.GetModuleFileNameExW(process, modules[0], name, 260), 0u);
  EXPECT_NE(std::wstring(name).find(L"wdl_wine_tests.exe"), std::wstring::npos);
  EXPECT_TRUE(owned.Close());
  // The handle is gone: the system no longer knows it.
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(reinterpret_cast<HANDLE>(process), &flags));
  EXPECT_FALSE(procs.OpenProcess(platform::kProcessQueryInformation, false, 0xFFFFFFF0u));
  EXPECT_EQ(procs.LastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
}

TEST(PlatformProcessesWineTest, ToolhelpSeesOurOwnProcess) {
  auto& procs = platform::Processes();
  platform::Handle snap = platform::kNoHandle;
  {
    const platform::ProcessesHandle owned = procs.CreateToolhelp32Snapshot(platform::kSnapProcess, 0);
    snap = owned.Get();
    ASSERT_NE(snap, platform::kNoHandle);
    bool seen = false;
    platform::ProcessEntry entry;
    for (bool ok = procs.Process32First(snap, entry); ok; ok = procs.Process32Next(snap, entry)) {
      seen = seen || entry.processId == ::GetCurrentProcessId();
    }
    EXPECT_TRUE(seen);
  }
  // The owner closed the snapshot.
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(reinterpret_cast<HANDLE>(snap), &flags));
}

TEST(CommonLoggerWineTest, WritesBothLogsBesideTheProgram) {
  const std::wstring log = Scratch(L"pf_test.log"), shortLog = Scratch(L"pf_short.log");
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

// File identity on the real Win32 API: checksums of files on disk, version strings of a real DLL, and
// the file-name resolver's search.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "inspection/Checksum31.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "platform/Platform.h"
#include "shell/MAPI.h"

namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::uint8_t> VariedBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return bytes;
}

// One CHashier reads every file into the same memory: each answer is its own file's, whether the file
// before it was larger, smaller or could not be read.
TEST(InspectionFilesWine, ChecksumsOfRealFilesReadOneAfterAnother) {
  struct Row {
    const wchar_t* name;
    std::vector<std::uint8_t> bytes;
    bool locked;  // held open without sharing while the checksum is asked for
  };
  const std::vector<Row> rows = {
      {L"wdl_hashier_1.bin", VariedBytes(300000, 12345), false},  // several blocks of the vector forms
      {L"wdl_hashier_2.bin", VariedBytes(1000, 7), false},
      {L"wdl_hashier_3.bin", VariedBytes(400000, 99), false},
      {L"wdl_hashier_4.bin", VariedBytes(5000, 3), true},
      {L"wdl_hashier_5.bin", std::vector<std::uint8_t>(100000, 0xFF), false},
      {L"wdl_hashier_6.bin", {}, false},
      {L"wdl_hashier_7.bin", VariedBytes(2000, 5), false},
  };
  CHashier hashier;
  for (const Row& row : rows) {
    const std::wstring path = platform::Files().TempFolder() + row.name;
    unsigned long error = 0;
    ASSERT_TRUE(platform::Files().WriteAll(path, row.bytes, error)) << error;
    HANDLE lock = row.locked ? ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
    ASSERT_EQ(lock != INVALID_HANDLE_VALUE, row.locked);
    std::int32_t size = -1;
    const std::int32_t hash = hashier.HashFromFullFileName(path, size);
    if (lock != INVALID_HANDLE_VALUE) ::CloseHandle(lock);
    ::DeleteFileW(path.c_str());
    const std::size_t expectedSize = row.locked ? 0 : row.bytes.size();
    EXPECT_EQ(size, static_cast<std::int32_t>(expectedSize)) << row.name;
    EXPECT_EQ(static_cast<std::uint32_t>(hash), inspection::Checksum31Plain(0, row.bytes.data(), expectedSize)) << row.name;
  }
}

TEST(InspectionFilesWine, VersionStringsOfATestLibraryAreTrimmed) {
  const std::wstring dll = platform::Files().ProgramFolder() + L"\\wdl_testdll.dll";
  ASSERT_TRUE(IsFile(dll)) << "the helper library is built beside the tests";

  CFileInfoManager manager;
  std::wstring company = L"#poison#", description = L"#poison#";
  manager.GetFileInfo(dll, company, &description);
  EXPECT_EQ(company, L"Wardline Test Company");
  EXPECT_EQ(description, L"Wardline test library");
  EXPECT_TRUE(manager.isFileExist(dll));
  EXPECT_FALSE(manager.isFileExist(dll + L".missing"));
}

// The ANSI search (Windows 95 family) finds the same file as the wide one.
TEST(InspectionFilesWine, ResolverFindsSystemFilesWithEitherFamilysSearch) {
  const struct Restore {  // the family flags as they were, when the test ends
    std::tuple<bool, bool> saved{MAPI::gbIsNT, MAPI::gbIsNT4};
    ~Restore() { std::tie(MAPI::gbIsNT, MAPI::gbIsNT4) = saved; }
  } restore;
  std::tie(MAPI::gbIsNT, MAPI::gbIsNT4) = std::tuple{true, false};
  CFilenameResolver resolver;

  const std::wstring notepad = resolver.GetFullFileNameFromShortFilename(L"notepad.exe");
  ASSERT_GT(notepad.size(), 12u);
  EXPECT_TRUE(SamePath(notepad.substr(notepad.size() - 12), L"\\notepad.exe")) << notepad;
  EXPECT_TRUE(IsFile(notepad)) << notepad;

  wchar_t system[MAX_PATH] = {};
  const std::wstring kernel = resolver.GetFullFileNameFromShortFilename(L"\\SystemRoot\\System32\\kernel32.dll");
  EXPECT_TRUE(SamePath(kernel, std::wstring(system, ::GetSystemDirectoryW(system, MAX_PATH)) + L"\\kernel32.dll"))
      << kernel;

  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"wdl_no_such_file_here.dll"), L"wdl_no_such_file_here.dll");
  MAPI::gbIsNT = false;
  EXPECT_TRUE(SamePath(CFilenameResolver().GetFullFileNameFromShortFilename(L"notepad.exe"), notepad));
}

}  // namespace

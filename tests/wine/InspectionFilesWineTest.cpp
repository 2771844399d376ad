// File identity on the real Win32 API: checksums of files on disk, version strings of a real DLL, and
// the file-name resolver's search.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "shell/MAPI.h"

namespace {

std::wstring FolderOfThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  std::wstring path(buffer.data(), ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
  return path.substr(0, path.rfind(L'\\') + 1);
}
bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Sets the Windows-family flags for one test and puts the old values back.
class FamilyFlags {
 public:
  explicit FamilyFlags(bool isNT) {
    MAPI::gbIsNT = isNT;
    MAPI::gbIsNT4 = false;
  }
  ~FamilyFlags() { std::tie(MAPI::gbIsNT, MAPI::gbIsNT4) = saved_; }

 private:
  std::tuple<bool, bool> saved_{MAPI::gbIsNT, MAPI::gbIsNT4};
};

TEST(InspectionFilesWine, ChecksumOfARealFileMatchesItsBytes) {
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"wdl_hashier_test.bin";
  std::vector<std::uint8_t> bytes(300000);
  std::uint32_t seed = 12345;
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);

  std::int32_t size = -1;
  const std::int32_t hash = CHashier().HashFromFullFileName(path, size);
  ::DeleteFileW(path.c_str());
  ASSERT_TRUE(wrote && written == bytes.size());
  EXPECT_EQ(size, 300000);
  EXPECT_EQ(hash, inspection::Checksum31(bytes.data(), bytes.size()));
  EXPECT_NE(hash, 0);
}

TEST(InspectionFilesWine, VersionStringsOfATestLibraryAreTrimmed) {
  const std::wstring dll = FolderOfThisProgram() + L"wdl_testdll.dll";
  ASSERT_TRUE(IsFile(dll)) << "the helper library is built beside the tests";

  CFileInfoManager manager;
  std::wstring company = L"#poison#", description = L"#poison#";
  manager.GetFileInfo(dll, company, &description);
  EXPECT_EQ(company, L"Wardline Test Company");
  EXPECT_EQ(description, L"Wardline test library");
  EXPECT_TRUE(manager.isFileExist(dll));
  EXPECT_FALSE(manager.isFileExist(dll + L".missing"));
}

TEST(InspectionFilesWine, ResolverFindsSystemFiles) {
  FamilyFlags nt{true};
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
}

TEST(InspectionFilesWine, AnsiSearchFindsTheSameFile) {
  FamilyFlags flags{true};
  const std::wstring wide = CFilenameResolver().GetFullFileNameFromShortFilename(L"notepad.exe");
  MAPI::gbIsNT = false;
  EXPECT_TRUE(SamePath(CFilenameResolver().GetFullFileNameFromShortFilename(L"notepad.exe"), wide));
}

}  // namespace

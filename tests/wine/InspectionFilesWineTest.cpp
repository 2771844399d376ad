// File identity on the real Win32 API: checksums of files on disk, version strings of a real DLL, and
// the file-name resolver's search.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "shell/MAPI.h"

namespace {

std::wstring FolderOfThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::wstring path(buffer.data(), length);
  return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A scratch file in the temp folder, deleted first and afterwards.
class ScratchFile {
 public:
  explicit ScratchFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    path_ = std::wstring(folder) + name;
    ::DeleteFileW(path_.c_str());
  }
  ~ScratchFile() { ::DeleteFileW(path_.c_str()); }
  const std::wstring& Path() const { return path_; }

  bool Write(const std::vector<std::uint8_t>& bytes) const {
    HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
  }

 private:
  std::wstring path_;
};

// Sets the Windows-family flags for one test and puts the old values back.
class FamilyFlags {
 public:
  FamilyFlags(bool isNT, bool isNT4) : oldNT_(MAPI::gbIsNT), oldNT4_(MAPI::gbIsNT4) {
    MAPI::gbIsNT = isNT;
    MAPI::gbIsNT4 = isNT4;
  }
  ~FamilyFlags() {
    MAPI::gbIsNT = oldNT_;
    MAPI::gbIsNT4 = oldNT4_;
  }

 private:
  bool oldNT_, oldNT4_;
};

TEST(InspectionFilesWine, ChecksumOfARealFileMatchesItsBytes) {
  ScratchFile scratch(L"wdl_hashier_test.bin");
  std::vector<std::uint8_t> bytes(300000);
  std::uint32_t seed = 12345;
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  ASSERT_TRUE(scratch.Write(bytes));

  CHashier hashier;
  std::int32_t size = -1;
  const std::int32_t hash = hashier.HashFromFullFileName(scratch.Path(), size);
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
  FamilyFlags nt{true, false};
  CFilenameResolver resolver;

  const std::wstring notepad = resolver.GetFullFileNameFromShortFilename(L"notepad.exe");
  ASSERT_GT(notepad.size(), 12u);
  EXPECT_TRUE(SamePath(notepad.substr(notepad.size() - 12), L"\\notepad.exe")) << notepad;
  EXPECT_TRUE(IsFile(notepad)) << notepad;

  const std::wstring kernel = resolver.GetFullFileNameFromShortFilename(L"\\SystemRoot\\System32\\kernel32.dll");
  EXPECT_TRUE(SamePath(kernel, SystemFolder() + L"\\kernel32.dll")) << kernel;

  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"wdl_no_such_file_here.dll"), L"wdl_no_such_file_here.dll");
}

TEST(InspectionFilesWine, AnsiSearchFindsTheSameFile) {
  std::wstring wide;
  {
    FamilyFlags nt{true, false};
    wide = CFilenameResolver().GetFullFileNameFromShortFilename(L"notepad.exe");
  }
  FamilyFlags nine{false, false};
  EXPECT_TRUE(SamePath(CFilenameResolver().GetFullFileNameFromShortFilename(L"notepad.exe"), wide));
}

}  // namespace

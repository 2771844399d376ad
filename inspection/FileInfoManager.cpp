#include "inspection/FileInfoManager.h"

#include <cstddef>

#include "common/Utilities.h"

namespace {

// Leading and trailing space characters only; tabs and other blanks stay.
std::wstring TrimSpaces(const std::wstring& text) {
  std::size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return std::wstring();
  std::size_t last = text.find_last_not_of(L' ');
  return text.substr(first, last - first + 1);
}

std::wstring TrimmedOrEmpty(const CKeyedCollection<std::wstring>& strings, const std::wstring& name) {
  return strings.Exists(name) ? TrimSpaces(strings.Item(name)) : std::wstring();
}

}  // namespace

CFileInfoManager::CFileInfoManager() = default;

void CFileInfoManager::ReInit() {
  moInfoCache = CKeyedCollection<CFileInfoRecord>();
  moExistCache = CKeyedCollection<bool>();
}

bool CFileInfoManager::isFileExist(const std::wstring& FileName) {
  if (const bool* known = moExistCache.Find(FileName)) return *known;
  bool exists = FileUtilities().FileExists(FileName);
  moExistCache.Add(exists, FileName);
  return exists;
}

void CFileInfoManager::GetFileInfo(const std::wstring& FileName, std::wstring& Manufacturer,
                                   std::wstring* FileDescription) {
  const CFileInfoRecord* cached = moInfoCache.Find(FileName);
  if (cached == nullptr) {
    CKeyedCollection<std::wstring> strings = Utilities().GetFileVersionInfo(FileName);
    CFileInfoRecord record;
    if (strings.Count() != 0) {
      record.D = TrimmedOrEmpty(strings, L"FileDescription");
      record.M = TrimmedOrEmpty(strings, L"CompanyName");
    }
    moInfoCache.Add(std::move(record), FileName);
    cached = &moInfoCache.Item(moInfoCache.Count());
  }
  Manufacturer = cached->M;
  if (FileDescription != nullptr) *FileDescription = cached->D;
}

#include "inspection/FileInfoManager.h"

#include <cstddef>

#include "common/Blanks.h"
#include "common/Utilities.h"

namespace {

std::wstring TrimmedOrEmpty(const CKeyedCollection<std::wstring>& strings, const std::wstring& name) {
  return strings.Exists(name) ? qn::TrimSpaces(strings.Item(name)) : std::wstring();
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

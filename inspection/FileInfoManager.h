#pragma once
#include <string>

#include "common/KeyedCollection.h"

// The file information cache: whether a file exists, and the "CompanyName" and "FileDescription" strings
// of its version data, each answered once per path string until ReInit.
//
// No errors are trapped: a CError of the file or version reader reaches the caller, and nothing is
// cached for that path.
class CFileInfoManager {
 public:
  CFileInfoManager();

  // Whether the file exists; the first answer for a path is kept until ReInit.
  bool isFileExist(const std::wstring& FileName);

  // `Manufacturer` receives the company name and, when given, `*FileDescription` the file description,
  // both with leading and trailing spaces removed (other blanks such as tabs stay); "" for a string the
  // version data lacks or a file without version data. Both strings are cached even when
  // `FileDescription` is not given. After an error both outputs are unchanged.
  void GetFileInfo(const std::wstring& FileName, std::wstring& Manufacturer,
                   std::wstring* FileDescription = nullptr);

  // Forgets every cached answer.
  void ReInit();

 private:
  struct CFileInfoRecord {
    std::wstring M;  // company name, trimmed
    std::wstring D;  // file description, trimmed
  };

  CKeyedCollection<CFileInfoRecord> moInfoCache;
  CKeyedCollection<bool> moExistCache;
};

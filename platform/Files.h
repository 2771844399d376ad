#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

#include "platform/WinNamesBegin.h"

namespace platform {

// Files and paths. Calls that can fail return false (or 0) and leave the Win32 error code in
// `lastError`, as GetLastError() gave it right after the failing call.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // True for an existing file or folder.
  virtual bool Exists(const std::wstring& path) = 0;
  // Reads a whole file. `bytes` is cleared on failure. A file over `maxBytes` is not read:
  // false with kErrorNotEnoughMemory.
  virtual bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                       unsigned long& lastError) = 0;
  // Creates or replaces a file with `bytes`.
  virtual bool WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                        unsigned long& lastError) = 0;
  // Appends `bytes` to a file, creating it when missing; the data is handed to the system before the
  // call returns (the logger relies on this). On failure the file is as it was, or holds part of `bytes`.
  virtual bool AppendAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                         unsigned long& lastError) = 0;
  virtual bool Copy(const std::wstring& from, const std::wstring& to, bool failIfExists,
                    unsigned long& lastError) = 0;
  // MoveFileW and MoveFileA.
  virtual bool MoveW(const std::wstring& from, const std::wstring& to, unsigned long& lastError) = 0;
  virtual bool MoveA(const std::string& from, const std::string& to, unsigned long& lastError) = 0;
  virtual bool Delete(const std::wstring& path, unsigned long& lastError) = 0;
  virtual bool SetAttributes(const std::wstring& path, std::uint32_t attributes, unsigned long& lastError) = 0;
  // kInvalidFileAttributes when the file does not exist.
  virtual std::uint32_t GetAttributes(const std::wstring& path) = 0;
  // FindFirstFileA on a narrow pattern, then FindClose: the size of the first match.
  // False when nothing matches (`size` unchanged).
  virtual bool FindFirstSize(const std::string& pattern, std::uint64_t& size) = 0;
  // The same with FindFirstFileW on a wide pattern, which reaches names outside the ANSI code page.
  virtual bool FindFirstSizeW(const std::wstring& pattern, std::uint64_t& size) = 0;

  // SearchPathW / SearchPathA with no search path and no extension, told `bufferChars` characters.
  // Returns what the call returns: the length of the path written, 0 when nothing was found, or the
  // size needed when the buffer is too small (then `found` is empty). `found` holds what was written.
  virtual unsigned long SearchPathW(const std::wstring& fileName, unsigned long bufferChars,
                                    std::wstring& found) = 0;
  virtual unsigned long SearchPathA(const std::string& fileName, unsigned long bufferChars,
                                    std::string& found) = 0;
  // GetLongPathNameW told `bufferChars` characters; the same return rule as SearchPathW.
  virtual unsigned long GetLongPathNameW(const std::wstring& path, unsigned long bufferChars,
                                         std::wstring& longPath) = 0;
  // Replaces each %NAME% by the variable's value; an unknown variable stays as written.
  virtual std::wstring ExpandEnvironmentStrings(const std::wstring& text) = 0;
  // The same call, under the name that <windows.h>'s macro gives it in Win32 code.
  std::wstring ExpandEnvironmentStringsW(const std::wstring& text) { return ExpandEnvironmentStrings(text); }

  // The folder of the running program, without a trailing separator.
  virtual std::wstring ProgramFolder() = 0;
  // The folder for temporary files, with a trailing backslash.
  virtual std::wstring TempFolder() = 0;
};

}  // namespace platform

#include "platform/WinNamesEnd.h"

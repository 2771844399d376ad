#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Export.h"

#include "platform/WinNamesBegin.h"

// Whole files, over platform::Files(). Failures are CErrors of the caller: 53 file not found,
// 75 path/file access error (any other failure), 7 out of memory for a file of kMaxReadBytes or more;
// the description names the file and the system's reason.
class QN_API CFileUtilities {
 public:
  // Files of 2 GiB or more are refused by ReadFileBytes and ReadTextFile.
  static constexpr std::uint64_t kMaxReadBytes = (std::uint64_t{1} << 31) - 1;

  // True for an existing file (not a folder); false for an empty path.
  bool FileExists(const std::wstring& path) const;
  std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) const;
  // The same into `bytes`, which keeps its memory for the next read: a caller that reads many files
  // into one vector has it allocated and mapped once. `bytes` is cleared on failure.
  void ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes) const;
  // Creates or replaces the file.
  void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) const;
  // The file's text: UTF-16LE with a byte-order mark, UTF-8 with one, otherwise the ANSI code page.
  // The byte-order mark is not part of the text; malformed UTF-8 becomes U+FFFD.
  std::wstring ReadTextFile(const std::wstring& path) const;
  // Copies, replacing an existing target.
  void CopyFile(const std::wstring& from, const std::wstring& to) const;
  // The same call under the name that <windows.h>'s CopyFile macro gives it in Win32 code.
  void CopyFileW(const std::wstring& from, const std::wstring& to) const { CopyFile(from, to); }
};

QN_API CFileUtilities& FileUtilities();

#include "platform/WinNamesEnd.h"

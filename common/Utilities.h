#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "common/KeyedCollection.h"
#include "platform/Export.h"

// An argument of FormatString: text, or a whole number (written as decimal digits).
using FormatArg = std::variant<std::wstring, long long>;

// The shared utility object. Utilities() gives the one instance, created on first use.
class QN_API CUtilities {
 public:
  // Puts the arguments in place of "%1", "%2", ... ; a placeholder without an argument stays as written.
  std::wstring FormatString(const std::wstring& templ, std::initializer_list<FormatArg> args) const;
  std::wstring FormatString(const std::wstring& templ, const std::vector<FormatArg>& args) const;

  // The same texts on every call on one PC.
  std::wstring GetComputerName() const;
  std::wstring GetCPUType() const;
  std::wstring GetOSVersion(long& major, long& minor, long& build, long& platformId, std::wstring& extra) const;

  // Bytes to a text form that contains no "&" or "%" (base64), and back. TextToBytes ignores white space
  // and throws CError(err::kInvalidArgument) with a clear description for a text that is not such a form.
  std::wstring BytesToText(const std::vector<std::uint8_t>& bytes) const;
  std::vector<std::uint8_t> TextToBytes(const std::wstring& text) const;

  // "ProductName", "CompanyName", "FileDescription" of the file's version resource; Count 0 when none.
  CKeyedCollection<std::wstring> GetFileVersionInfo(const std::wstring& file) const;
  // The system's text for a Win32 error code.
  std::wstring GetErrorText(long code) const;
  // A new identifier, unique, usable as a file name.
  std::wstring NewID() const;
  // The temporary folder, with a trailing backslash.
  std::wstring TempFolder() const;
  // A new file name in the temporary folder, beginning with `prefix`.
  std::wstring GetTempFileName(const std::wstring& prefix) const;
  std::wstring ExpandEnvironmentStrings(const std::wstring& text) const;
  // Replaces &, <, >, " and ' by XML entities.
  std::wstring EscapeXML(const std::wstring& text) const;
  // A printable form of arbitrary bytes (two hexadecimal digits each), for the log.
  std::wstring EncodeString(const std::vector<std::uint8_t>& bytes) const;
  bool IsArrayEmpty(const std::vector<std::uint8_t>& bytes) const { return bytes.empty(); }
  // Runs pending window messages once.
  void DoEventsEx() const;
};

QN_API CUtilities& Utilities();

// Whole files. Failures are CErrors of the caller (53 file not found, 75 path/file access error,
// 7 out of memory for a file too large to read).
class QN_API CFileUtilities {
 public:
  bool FileExists(const std::wstring& path) const;
  std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) const;
  void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) const;
  // The file's text: UTF-16LE with a byte-order mark, UTF-8 with one, otherwise the ANSI code page.
  std::wstring ReadTextFile(const std::wstring& path) const;
  void CopyFile(const std::wstring& from, const std::wstring& to) const;
};

QN_API CFileUtilities& FileUtilities();

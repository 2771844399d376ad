#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "common/FileUtilities.h"
#include "common/KeyedCollection.h"
#include "platform/Export.h"

#include "platform/WinNamesBegin.h"

// An argument of FormatString: text, or a whole number (written as decimal digits).
using FormatArg = std::variant<std::wstring, long long>;

// The shared utility object. Utilities() gives the one instance, created on first use.
class QN_API CUtilities {
 public:
  // Puts the arguments in place of "%1", "%2", ... ; a placeholder without an argument stays as written.
  // The longest run of digits after "%" that names an argument is taken: "%10" is argument 10 when
  // there are at least 10 arguments, otherwise argument 1 followed by "0". "%0" and a "%" without
  // digits stay. Inserted text is not searched again for placeholders.
  std::wstring FormatString(const std::wstring& templ, std::initializer_list<FormatArg> args) const;
  std::wstring FormatString(const std::wstring& templ, const std::vector<FormatArg>& args) const;

  // The same texts on every call on one PC.
  std::wstring GetComputerName() const;
  std::wstring GetCPUType() const;
  // The OS description; also sets major, minor, build and platform id (2 NT family, 1 9x family) from
  // GetVersion, and `extra` to "".
  std::wstring GetOSVersion(long& major, long& minor, long& build, long& platformId, std::wstring& extra) const;

  // Bytes to a text form that contains no "&" or "%" (base64, standard alphabet "A-Za-z0-9+/" with "="
  // padding, one line), and back. TextToBytes ignores blanks, tabs, CR and LF, so a re-wrapped text
  // decodes; padding may be left off. It throws CError(err::kInvalidArgument) with a clear
  // description for a text that is not such a form.
  std::wstring BytesToText(const std::vector<std::uint8_t>& bytes) const;
  std::vector<std::uint8_t> TextToBytes(const std::wstring& text) const;

  // "ProductName", "CompanyName", "FileDescription" of the file's version resource; Count 0 when none.
  CKeyedCollection<std::wstring> GetFileVersionInfo(const std::wstring& file) const;
  // The system's text for a Win32 error code.
  std::wstring GetErrorText(long code) const;
  // A new identifier, unique, usable as a file name: 32 upper-case hexadecimal digits in the groups of
  // a GUID (8-4-4-4-12), without braces, made from random bits and a process-wide counter.
  std::wstring NewID() const;
  // The temporary folder, with a trailing backslash.
  std::wstring TempFolder() const;
  // A new file name in the temporary folder: TempFolder() + prefix + NewID() + ".tmp". Not created.
  std::wstring GetTempFileName(const std::wstring& prefix) const;
  std::wstring ExpandEnvironmentStrings(const std::wstring& text) const;
  // Replaces &, <, >, " and ' by &amp; &lt; &gt; &quot; &apos;, and tab, CR and LF by &#9; &#13; &#10;
  // (so that they survive in attributes and the document stays one line). A character that XML 1.0
  // does not allow (another control character, a surrogate without its partner, U+FFFE, U+FFFF)
  // becomes U+FFFD.
  std::wstring EscapeXML(const std::wstring& text) const;
  // A printable form of arbitrary bytes (two upper-case hexadecimal digits each), for the log.
  std::wstring EncodeString(const std::vector<std::uint8_t>& bytes) const;
  bool IsArrayEmpty(const std::vector<std::uint8_t>& bytes) const { return bytes.empty(); }
  // Runs pending window messages once.
  void DoEventsEx() const;

  // The same calls under the names that <windows.h>'s macros give them in Win32 code.
  std::wstring GetComputerNameW() const { return GetComputerName(); }
  std::wstring GetTempFileNameW(const std::wstring& prefix) const { return GetTempFileName(prefix); }
  std::wstring ExpandEnvironmentStringsW(const std::wstring& text) const { return ExpandEnvironmentStrings(text); }
  CKeyedCollection<std::wstring> GetFileVersionInfoW(const std::wstring& file) const { return GetFileVersionInfo(file); }
};

QN_API CUtilities& Utilities();

#include "platform/WinNamesEnd.h"

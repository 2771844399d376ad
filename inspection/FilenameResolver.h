#pragma once
#include <string>

#include "common/KeyedCollection.h"
#include "platform/Registry.h"

// Turns what the registry and the process lists hold (command lines with arguments and switches, quoted
// paths, bare names, paths with environment variables or kernel-style prefixes) into the full path of the
// file that would run. Two steps, used in this order: GetFileNameFromCommandLine cuts the file name out of
// a command line (text only, no file access); GetFullFileNameFromShortFilename finds that name on disk
// and caches the answer.
//
// Neither step traps errors: a CError raised inside (by the expansion or by the cache) reaches the caller.
class CFilenameResolver {
 public:
  // The length the platform's search and long-name calls are told (the buffers behind them are larger).
  static constexpr unsigned long kBufferChars = 2000;

  CFilenameResolver();

  // Forgets every cached answer.
  void ReInit();
  // Turns the long-name conversion on for the NT family other than NT 4 (MAPI::gbIsNT and gbIsNT4).
  // Nothing in the program calls it, so by default found paths are returned as the search gives them.
  void Init();

  // The file name of command line `CL`: run-DLL forms give the DLL's name, switches after "/" are cut,
  // quoted paths are unquoted, arguments after the path are dropped, a bare "explorer" becomes
  // "explorer.exe". An empty or all-blank text, and a lone double quote, give "".
  std::wstring GetFileNameFromCommandLine(const std::wstring& CL) const;

  // The full path of `FileName` as the system's file search finds it ("\??\" dropped, a leading
  // "\SystemRoot\" read as %SystemRoot%, environment variables expanded). When nothing is found: the
  // name after the prefix rewriting, not expanded. Every answer, found or not, is cached under the name
  // exactly as passed (keys compare without regard to case) until ReInit. On an error nothing is cached.
  // A name read from the 32-bit registry view (`view` kWow32) is looked for, on 64-bit Windows, where a
  // 32-bit program finds it: a path in the system folder in the 32-bit system folder (SysWOW64) instead,
  // a bare name in that folder first and then along the search order. Each view has its own cache, so
  // the same name may give each view its own answer.
  std::wstring GetFullFileNameFromShortFilename(const std::wstring& FileName,
                                                platform::RegView view = platform::RegView::kNative);

 private:
  // The platform search (wide on the NT family, ANSI on 9x): the path found, or "" when nothing was
  // found or the path does not fit the buffer.
  std::wstring Search(const std::wstring& name) const;
  // The search as a 32-bit program makes it, `wow64Folder` being its system folder: for the expanded
  // name, then for the name as written. "" when nothing was found.
  std::wstring SearchAs32Bit(const std::wstring& expanded, const std::wstring& written,
                             const std::wstring& wow64Folder) const;

  CKeyedCollection<std::wstring> moCache;
  CKeyedCollection<std::wstring> moCache32;  // the answers for names of the 32-bit registry view
  bool mbUseLongNames = false;
};

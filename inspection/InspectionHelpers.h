#pragma once
// Small helpers shared by the enumerators of inspection/. Not part of any class's interface.
#include <cstdint>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FilenameResolver.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "platform/Types.h"
#include "shell/MWDL.h"

namespace inspection_detail {

// The program-wide resolver; an unset one is the toolkit's "object not set" error of the caller.
inline CFilenameResolver& Resolver() { return Required(MWDL::goFilenameResolver); }

// The program-wide registry object, likewise.
inline CRegistry& Registry() { return Required(MWDL::goRegistry); }

// A command line turned into the full path of its file: both resolver steps, the file looked for as a
// program of the registry view the command line was read from would find it.
inline std::wstring ResolveCommandLine(const std::wstring& commandLine,
                                       platform::RegView view = platform::RegView::kNative) {
  CFilenameResolver& resolver = Resolver();
  return resolver.GetFullFileNameFromShortFilename(resolver.GetFileNameFromCommandLine(commandLine), view);
}

// The registry views hive\keyPath is read in, in order. HKEY_LOCAL_MACHINE\Software and the classes
// are redirected on 64-bit Windows: read in the program's own view, then in the 32-bit programs' view,
// unless the 32-bit view's path leads to the very same key (Windows shares some keys between the
// views), which is read once. Other keys (the current user's Software) are the same in both views and
// are read once.
inline std::vector<platform::RegView> ViewsOf(platform::Hive hive, const std::wstring& keyPath) {
  const bool redirected = hive == platform::kHkeyLocalMachine || hive == platform::kHkeyClassesRoot;
  if (!redirected || !platform::System().Is64BitWindows() || Registry().SameKeyInBothViews(hive, keyPath)) {
    return {platform::RegView::kNative};
  }
  return {platform::RegView::kNative, platform::RegView::kWow32};
}

// A key path of HKEY_LOCAL_MACHINE\Software as the 64-bit view names it: a key of the 32-bit view has
// "Wow6432Node" after its first part ("SOFTWARE\Wow6432Node\Microsoft\..."). Paths of the native view
// are returned as they are.
inline std::wstring PathAsNamed(const std::wstring& keyPath, platform::RegView view) {
  if (view != platform::RegView::kWow32) return keyPath;
  const std::size_t separator = keyPath.find(L'\\');
  if (separator == std::wstring::npos) return keyPath + L"\\Wow6432Node";
  return keyPath.substr(0, separator + 1) + L"Wow6432Node" + keyPath.substr(separator);
}

// A hive as the 32-bit signed number that the items store (HKEY_LOCAL_MACHINE is -2147483646).
inline std::int32_t HiveNumber(platform::Hive hive) { return static_cast<std::int32_t>(hive); }

// Lower-cases the ASCII letters; enough for the fixed file names the enumerators look for.
inline std::wstring LowerAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

}  // namespace inspection_detail

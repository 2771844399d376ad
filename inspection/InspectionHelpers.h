#pragma once
// Small helpers shared by the enumerators of inspection/. Not part of any class's interface.
#include <cstdint>
#include <string>

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FilenameResolver.h"
#include "platform/Types.h"
#include "shell/MWDL.h"

namespace inspection_detail {

// The program-wide resolver; an unset one is the toolkit's "object not set" error of the caller.
inline CFilenameResolver& Resolver() {
  if (!MWDL::goFilenameResolver) {
    throw CError(err::kObjectNotSet, L"Object variable or With block variable not set");
  }
  return *MWDL::goFilenameResolver;
}

// The program-wide registry object, likewise.
inline CRegistry& Registry() {
  if (!MWDL::goRegistry) {
    throw CError(err::kObjectNotSet, L"Object variable or With block variable not set");
  }
  return *MWDL::goRegistry;
}

// A command line turned into the full path of its file: both resolver steps.
inline std::wstring ResolveCommandLine(const std::wstring& commandLine) {
  CFilenameResolver& resolver = Resolver();
  return resolver.GetFullFileNameFromShortFilename(resolver.GetFileNameFromCommandLine(commandLine));
}

// Logs through the program-wide logger when there is one. Used by the error handlers, which must not
// raise a second error of their own.
inline void Log(long number, const std::wstring& message, int level, const std::wstring& source) {
  if (MWDL::goLogger) MWDL::goLogger->Log(number, message, level, source);
}

inline void LogError(const CError& error, int level, const std::wstring& source) {
  Log(error.Number(), error.Description(), level, source);
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

#include "shell/MWDL.h"

#include <string>

#include "common/Error.h"
#include "common/Logger.h"
#include "shell/Product.h"

namespace MWDL {

std::wstring VersionText() {
  return std::to_wstring(product::kVersionMajor) + L"." + std::to_wstring(product::kVersionMinor) + L"." +
         std::to_wstring(product::kVersionRevision);
}

void Log(long number, const std::wstring& message, int level, const std::wstring& source) {
  if (goLogger) goLogger->Log(number, message, level, source);
}

void LogError(const CError& error, int level, const std::wstring& source) {
  Log(error.Number(), error.Description(), level, source);
}

}  // namespace MWDL

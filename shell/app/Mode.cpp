#include "shell/app/Mode.h"

#include "common/Blanks.h"

namespace {
constexpr wchar_t kUninstallSwitch[] = L"/uninstall";
}

bool IsUninstallMode(const std::wstring& commandArguments) {
  // Blanks only are trimmed; a tab or any further word keeps the normal mode.
  std::wstring word = qn::TrimSpaces(commandArguments);
  for (wchar_t& c : word) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return word == kUninstallSwitch;
}

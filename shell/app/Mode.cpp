#include "shell/app/Mode.h"

namespace {
constexpr wchar_t kUninstallSwitch[] = L"/uninstall";
}

bool IsUninstallMode(const std::wstring& commandArguments) {
  // Blanks only are trimmed; a tab or any further word keeps the normal mode.
  const std::wstring::size_type first = commandArguments.find_first_not_of(L' ');
  if (first == std::wstring::npos) return false;
  const std::wstring::size_type last = commandArguments.find_last_not_of(L' ');
  std::wstring word = commandArguments.substr(first, last - first + 1);
  for (wchar_t& c : word) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return word == kUninstallSwitch;
}

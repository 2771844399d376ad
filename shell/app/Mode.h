#pragma once
#include <string>

// True when the command-line text, trimmed of blanks and lower-cased, is exactly "/uninstall".
bool IsUninstallMode(const std::wstring& commandArguments);

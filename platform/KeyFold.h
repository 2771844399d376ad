#pragma once
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace platform {

// The letter-case rule for names that Windows compares without regard to case (registry keys and
// values, file names, class names), which the program's keyed collections follow too: the simple case
// mapping of the Latin, Greek and Cyrillic letters, the same on every build and in every locale.
// Returns the folded form of `key`; two names are the same name when their folded forms are equal.
QN_API std::wstring FoldKey(std::wstring_view key);
// The folded form of one character: FoldKey works character by character, so FoldKey(key)[i] is
// FoldKeyChar(key[i]).
QN_API wchar_t FoldKeyChar(wchar_t c) noexcept;

}  // namespace platform

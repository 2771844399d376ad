#pragma once
#include <string>
#include <string_view>

// What counts as blank where the program trims a text or asks whether it is blank: the space character,
// and nothing else. Tabs and line breaks are text here (a reason of line breaks is sent, a command line
// with a tab keeps the normal mode). The removal script's numbers follow a rule of their own that skips
// tabs and line feeds as well (RemovalScript's IsIgnoredBlank): the two look alike and stay apart.
namespace qn {

// `text` without the spaces at either end.
inline std::wstring TrimSpaces(std::wstring_view text) {
  const std::size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring_view::npos) return std::wstring();
  return std::wstring(text.substr(first, text.find_last_not_of(L' ') - first + 1));
}

// True when `text` holds spaces only, or nothing: it trims to nothing.
inline bool IsSpacesOnly(std::wstring_view text) { return text.find_first_not_of(L' ') == std::wstring_view::npos; }

}  // namespace qn

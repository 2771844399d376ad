#include "shell/Strings.h"

#include <cstddef>
#include <string_view>

#if defined(_WIN32)
#include "platform/Resources.h"
#endif

namespace {

struct StringEntry {
  int id;
  std::wstring_view text;
};

// The compiled-in copy of the table. The string_view keeps each text's full length, so trailing
// blanks survive.
constexpr StringEntry kStringTable[] = {
#define WDL_STRING(id, text) {id, std::wstring_view(text, sizeof(text) / sizeof(wchar_t) - 1)},
#include "shell/StringTable.inc"
#undef WDL_STRING
};

std::wstring CompiledInString(int id) {
  for (const StringEntry& entry : kStringTable) {
    if (entry.id == id) return std::wstring(entry.text);
  }
  return std::wstring();
}

}  // namespace

std::wstring LoadResString(int id) {
#if defined(_WIN32)
  // The executable's own STRINGTABLE, built from the same source; the compiled-in copy covers a
  // program that was linked without it.
  std::wstring text;
  if (platform::LoadStringResource(id, text)) return text;
#endif
  return CompiledInString(id);
}

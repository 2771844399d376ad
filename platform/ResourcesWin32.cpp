#include <windows.h>

#include "platform/Resources.h"

namespace platform {

bool LoadStringResource(int id, std::wstring& text) {
  if (id < 0 || id > 0xFFFF) return false;
  // A buffer length of 0 asks for a read-only pointer into the resource itself, with the length of
  // the text: the stored text is not NUL-terminated, and its length counts trailing blanks.
  const wchar_t* stored = nullptr;
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                   reinterpret_cast<LPWSTR>(&stored), 0);
  if (length <= 0 || stored == nullptr) return false;
  text.assign(stored, static_cast<std::size_t>(length));
  return true;
}

}  // namespace platform

#include "ui/win32/Clipboard.h"

#include <algorithm>

namespace ui::win32 {
namespace {

// Another program may hold the clipboard for a moment: a few attempts before giving up.
bool OpenTheClipboard(HWND owner) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (::OpenClipboard(owner)) return true;
    ::Sleep(10);
  }
  return false;
}

}  // namespace

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!OpenTheClipboard(owner)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
      // Another program's data: it need not end in a NUL.
      const std::size_t capacity = ::GlobalSize(data) / sizeof(wchar_t);
      std::size_t length = 0;
      while (length < capacity && chars[length] != L'\0') ++length;
      text.assign(chars, length);
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

bool SetClipboardText(HWND owner, const std::wstring& text) {
  if (!OpenTheClipboard(owner)) return false;
  bool ok = false;
  if (::EmptyClipboard()) {
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (memory) {
      if (auto* chars = static_cast<wchar_t*>(::GlobalLock(memory))) {
        std::copy(text.begin(), text.end(), chars);
        chars[text.size()] = L'\0';
        ::GlobalUnlock(memory);
        ok = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
      }
      if (!ok) ::GlobalFree(memory);
    }
  }
  ::CloseClipboard();
  return ok;
}

}  // namespace ui::win32

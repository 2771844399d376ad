#include "ui/win32/Clipboard.h"

#include <algorithm>

#include "ui/win32/Handles.h"

namespace ui::win32 {
namespace {

// The clipboard, held open by `owner` while this object lives. Another program may hold it for a
// moment: a few attempts before giving up.
class OpenClipboardScope {
 public:
  explicit OpenClipboardScope(HWND owner) {
    for (int attempt = 0; attempt < 5 && !open_; ++attempt) {
      open_ = ::OpenClipboard(owner) != FALSE;
      if (!open_) ::Sleep(10);
    }
  }
  ~OpenClipboardScope() {
    if (open_) ::CloseClipboard();
  }
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;

  bool Open() const noexcept { return open_; }

 private:
  bool open_ = false;
};

// A movable global memory block, locked while this object lives; Get() is null when it cannot be.
template <class T>
class LockedMemory {
 public:
  explicit LockedMemory(HGLOBAL memory) : memory_(memory), data_(static_cast<T*>(::GlobalLock(memory))) {}
  ~LockedMemory() {
    if (data_) ::GlobalUnlock(memory_);
  }
  LockedMemory(const LockedMemory&) = delete;
  LockedMemory& operator=(const LockedMemory&) = delete;

  T* Get() const noexcept { return data_; }

 private:
  HGLOBAL memory_;
  T* data_;
};

void FreeGlobal(HGLOBAL memory) noexcept { ::GlobalFree(memory); }
// Freed unless the clipboard took it.
using GlobalMemory = platform::win32::Owned<HGLOBAL, FreeGlobal, Null<HGLOBAL>>;

}  // namespace

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  const OpenClipboardScope clipboard(owner);
  if (!clipboard.Open()) return text;
  // The clipboard's own data: it stays the clipboard's, only locked while it is read.
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    const LockedMemory<const wchar_t> chars(data);
    if (chars.Get()) {
      // Another program's data: it need not end in a NUL.
      const std::size_t capacity = ::GlobalSize(data) / sizeof(wchar_t);
      std::size_t length = 0;
      while (length < capacity && chars.Get()[length] != L'\0') ++length;
      text.assign(chars.Get(), length);
    }
  }
  return text;
}

bool SetClipboardText(HWND owner, const std::wstring& text) {
  const OpenClipboardScope clipboard(owner);
  if (!clipboard.Open() || !::EmptyClipboard()) return false;
  GlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
  if (!memory) return false;
  {
    const LockedMemory<wchar_t> chars(memory.Get());
    if (!chars.Get()) return false;
    std::copy(text.begin(), text.end(), chars.Get());
    chars.Get()[text.size()] = L'\0';
  }
  if (!::SetClipboardData(CF_UNICODETEXT, memory.Get())) return false;
  memory.Release();  // the clipboard's now
  return true;
}

}  // namespace ui::win32

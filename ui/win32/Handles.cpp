#include "ui/win32/Handles.h"

#include <cstdint>
#include <string>

#include "common/Error.h"
#include "platform/Platform.h"
#include "ui/Backend.h"

namespace ui::win32 {

void ThrowSystemError(const wchar_t* call, DWORD code) {
  constexpr std::uint32_t kUnspecified = 0x80004005u;  // E_FAIL
  const long number = code != 0 ? err::FromWin32(code) : err::FromBits(kUnspecified);
  const std::wstring text = platform::System().ErrorText(code != 0 ? code : kUnspecified);
  throw CError(number, std::wstring(call) + L" failed: " + text);
}

void ThrowLastError(const wchar_t* call) { ThrowSystemError(call, ::GetLastError()); }

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, UINT style) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = procedure;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  ::SetLastError(0);
  if (::RegisterClassExW(&wc)) return;
  const DWORD code = ::GetLastError();
  WNDCLASSEXW registered{};
  registered.cbSize = sizeof(registered);
  if (code == ERROR_CLASS_ALREADY_EXISTS && ::GetClassInfoExW(Instance(), name, &registered) &&
      registered.lpfnWndProc == procedure) {
    return;  // registered by an earlier backend of this process
  }
  ThrowSystemError(L"RegisterClassExW", code);
}

LRESULT EndOfWindowProcedure(HWND hwnd, UINT message) noexcept {
  ReportCurrentError([hwnd] {
    const Form* form = FormOf(::GetAncestor(hwnd, GA_ROOT));
    return form ? form->Name() + L".WindowProc" : std::wstring(L"WindowProc");
  });
  if (message == WM_PAINT) ::ValidateRect(hwnd, nullptr);  // a painting that failed is not asked for again
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
  return 0;
}

}  // namespace ui::win32

#include "ui/win32/Handles.h"

#include <string>

#include "common/Error.h"
#include "ui/Backend.h"

namespace ui::win32 {

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, UINT style) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = procedure;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  ::RegisterClassExW(&wc);
}

LRESULT EndOfWindowProcedure(HWND hwnd, UINT message) noexcept {
  const CError error = CurrentError();
  std::wstring source = L"WindowProc";
  try {
    if (const Form* form = FormOf(::GetAncestor(hwnd, GA_ROOT))) source = form->Name() + L"." + source;
  } catch (...) {
    // Out of memory for the name as well: the error goes without it.
  }
  ReportUnhandledError(error, source);
  if (message == WM_PAINT) ::ValidateRect(hwnd, nullptr);  // a painting that failed is not asked for again
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
  return 0;
}

}  // namespace ui::win32

#pragma once
// What the parts of the toolkit's Win32 backend share: owners of the handles they create, the
// conversions between the toolkit's window handles and the system's, the window properties that tie a
// window to its form or control, and the end of every window procedure.
#include <windows.h>

#include "platform/Win32Handle.h"
#include "ui/Form.h"

namespace ui::win32 {

// Owners of what the backend creates, each closed by its own call; a null handle holds nothing.
template <class T>
T Null() noexcept {
  return nullptr;
}
inline void DestroyWindowNow(HWND hwnd) noexcept { ::DestroyWindow(hwnd); }
inline void DestroyMenuNow(HMENU menu) noexcept { ::DestroyMenu(menu); }
template <class T>
void DeleteGdiObject(T object) noexcept {
  ::DeleteObject(object);
}
using WindowOwner = platform::win32::Owned<HWND, DestroyWindowNow, Null<HWND>>;  // with its children and menu
using MenuOwner = platform::win32::Owned<HMENU, DestroyMenuNow, Null<HMENU>>;     // with its popups
using FontOwner = platform::win32::Owned<HFONT, DeleteGdiObject<HFONT>, Null<HFONT>>;
using BrushOwner = platform::win32::Owned<HBRUSH, DeleteGdiObject<HBRUSH>, Null<HBRUSH>>;
using PenOwner = platform::win32::Owned<HPEN, DeleteGdiObject<HPEN>, Null<HPEN>>;

inline HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }
inline HWND H(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }
inline WindowHandle W(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

// Window properties: the form of a form's window, the control of a control's window.
constexpr wchar_t kFormProp[] = L"WDL.Form";
constexpr wchar_t kControlProp[] = L"WDL.Control";

// The form or control that a window belongs to; null for any other window (and for null).
inline Form* FormOf(HWND hwnd) { return hwnd ? static_cast<Form*>(::GetPropW(hwnd, kFormProp)) : nullptr; }
inline Control* ControlOf(HWND hwnd) {
  return hwnd ? static_cast<Control*>(::GetPropW(hwnd, kControlProp)) : nullptr;
}

// The failure of a system call as the program's error: number 0x80070000 + the code GetLastError()
// gave, description "<call> failed: " and the system's text for the code. A call that fails without
// giving a code (0) fails with E_FAIL, "Unspecified error", as COM code reads such a failure.
[[noreturn]] void ThrowSystemError(const wchar_t* call, DWORD code);
// The same with the code of GetLastError(), read first: call it right after the failing call. Some calls
// fail without setting a code of their own (a window creation that a hook refuses, a menu call under
// Wine): each checked call is made with the code cleared before (SetLastError(0)), so that a failure
// never reports what an earlier call left behind.
[[noreturn]] void ThrowLastError(const wchar_t* call);

// Registers a window class of the toolkit with the program's instance; CError when it cannot. A class
// stays registered for the process's life (the system removes it at the end): a later backend of the
// same process finds it registered with the same procedure and uses it as it is. A class of that name
// with another procedure is an error (1410, the class already exists).
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, UINT style);

// The end of every window procedure, inside its catch block: an error that got this far is the
// program's unhandled error. It goes to the program's handler (under the name of the form the window
// belongs to), the program ends, and the message loop is woken so that it sees the end. Nothing of it
// crosses into the system's code.
LRESULT EndOfWindowProcedure(HWND hwnd, UINT message) noexcept;

}  // namespace ui::win32

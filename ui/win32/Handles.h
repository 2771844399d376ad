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

// Registers a window class of the toolkit with the program's instance.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, UINT style);

// The end of every window procedure, inside its catch block: an error that got this far is the
// program's unhandled error. It goes to the program's handler (under the name of the form the window
// belongs to), the program ends, and the message loop is woken so that it sees the end. Nothing of it
// crosses into the system's code.
LRESULT EndOfWindowProcedure(HWND hwnd, UINT message) noexcept;

}  // namespace ui::win32

// The toolkit's Win32 backend, put together from its parts (ui/win32/): the paints (screen resolution,
// fonts, brushes), the helper window (timers, clipboard), the controls' windows, the forms' windows
// with their menus, and the message loops. Each part owns what it creates; they are declared so that
// every window goes before the classes, fonts and brushes it uses. Every window procedure of the parts
// is an exception barrier: what reaches it is the program's unhandled error (EndOfWindowProcedure).
#include "ui/BackendWin32.h"

#include <windows.h>

#include <type_traits>

#include "ui/Form.h"
#include "ui/win32/Clipboard.h"
#include "ui/win32/ControlWindows.h"
#include "ui/win32/FormWindows.h"
#include "ui/win32/Handles.h"
#include "ui/win32/HelperWindow.h"
#include "ui/win32/MessageLoop.h"
#include "ui/win32/Paints.h"

namespace ui {
namespace {

using namespace ui::win32;

class Win32Backend final : public IBackend, public IWindowApi {
 public:
  Win32Backend() = default;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  int Dpi() override { return paints_.Dpi(); }

  void LoadForm(Form& form) override { forms_.Load(form); }
  void UnloadForm(Form& form) override {
    loop_.EndModal(form);
    forms_.Unload(form);
  }
  void ShowForm(Form& form, Form* owner) override { forms_.Show(form, owner); }
  void HideForm(Form& form) override {
    loop_.EndModal(form);  // so that Windows hands the activation back to our own window
    forms_.Hide(form);
  }
  void RunModal(Form& form) override { loop_.RunModal(form); }
  void RunMainLoop(Form& form) override { loop_.RunMain(form); }
  void DoEvents() override { loop_.DoEvents(); }

  void FormChanged(Form& form, Change what) override { forms_.Changed(form, what); }
  void ControlChanged(Control& control, Change what) override { controls_.Changed(control, what); }
  void DestroyControl(Control& control) override { controls_.Destroy(control); }
  void ReadBack(Control& control) override { controls_.ReadBack(control); }
  void Focus(Control& control) override {
    if (HWND hwnd = H(control.Native())) ::SetFocus(hwnd);
  }
  void TimerChanged(Timer& timer) override { helper_.TimerChanged(timer); }

  std::wstring ClipboardText() override { return win32::ClipboardText(helper_.Get()); }
  bool SetClipboardText(const std::wstring& text) override { return win32::SetClipboardText(helper_.Get(), text); }

  IWindowApi& Windows() override { return *this; }

  // ---- IWindowApi: the raw windows of user controls, straight to the system ----

  bool GetWindowRect(WindowHandle window, WindowRect& rect) override {
    RECT r;
    if (!::GetWindowRect(H(window), &r)) return false;
    rect = WindowRect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  WindowHandle CreateWindowExW(std::uint32_t exStyle, const std::wstring& className, const std::wstring& text,
                               std::uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                               std::uintptr_t menuOrId) override {
    return W(::CreateWindowExW(exStyle, className.c_str(), text.c_str(), style, x, y, width, height, H(parent),
                               reinterpret_cast<HMENU>(menuOrId), Instance(), nullptr));
  }

  bool MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) override {
    return ::MoveWindow(H(window), x, y, width, height, repaint ? TRUE : FALSE) != FALSE;
  }

  bool DestroyWindow(WindowHandle window) override { return ::DestroyWindow(H(window)) != FALSE; }

 private:
  // In the order of their lives: the forms' windows go first, the paints they used last.
  Paints paints_;
  HelperWindow helper_;
  ControlWindows controls_{paints_};
  FormWindows forms_{paints_, controls_};
  MessageLoop loop_;
};

static_assert(!std::is_copy_constructible_v<Win32Backend> && !std::is_copy_assignable_v<Win32Backend>);

}  // namespace

std::unique_ptr<IBackend> CreateWin32Backend() { return std::make_unique<Win32Backend>(); }

}  // namespace ui

#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/Backend.h"

namespace ui {

// A child window made through the headless window calls.
struct HeadlessWindow {
  std::uint32_t exStyle = 0;
  std::wstring className;
  std::wstring text;
  std::uint32_t style = 0;
  WindowHandle parent = 0;
  WindowRect rect;  // screen pixels; every form sits at the screen's origin
};

// The toolkit without a screen, for the native tests only (a test-only target, like the doubles of
// tests/doubles: nothing that ships links it). Forms and controls run their handlers unchanged, at 96
// DPI. Tests drive it through the controls' user-input entry points and the scripts below.
//
// - DoEvents fires the timers whose interval has passed on platform::System().GetTickCount() (a fake
//   clock in tests), then runs the idle script.
// - A modal show runs the modal script with the form; a modal form still shown after the script is
//   closed as by its close box, so a test never hangs.
// - The main loop runs the main-loop script with the form, then unloads the form if it is still loaded.
class HeadlessBackend : public IBackend, public IWindowApi {
 public:
  int Dpi() override { return 96; }
  void LoadForm(Form& form) override;
  void UnloadForm(Form& form) override;
  void ShowForm(Form& form, Form* owner) override;
  void HideForm(Form& form) override;
  void RunModal(Form& form) override;
  void RunMainLoop(Form& form) override;
  void DoEvents() override;
  void FormChanged(Form& form, Change what) override;
  void ControlChanged(Control& control, Change what) override;
  void DestroyControl(Control& control) override;
  void ReadBack(Control&) override {}
  // As a window system does: a text box that gets the focus raises GotFocus.
  void Focus(Control& control) override;
  void TimerChanged(Timer& timer) override;
  std::wstring ClipboardText() override { return clipboard_; }
  bool SetClipboardText(const std::wstring& text) override;
  IWindowApi& Windows() override { return *this; }

  // IWindowApi
  bool GetWindowRect(WindowHandle window, WindowRect& rect) override;
  WindowHandle CreateWindowExW(std::uint32_t exStyle, const std::wstring& className, const std::wstring& text,
                              std::uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                              std::uintptr_t menuOrId) override;
  bool MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) override;
  bool DestroyWindow(WindowHandle window) override;

  // Scripts.
  std::function<void(Form&)> onModal;
  std::function<void(Form&)> onMainLoop;
  std::function<void()> onIdle;
  // Makes CreateWindowEx of raw child windows fail.
  bool failChildWindows = false;
  // A clipboard that refuses to be opened.
  bool clipboardLocked = false;

  // What happened, for tests.
  const HeadlessWindow* Window(WindowHandle window) const;
  // Raw child windows of `parent`, in creation order.
  std::vector<WindowHandle> ChildrenOf(WindowHandle parent) const;
  int DoEventsCount() const noexcept { return doEvents_; }
  // A loaded form by name; null when none.
  Form* FindLoaded(const std::wstring& name) const noexcept;
  // Forms in the order they were shown (each show counts).
  const std::vector<std::wstring>& ShownForms() const noexcept { return shown_; }
  // Number of times a form's drawing was repainted.
  int repaints = 0;

 private:
  WindowHandle NewHandle() noexcept { return next_++; }
  void PlaceHost(Control& control);

  std::map<WindowHandle, HeadlessWindow> windows_;
  std::set<Form*> loaded_;
  std::map<Timer*, std::uint32_t> timers_;  // running timers and the tick they last started or fired at
  std::wstring clipboard_;
  std::vector<std::wstring> shown_;
  WindowHandle next_ = 0x1000;
  int doEvents_ = 0;
  int depth_ = 0;
};

}  // namespace ui

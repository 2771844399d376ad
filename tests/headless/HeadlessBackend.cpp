#include "tests/headless/HeadlessBackend.h"

#include "platform/Platform.h"
#include "ui/Form.h"

namespace ui {

void HeadlessBackend::LoadForm(Form& form) {
  loaded_.insert(&form);
  form.SetNative(NewHandle());
  windows_[form.Native()] = HeadlessWindow{0, L"WDL.Form", form.Caption(), 0, 0,
                                           WindowRect{0, 0, TwipsToPixels(form.ScaleWidth()),
                                                      TwipsToPixels(form.ScaleHeight())}};
  for (Control* control : form.Controls()) {
    control->SetNative(NewHandle());
    if (control->Kind() == ControlKind::UserControl) {
      auto& host = static_cast<UserControl&>(*control);
      windows_[host.Native()] = HeadlessWindow{0, host.ClassName(), L"", 0, form.Native(), {}};
      PlaceHost(host);
      host.RaiseInitialize();
      host.RaiseResize();
    }
  }
}

void HeadlessBackend::PlaceHost(Control& control) {
  auto it = windows_.find(control.Native());
  if (it == windows_.end()) return;
  const TwipsRect& b = control.Bounds();
  it->second.rect = WindowRect{TwipsToPixels(b.left), TwipsToPixels(b.top), TwipsToPixels(b.left + b.width),
                               TwipsToPixels(b.top + b.height)};
}

void HeadlessBackend::UnloadForm(Form& form) {
  loaded_.erase(&form);
  for (Control* control : form.Controls()) DestroyControl(*control);
  DestroyWindow(form.Native());
  form.SetNative(0);
}

void HeadlessBackend::DestroyControl(Control& control) {
  if (control.Native() != 0) DestroyWindow(control.Native());
  control.SetNative(0);
}

void HeadlessBackend::ShowForm(Form& form, Form*) {
  shown_.push_back(form.Name());
  form.Activated();
}

void HeadlessBackend::HideForm(Form&) {}

void HeadlessBackend::RunModal(Form& form) {
  if (onModal && form.Loaded() && form.Visible() && !Ended()) onModal(form);
  if (form.Loaded() && form.Visible() && !Ended()) form.UserClose();
}

void HeadlessBackend::RunMainLoop(Form& form) {
  if (onMainLoop && form.Loaded() && !Ended()) onMainLoop(form);
  if (form.Loaded()) form.UserClose();
}

void HeadlessBackend::DoEvents() {
  ++doEvents_;
  if (depth_ > 8) return;  // an idle script that pumps again goes no deeper
  ++depth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth_};

  const std::uint32_t now = platform::System().GetTickCount();
  std::vector<Timer*> due;
  for (auto& [timer, since] : timers_) {
    if (now - since >= timer->Interval()) due.push_back(timer);
  }
  for (Timer* timer : due) {
    auto it = timers_.find(timer);
    if (it == timers_.end()) continue;  // switched off by an earlier timer
    it->second = now;
    timer->Fire();
  }
  if (onIdle) onIdle();
}

void HeadlessBackend::FormChanged(Form& form, Change what) {
  auto it = windows_.find(form.Native());
  if (it == windows_.end()) return;
  if (what == Change::Text) it->second.text = form.Caption();
  if (what == Change::Drawing) ++repaints;
}

void HeadlessBackend::ControlChanged(Control& control, Change what) {
  if (what == Change::Bounds && control.Kind() == ControlKind::UserControl) {
    PlaceHost(control);
    static_cast<UserControl&>(control).RaiseResize();
  }
}

void HeadlessBackend::Focus(Control& control) {
  if (control.Kind() == ControlKind::TextBox) static_cast<TextBox&>(control).UserGotFocus();
}

void HeadlessBackend::TimerChanged(Timer& timer) {
  if (timer.Running()) {
    timers_[&timer] = platform::System().GetTickCount();
  } else {
    timers_.erase(&timer);
  }
}

bool HeadlessBackend::SetClipboardText(const std::wstring& text) {
  if (clipboardLocked) return false;
  clipboard_ = text;
  return true;
}

bool HeadlessBackend::GetWindowRect(WindowHandle window, WindowRect& rect) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return false;
  rect = it->second.rect;
  return true;
}

WindowHandle HeadlessBackend::CreateWindowExW(std::uint32_t exStyle, const std::wstring& className,
                                             const std::wstring& text, std::uint32_t style, int x, int y, int width,
                                             int height, WindowHandle parent, std::uintptr_t) {
  if (failChildWindows) return 0;
  if (parent != 0 && windows_.count(parent) == 0) return 0;
  WindowRect origin;
  if (parent != 0) origin = windows_[parent].rect;
  const WindowHandle handle = NewHandle();
  windows_[handle] = HeadlessWindow{exStyle, className, text, style, parent,
                                    WindowRect{origin.left + x, origin.top + y, origin.left + x + width,
                                               origin.top + y + height}};
  return handle;
}

bool HeadlessBackend::MoveWindow(WindowHandle window, int x, int y, int width, int height, bool) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return false;
  WindowRect origin;
  if (auto parent = windows_.find(it->second.parent); parent != windows_.end()) origin = parent->second.rect;
  it->second.rect = WindowRect{origin.left + x, origin.top + y, origin.left + x + width, origin.top + y + height};
  return true;
}

bool HeadlessBackend::DestroyWindow(WindowHandle window) {
  if (windows_.erase(window) == 0) return false;
  // Children go with their parent.
  for (WindowHandle child : ChildrenOf(window)) DestroyWindow(child);
  return true;
}

Form* HeadlessBackend::FindLoaded(const std::wstring& name) const noexcept {
  for (Form* form : loaded_) {
    if (form->Name() == name) return form;
  }
  return nullptr;
}

const HeadlessWindow* HeadlessBackend::Window(WindowHandle window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

std::vector<WindowHandle> HeadlessBackend::ChildrenOf(WindowHandle parent) const {
  std::vector<WindowHandle> children;
  for (const auto& [handle, window] : windows_) {
    if (window.parent == parent) children.push_back(handle);
  }
  return children;
}

}  // namespace ui

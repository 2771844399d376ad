#include "ui/Form.h"

#include <algorithm>

#include "ui/Backend.h"

namespace ui {

Form::Form(std::wstring name) : name_(std::move(name)) {}

Form::~Form() {
  // Derived parts are gone already: no events, only the windows. A form that lost its windows with its
  // backend (no window left) has nothing to give back.
  if (loaded_ && native_ != 0) {
    visible_ = false;
    loaded_ = false;
    try {
      Backend().UnloadForm(*this);
    } catch (...) {
      ReportCurrentError([this] { return Source(L"Form_Terminate"); });
    }
  }
}

std::wstring Form::Source(const wchar_t* event) const { return name_ + L"." + event; }

void Form::SetCaption(const std::wstring& caption) {
  caption_ = caption;
  if (loaded_) Backend().FormChanged(*this, Change::Text);
}

void Form::SetClientSize(int widthTwips, int heightTwips) {
  clientWidth_ = std::max(0, widthTwips);
  clientHeight_ = std::max(0, heightTwips);
  if (loaded_) Backend().FormChanged(*this, Change::Bounds);
}

void Form::SetBackColor(Color color) {
  backColor_ = color;
  if (loaded_) Backend().FormChanged(*this, Change::Colors);
}

void Form::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (loaded_) Backend().FormChanged(*this, Change::Enabled);
}

MenuItem& Form::AddMenu(std::wstring name, std::wstring caption) {
  menus_.push_back(std::make_unique<MenuItem>(std::move(name), std::move(caption)));
  if (loaded_) Backend().FormChanged(*this, Change::Menu);
  return *menus_.back();
}

MenuItem* Form::FindMenu(const std::wstring& name) noexcept {
  for (auto& menu : menus_) {
    if (MenuItem* found = menu->Find(name)) return found;
  }
  return nullptr;
}

void Form::Load() {
  if (loaded_) return;
  IBackend& backend = Backend();
  loaded_ = true;
  try {
    backend.LoadForm(*this);  // all its windows or none
  } catch (...) {
    loaded_ = false;
    throw;
  }
  try {
    for (Timer* timer : timers_) backend.TimerChanged(*timer);
  } catch (...) {
    // Loaded with all its timers or not at all: it goes again as an unload does, without the event.
    Teardown();
    throw;
  }
  // Loading is always asked for by the program's own code, never by a window message: an error of the
  // Load handler is an error of whoever loads or shows the form.
  if (OnLoad) OnLoad();
}

void Form::Show(Form* owner) {
  Load();
  if (!loaded_) return;  // unloaded again by its own Load handler
  owner_ = owner;
  visible_ = true;
  Backend().ShowForm(*this, owner);
}

void Form::ShowModal(Form* owner) {
  Load();
  if (!loaded_ || Ended()) return;
  owner_ = owner;
  modal_ = true;
  visible_ = true;
  Backend().ShowForm(*this, owner);
  if (loaded_ && visible_) Backend().RunModal(*this);
  modal_ = false;
}

void Form::Hide() {
  if (!visible_) return;
  visible_ = false;
  if (loaded_) Backend().HideForm(*this);
}

void Form::Unload() {
  if (!loaded_) return;
  Raise(Source(L"Form_Unload"), OnUnload);
  if (!loaded_) return;  // unloaded by its own Unload handler
  Teardown();
}

void Form::Teardown() {
  for (Control* control : controls_) {
    if (control->Kind() == ControlKind::UserControl) static_cast<UserControl*>(control)->RaiseTerminate();
  }
  visible_ = false;
  loaded_ = false;
  for (Timer* timer : timers_) Backend().TimerChanged(*timer);
  Backend().UnloadForm(*this);
  focused_ = nullptr;
}

void Form::DrawLine(int x1, int y1, int x2, int y2, Color color) {
  lines_.push_back(DrawnLine{x1, y1, x2, y2, color});
  if (loaded_) Backend().FormChanged(*this, Change::Drawing);
}

void Form::UserKeyPress(int keyAscii) {
  if (!loaded_ || !enabled_) return;
  if (keyAscii == kKeyEnter && defaultButton_ && defaultButton_->Enabled()) {
    // A multi-line text box keeps its Enter.
    if (!(focused_ && focused_->Kind() == ControlKind::TextBox && static_cast<TextBox*>(focused_)->MultiLine())) {
      defaultButton_->PerformClick();
      return;
    }
  }
  if (keyAscii == kKeyEscape && cancelButton_ && cancelButton_->Enabled()) {
    cancelButton_->PerformClick();
    return;
  }
  PreviewKeyPress(keyAscii);
  if (keyAscii == 0 || !loaded_) return;
  if (focused_ && focused_->Kind() == ControlKind::TextBox && keyAscii >= 32) {
    static_cast<TextBox*>(focused_)->UserType(std::wstring(1, static_cast<wchar_t>(keyAscii)));
  }
}

void Form::PreviewKeyPress(int& keyAscii) {
  if (keyPreview_ && OnKeyPress) Raise(Source(L"Form_KeyPress"), [&] { OnKeyPress(keyAscii); });
}

void Form::UserClose() {
  if (!loaded_ || !enabled_) return;
  bool cancel = false;
  if (OnQueryUnload) Raise(Source(L"Form_QueryUnload"), [&] { OnQueryUnload(cancel, kFormControlMenu); });
  if (!cancel) Unload();
}

void Form::Activated() {
  if (!loaded_ || !visible_) return;
  Raise(Source(L"Form_Activate"), OnActivate);
}

Control* Form::FindControl(const std::wstring& name) const noexcept {
  for (Control* control : controls_) {
    if (control->Name() == name) return control;
  }
  return nullptr;
}

void Form::Register(Control* control) { controls_.push_back(control); }

void Form::Unregister(Control* control) noexcept {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (focused_ == control) focused_ = nullptr;
  if (defaultButton_ == control) defaultButton_ = nullptr;
  if (cancelButton_ == control) cancelButton_ = nullptr;
}

void Form::Register(Timer* timer) { timers_.push_back(timer); }

void Form::Unregister(Timer* timer) noexcept {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void Form::SetDefaultButton(Button* button) {
  Button* previous = defaultButton_;
  defaultButton_ = button;
  if (loaded_) {
    if (previous && previous != button) Backend().ControlChanged(*previous, Change::Default);
    if (button) Backend().ControlChanged(*button, Change::Default);
  }
}

}  // namespace ui

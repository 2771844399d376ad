#include "ui/Controls.h"

#include <algorithm>
#include <cmath>

#include "common/Error.h"
#include "ui/Backend.h"
#include "ui/Form.h"

namespace ui {

// ---- Control ----

Control::Control(Form& form, std::wstring name, TwipsRect bounds)
    : form_(form), name_(std::move(name)), bounds_(bounds) {
  form_.Register(this);
}

Control::~Control() {
  if (native_ != 0) {
    try {
      Backend().DestroyControl(*this);
    } catch (...) {
      ReportCurrentError([this] { return Source(L"Terminate"); });
    }
    native_ = 0;
  }
  form_.Unregister(this);
}

void Control::Changed(Change what) const {
  if (form_.Loaded() && native_ != 0) Backend().ControlChanged(const_cast<Control&>(*this), what);
}

std::wstring Control::Source(const wchar_t* event) const { return form_.Name() + L"." + name_ + L"_" + event; }

void Control::Move(const TwipsRect& bounds) {
  bounds_ = bounds;
  Changed(Change::Bounds);
}

void Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Changed(Change::Enabled);
}

void Control::SetForeColor(Color color) {
  foreColor_ = color;
  Changed(Change::Colors);
}

void Control::SetBackColor(Color color) {
  backColor_ = color;
  Changed(Change::Colors);
}

void Control::SetFocus() {
  if (!form_.Loaded()) return;
  form_.SetFocused(this);
  Backend().Focus(*this);
}

// ---- Label ----

Label::Label(Form& form, std::wstring name, TwipsRect bounds, std::wstring caption)
    : Control(form, std::move(name), bounds), caption_(std::move(caption)) {}

void Label::SetCaption(const std::wstring& caption) {
  caption_ = caption;
  Changed(Change::Text);
}

void Label::UserMouseDown(const MouseEventArgs& args) {
  if (OnMouseDown) Raise(Source(L"MouseDown"), [&] { OnMouseDown(args); });
}
void Label::UserMouseUp(const MouseEventArgs& args) {
  if (OnMouseUp) Raise(Source(L"MouseUp"), [&] { OnMouseUp(args); });
}
void Label::UserClick() { Raise(Source(L"Click"), OnClick); }

// ---- Button ----

Button::Button(Form& form, std::wstring name, TwipsRect bounds, std::wstring caption)
    : Control(form, std::move(name), bounds), caption_(std::move(caption)) {}

void Button::SetCaption(const std::wstring& caption) {
  caption_ = caption;
  Changed(Change::Text);
}

bool Button::IsDefault() const noexcept { return Parent().DefaultButton() == this; }
bool Button::IsCancel() const noexcept { return Parent().CancelButton() == this; }

void Button::SetDefault(bool value) {
  if (value) {
    Parent().SetDefaultButton(this);
  } else if (IsDefault()) {
    Parent().SetDefaultButton(nullptr);
  }
}

void Button::SetCancel(bool value) {
  if (value) {
    Parent().SetCancelButton(this);
  } else if (IsCancel()) {
    Parent().SetCancelButton(nullptr);
  }
}

void Button::PerformClick() {
  if (!Enabled() || !Parent().Enabled()) return;
  Raise(Source(L"Click"), OnClick);
}

// ---- TextBox ----

TextBox::TextBox(Form& form, std::wstring name, TwipsRect bounds, bool multiLine)
    : Control(form, std::move(name), bounds), multiLine_(multiLine) {}

void TextBox::Clamp() noexcept {
  const int size = static_cast<int>(text_.size());
  selStart_ = std::clamp(selStart_, 0, size);
  selLength_ = std::clamp(selLength_, 0, size - selStart_);
}

void TextBox::SetText(const std::wstring& text) {
  const bool changed = text != text_;
  text_ = text;
  selStart_ = 0;
  selLength_ = 0;
  Changed(Change::Text);
  if (changed) Raise(Source(L"Change"), OnChange);
}

int TextBox::SelStart() {
  if (Parent().Loaded() && Native() != 0) Backend().ReadBack(*this);
  return selStart_;
}

int TextBox::SelLength() {
  if (Parent().Loaded() && Native() != 0) Backend().ReadBack(*this);
  return selLength_;
}

std::wstring TextBox::SelText() {
  const int start = SelStart();
  return text_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(SelLength()));
}

void TextBox::SetSelStart(int start) {
  selStart_ = start;
  selLength_ = 0;
  Clamp();
  Changed(Change::Selection);
}

void TextBox::SetSelLength(int length) {
  SelStart();  // the caret as the user left it
  selLength_ = length;
  Clamp();
  Changed(Change::Selection);
}

void TextBox::SetSelText(const std::wstring& text) {
  const int start = SelStart();
  const int length = SelLength();
  std::wstring next = text_;
  next.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(length), text);
  const bool changed = next != text_;
  text_ = std::move(next);
  selStart_ = start + static_cast<int>(text.size());
  selLength_ = 0;
  Clamp();
  Changed(Change::Text);
  Changed(Change::Selection);
  if (changed) Raise(Source(L"Change"), OnChange);
}

void TextBox::UserEdit(const std::wstring& text) {
  if (text == text_ || locked_) return;
  text_ = text;
  Clamp();
  Raise(Source(L"Change"), OnChange);
}

void TextBox::UserType(const std::wstring& text) {
  if (!Enabled() || locked_ || !Parent().Enabled()) return;
  SetSelText(text);
}

void TextBox::SetLocked(bool locked) {
  locked_ = locked;
  Changed(Change::Locked);
}

void TextBox::UserGotFocus() {
  Parent().NoteFocus(this);
  Raise(Source(L"GotFocus"), OnGotFocus);
}

void TextBox::UserKeyUp(int keyCode, int shift) {
  if (OnKeyUp) Raise(Source(L"KeyUp"), [&] { OnKeyUp(keyCode, shift); });
}

void TextBox::SetSelectionFromNative(int start, int length) noexcept {
  selStart_ = start;
  selLength_ = length;
  Clamp();
}

// ---- ListBox ----

ListBox::ListBox(Form& form, std::wstring name, TwipsRect bounds) : Control(form, std::move(name), bounds) {}

void ListBox::AddItem(const std::wstring& item) {
  items_.push_back(item);
  Changed(Change::Items);
}

void ListBox::Clear() {
  items_.clear();
  index_ = -1;
  Changed(Change::Items);
}

const std::wstring& ListBox::List(int index) const {
  if (index < 0 || index >= ListCount()) throw CError(381, L"Invalid property array index");
  return items_[static_cast<std::size_t>(index)];
}

void ListBox::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) throw CError(kInvalidPropertyValue, L"Invalid property value");
  if (index == index_) return;
  index_ = index;
  Changed(Change::Selection);
  Raise(Source(L"Click"), OnClick);
}

std::wstring ListBox::Text() const { return index_ >= 0 ? items_[static_cast<std::size_t>(index_)] : L""; }

void ListBox::UserSelect(int index) {
  if (index < -1 || index >= ListCount() || index == index_) return;
  index_ = index;
  Raise(Source(L"Click"), OnClick);
}

// ---- Image ----

Image::Image(Form& form, std::wstring name, TwipsRect bounds, ui::Picture picture)
    : Control(form, std::move(name), bounds), picture_(std::move(picture)) {}

void Image::UserMouseDown(const MouseEventArgs& args) {
  if (OnMouseDown) Raise(Source(L"MouseDown"), [&] { OnMouseDown(args); });
}
void Image::UserMouseUp(const MouseEventArgs& args) {
  if (OnMouseUp) Raise(Source(L"MouseUp"), [&] { OnMouseUp(args); });
}
void Image::UserClick() { Raise(Source(L"Click"), OnClick); }
void Image::UserDblClick() { Raise(Source(L"DblClick"), OnDblClick); }

// ---- ProgressBar ----

ProgressBar::ProgressBar(Form& form, std::wstring name, TwipsRect bounds) : Control(form, std::move(name), bounds) {}

void ProgressBar::SetMin(double min) {
  if (!(min < max_)) throw CError(kInvalidPropertyValue, L"Invalid property value");
  min_ = min;
  if (value_ < min_) value_ = min_;
  Changed(Change::Value);
}

void ProgressBar::SetMax(double max) {
  if (!(max > min_)) throw CError(kInvalidPropertyValue, L"Invalid property value");
  max_ = max;
  if (value_ > max_) value_ = max_;
  Changed(Change::Value);
}

void ProgressBar::SetValue(double value) {
  // Written so that NaN is refused too.
  if (!(value >= min_ && value <= max_)) throw CError(kInvalidPropertyValue, L"Invalid property value");
  value_ = value;
  Changed(Change::Value);
}

// ---- Frame ----

Frame::Frame(Form& form, std::wstring name, TwipsRect bounds, std::wstring caption)
    : Control(form, std::move(name), bounds), caption_(std::move(caption)) {}

// ---- UserControl ----

UserControl::UserControl(Form& form, std::wstring name, TwipsRect bounds, std::wstring className)
    : Control(form, std::move(name), bounds), className_(std::move(className)) {}

void UserControl::RaiseInitialize() { Raise(Source(L"Initialize"), OnInitialize); }
void UserControl::RaiseResize() { Raise(Source(L"Resize"), OnResize); }
void UserControl::RaiseTerminate() { Raise(Source(L"Terminate"), OnTerminate); }

// ---- Timer ----

Timer::Timer(Form& form, std::wstring name, unsigned interval, bool enabled)
    : form_(form), name_(std::move(name)), interval_(interval), enabled_(enabled) {
  form_.Register(this);
}

Timer::~Timer() {
  // A timer of a form that lost its windows with its backend went with them.
  const bool wasRunning = Running() && form_.Native() != 0;
  enabled_ = false;
  if (wasRunning) {
    try {
      Backend().TimerChanged(*this);
    } catch (...) {
      ReportCurrentError([this] { return form_.Name() + L"." + name_ + L"_Terminate"; });
    }
  }
  form_.Unregister(this);
}

void Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Backend().TimerChanged(*this);
}

bool Timer::Running() const noexcept { return enabled_ && interval_ > 0 && form_.Loaded(); }

void Timer::Fire() {
  if (!Running()) return;
  Raise(form_.Name() + L"." + name_ + L"_Timer", OnTimer);
}

// ---- MenuItem ----

MenuItem::MenuItem(std::wstring name, std::wstring caption) : name_(std::move(name)), caption_(std::move(caption)) {}

MenuItem& MenuItem::Add(std::wstring name, std::wstring caption) {
  items_.push_back(std::make_unique<MenuItem>(std::move(name), std::move(caption)));
  return *items_.back();
}

MenuItem* MenuItem::Find(const std::wstring& name) noexcept {
  if (name_ == name) return this;
  for (auto& item : items_) {
    if (MenuItem* found = item->Find(name)) return found;
  }
  return nullptr;
}

void MenuItem::PerformClick(const std::wstring& formName) {
  if (!enabled_ || IsSeparator() || !items_.empty()) return;
  Raise(formName + L"." + name_ + L"_Click", OnClick);
}

}  // namespace ui

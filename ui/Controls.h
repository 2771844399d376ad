#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/Picture.h"
#include "ui/Types.h"
#include "ui/WindowApi.h"

namespace ui {

class Form;

enum class ControlKind { Label, Button, TextBox, ListBox, Image, ProgressBar, Frame, UserControl };

// Base of the controls on a form. A control belongs to the form given at construction (normally as a
// member of the form's class, constructed in tab order) and keeps its properties itself, whether or not
// its form is loaded; the backend mirrors them on the native window while the form is loaded.
class Control {
 public:
  Control(Form& form, std::wstring name, TwipsRect bounds);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual ControlKind Kind() const noexcept = 0;
  Form& Parent() const noexcept { return form_; }
  const std::wstring& Name() const noexcept { return name_; }

  const TwipsRect& Bounds() const noexcept { return bounds_; }
  void Move(const TwipsRect& bounds);
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled);
  // Unset colours follow the form's background and the system's text colour.
  std::optional<Color> ForeColor() const noexcept { return foreColor_; }
  std::optional<Color> BackColor() const noexcept { return backColor_; }
  void SetForeColor(Color color);
  void SetBackColor(Color color);
  // Gives the control the keyboard focus (no effect while its form is not loaded).
  void SetFocus();

  // The backend's native window; 0 while the form is not loaded.
  WindowHandle Native() const noexcept { return native_; }
  void SetNative(WindowHandle native) noexcept { native_ = native; }

 protected:
  void Changed(Change what) const;
  // "FMain.cmdOK_Click" for event `event` ("Click").
  std::wstring Source(const wchar_t* event) const;

 private:
  Form& form_;
  std::wstring name_;
  TwipsRect bounds_;
  bool enabled_ = true;
  std::optional<Color> foreColor_;
  std::optional<Color> backColor_;
  WindowHandle native_ = 0;
};

// A text that the user cannot edit; multi-line when its text holds line breaks or wraps.
class Label : public Control {
 public:
  Label(Form& form, std::wstring name, TwipsRect bounds, std::wstring caption = L"");
  ControlKind Kind() const noexcept override { return ControlKind::Label; }
  const std::wstring& Caption() const noexcept { return caption_; }
  void SetCaption(const std::wstring& caption);

  std::function<void()> OnClick;
  std::function<void(const MouseEventArgs&)> OnMouseDown;
  std::function<void(const MouseEventArgs&)> OnMouseUp;

  // User input.
  void UserMouseDown(const MouseEventArgs& args);
  void UserMouseUp(const MouseEventArgs& args);
  void UserClick();

 private:
  std::wstring caption_;
};

// A push button. At most one button of a form is its default button (Enter presses it) and at most one
// its cancel button (Escape presses it); one button may be both.
class Button : public Control {
 public:
  Button(Form& form, std::wstring name, TwipsRect bounds, std::wstring caption);
  ControlKind Kind() const noexcept override { return ControlKind::Button; }
  const std::wstring& Caption() const noexcept { return caption_; }
  void SetCaption(const std::wstring& caption);
  bool IsDefault() const noexcept;
  bool IsCancel() const noexcept;
  void SetDefault(bool value);
  void SetCancel(bool value);

  std::function<void()> OnClick;
  // User input (also what Enter and Escape do): raises Click when the button and its form are enabled.
  void PerformClick();

 private:
  std::wstring caption_;
};

// An edit box, single- or multi-line. Selection positions count characters from 0. It keeps all that the
// user types or pastes, up to the system's limit. It has no Ctrl+A of its own (a KeyUp handler may
// select); Tab, Shift+Tab and Escape in a multi-line box do what they do in every other control.
class TextBox : public Control {
 public:
  TextBox(Form& form, std::wstring name, TwipsRect bounds, bool multiLine = false);
  ControlKind Kind() const noexcept override { return ControlKind::TextBox; }
  bool MultiLine() const noexcept { return multiLine_; }
  const std::wstring& Text() const noexcept { return text_; }
  // Sets the text, puts the caret at its start and raises Change when the text differs.
  void SetText(const std::wstring& text);
  int SelStart();
  int SelLength();
  std::wstring SelText();
  // Clamped to the text.
  void SetSelStart(int start);
  void SetSelLength(int length);
  // Replaces the selection (as a paste does) and leaves the caret after the new text; raises Change.
  void SetSelText(const std::wstring& text);
  // A locked box shows its text, which the user can select and copy but not change; the program still
  // sets it.
  bool Locked() const noexcept { return locked_; }
  void SetLocked(bool locked);

  std::function<void()> OnChange;
  // The box received the keyboard focus (from the user or from SetFocus).
  std::function<void()> OnGotFocus;
  // A key was released while the box had the focus: its key code (kKeyA) and the shift state at that
  // moment (kShiftMask, kCtrlMask, kAltMask together).
  std::function<void(int keyCode, int shift)> OnKeyUp;

  // User input: the whole text as the user left it (raises Change when it differs).
  void UserEdit(const std::wstring& text);
  // User input: typing `text` over the selection (nothing in a locked box or on a disabled form).
  void UserType(const std::wstring& text);
  // Backend: the box received the focus; raises GotFocus.
  void UserGotFocus();
  // User input: a key released while the box has the focus; raises KeyUp.
  void UserKeyUp(int keyCode, int shift);
  // Backend: the selection as the native window holds it, and as the box holds it now.
  void SetSelectionFromNative(int start, int length) noexcept;
  int SelStartRaw() const noexcept { return selStart_; }
  int SelLengthRaw() const noexcept { return selLength_; }

 private:
  void Clamp() noexcept;
  bool multiLine_;
  bool locked_ = false;
  std::wstring text_;
  int selStart_ = 0;
  int selLength_ = 0;
};

// A list of texts with at most one selected. Positions count from 0; ListIndex -1 is "none".
class ListBox : public Control {
 public:
  ListBox(Form& form, std::wstring name, TwipsRect bounds);
  ControlKind Kind() const noexcept override { return ControlKind::ListBox; }
  void AddItem(const std::wstring& item);
  void Clear();
  int ListCount() const noexcept { return static_cast<int>(items_.size()); }
  // CError 381 outside 0..ListCount-1.
  const std::wstring& List(int index) const;
  int ListIndex() const noexcept { return index_; }
  // -1 clears the selection; CError 380 outside -1..ListCount-1. Raises Click when it changes.
  void SetListIndex(int index);
  // The selected item's text; "" with nothing selected.
  std::wstring Text() const;
  const std::vector<std::wstring>& Items() const noexcept { return items_; }

  std::function<void()> OnClick;
  // User input: the user selects an item.
  void UserSelect(int index);

 private:
  std::vector<std::wstring> items_;
  int index_ = -1;
};

// A picture, stretched to the control's size.
class Image : public Control {
 public:
  Image(Form& form, std::wstring name, TwipsRect bounds, Picture picture = {});
  ControlKind Kind() const noexcept override { return ControlKind::Image; }
  const ui::Picture& Picture() const noexcept { return picture_; }

  std::function<void()> OnClick;
  std::function<void()> OnDblClick;
  std::function<void(const MouseEventArgs&)> OnMouseDown;
  std::function<void(const MouseEventArgs&)> OnMouseUp;

  void UserMouseDown(const MouseEventArgs& args);
  void UserMouseUp(const MouseEventArgs& args);
  void UserClick();
  void UserDblClick();

 private:
  ui::Picture picture_;
};

// A progress bar. Value stays within Min..Max: setting a value outside raises CError 380 and keeps the
// former value.
class ProgressBar : public Control {
 public:
  ProgressBar(Form& form, std::wstring name, TwipsRect bounds);
  ControlKind Kind() const noexcept override { return ControlKind::ProgressBar; }
  double Min() const noexcept { return min_; }
  double Max() const noexcept { return max_; }
  double Value() const noexcept { return value_; }
  // CError 380 when `min` is not below Max (Min unchanged); the value is raised to the new Min.
  void SetMin(double min);
  // CError 380 when `max` is not above Min (Max unchanged); the value is lowered to the new Max.
  void SetMax(double max);
  void SetValue(double value);

 private:
  double min_ = 0;
  double max_ = 100;
  double value_ = 0;
};

// A framed area with an optional caption; it only draws. One without a caption too low to show a frame
// (two pixels or less) shows its edge as one etched line, as a separator does.
class Frame : public Control {
 public:
  Frame(Form& form, std::wstring name, TwipsRect bounds, std::wstring caption = L"");
  ControlKind Kind() const noexcept override { return ControlKind::Frame; }
  const std::wstring& Caption() const noexcept { return caption_; }

 private:
  std::wstring caption_;
};

// A control of the program's own: a plain child window of window class `className` that draws nothing
// and hosts raw child windows made through Windows(). Initialize comes when its window exists, Resize
// when its size changes (and once when first placed), Terminate before its window goes.
class UserControl : public Control {
 public:
  UserControl(Form& form, std::wstring name, TwipsRect bounds, std::wstring className);
  ControlKind Kind() const noexcept override { return ControlKind::UserControl; }
  const std::wstring& ClassName() const noexcept { return className_; }

  std::function<void()> OnInitialize;
  std::function<void()> OnResize;
  std::function<void()> OnTerminate;

  // Backend.
  void RaiseInitialize();
  void RaiseResize();
  void RaiseTerminate();

 private:
  std::wstring className_;
};

// A timer of a form: while its form is loaded, Enabled and Interval above 0, Timer comes every
// Interval milliseconds.
class Timer {
 public:
  Timer(Form& form, std::wstring name, unsigned interval, bool enabled);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  Form& Parent() const noexcept { return form_; }
  const std::wstring& Name() const noexcept { return name_; }
  unsigned Interval() const noexcept { return interval_; }
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled);
  // Enabled, with an interval, on a loaded form.
  bool Running() const noexcept;

  std::function<void()> OnTimer;
  // Backend (and tests): the interval has passed.
  void Fire();

 private:
  Form& form_;
  std::wstring name_;
  unsigned interval_;
  bool enabled_;
};

// An entry of a form's menu bar or of one of its menus. A caption "-" makes a separator; "&" marks the
// access key.
class MenuItem {
 public:
  MenuItem(std::wstring name, std::wstring caption);
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const std::wstring& Name() const noexcept { return name_; }
  const std::wstring& Caption() const noexcept { return caption_; }
  bool IsSeparator() const noexcept { return caption_ == L"-"; }
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled) noexcept { enabled_ = enabled; }
  // Adds an entry to this menu.
  MenuItem& Add(std::wstring name, std::wstring caption);
  const std::vector<std::unique_ptr<MenuItem>>& Items() const noexcept { return items_; }
  // This entry or one below it by name; null when none.
  MenuItem* Find(const std::wstring& name) noexcept;

  std::function<void()> OnClick;
  // User input: raises Click on an enabled entry that is not a separator and has no entries of its own.
  void PerformClick(const std::wstring& formName);
  // Backend: an id for the native menu.
  unsigned id = 0;

 private:
  std::wstring name_;
  std::wstring caption_;
  bool enabled_ = true;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

}  // namespace ui

#include "ui/win32/ControlWindows.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cmath>
#include <string>

#include "ui/Form.h"

namespace ui::win32 {
namespace {

constexpr wchar_t kImageClass[] = L"WDL.Image";
// Set on a user control's window once its Initialize has run: from then on its size changes are Resize
// events.
constexpr wchar_t kReadyProp[] = L"WDL.Ready";
constexpr int kFirstControlId = 1000;
constexpr int kEtchedLineHeight = 2;  // pixels: the shadow and the light line of an etched edge

MouseEventArgs MouseArgs(int button, WPARAM wParam, LPARAM lParam) {
  MouseEventArgs args;
  args.button = button;
  args.shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) | (::GetKeyState(VK_MENU) < 0 ? 4 : 0);
  args.x = PixelsToTwips(GET_X_LPARAM(lParam));
  args.y = PixelsToTwips(GET_Y_LPARAM(lParam));
  return args;
}

// Mouse messages of images and labels as the toolkit's events. True when the message was one of them.
template <class T>
bool MouseEvent(T& target, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN: target.UserMouseDown(MouseArgs(kLeftButton, wParam, lParam)); return true;
    case WM_RBUTTONDOWN: target.UserMouseDown(MouseArgs(kRightButton, wParam, lParam)); return true;
    case WM_MBUTTONDOWN: target.UserMouseDown(MouseArgs(kMiddleButton, wParam, lParam)); return true;
    case WM_LBUTTONUP:
      target.UserMouseUp(MouseArgs(kLeftButton, wParam, lParam));
      target.UserClick();
      return true;
    case WM_RBUTTONUP: target.UserMouseUp(MouseArgs(kRightButton, wParam, lParam)); return true;
    case WM_MBUTTONUP: target.UserMouseUp(MouseArgs(kMiddleButton, wParam, lParam)); return true;
    default: return false;
  }
}

// A frame without a caption too low for a group box to show its edge: its etched edge is one line, an
// etched static as a separator line is, whose height the static control sets itself (the line's two
// pixels and no more).
bool DrawnAsLine(const Control& control) {
  return control.Kind() == ControlKind::Frame && static_cast<const Frame&>(control).Caption().empty() &&
         TwipsToPixels(control.Bounds().height) <= kEtchedLineHeight;
}

int HeightOf(HWND hwnd) {
  RECT rect{};
  ::GetWindowRect(hwnd, &rect);
  return rect.bottom - rect.top;
}

}  // namespace

ControlWindows::ControlWindows(Paints& paints) : paints_(paints) {
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::SetLastError(0);
  if (!::InitCommonControlsEx(&classes)) ThrowLastError(L"InitCommonControlsEx");
  RegisterWindowClass(kImageClass, ImageProcedure, CS_DBLCLKS);
}

void ControlWindows::Create(Form& form, HWND parent) {
  int id = kFirstControlId;
  for (Control* control : form.Controls()) CreateOne(*control, parent, id++);
  // Frames lie below every control (which may sit on them), whatever the order of creation.
  for (Control* control : form.Controls()) {
    if (control->Kind() == ControlKind::Frame && control->Native() != 0) {
      ::SetWindowPos(H(control->Native()), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

void ControlWindows::StartUserControls(Form& form) {
  for (Control* control : form.Controls()) {
    if (control->Kind() != ControlKind::UserControl || control->Native() == 0) continue;
    auto& host = static_cast<UserControl&>(*control);
    host.RaiseInitialize();
    ::SetPropW(H(host.Native()), kReadyProp, reinterpret_cast<HANDLE>(1));
    host.RaiseResize();
  }
}

void ControlWindows::CreateOne(Control& control, HWND parent, int id) {
  const TwipsRect& b = control.Bounds();
  const int x = TwipsToPixels(b.left), y = TwipsToPixels(b.top);
  const int w = TwipsToPixels(b.width), h = TwipsToPixels(b.height);
  DWORD style = WS_CHILD | WS_VISIBLE | (control.Enabled() ? 0 : WS_DISABLED);
  DWORD exStyle = 0;
  const wchar_t* cls = L"STATIC";
  std::wstring text;
  switch (control.Kind()) {
    case ControlKind::Label:
      style |= SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
      text = static_cast<Label&>(control).Caption();
      break;
    case ControlKind::Button: {
      auto& button = static_cast<Button&>(control);
      cls = L"BUTTON";
      style |= WS_TABSTOP | (button.IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      text = button.Caption();
      break;
    }
    case ControlKind::TextBox: {
      auto& box = static_cast<TextBox&>(control);
      cls = L"EDIT";
      exStyle = WS_EX_CLIENTEDGE;
      style |= WS_TABSTOP;
      style |= box.MultiLine() ? (ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL) : ES_AUTOHSCROLL;
      if (box.Locked()) style |= ES_READONLY;
      text = box.Text();
      break;
    }
    case ControlKind::ListBox:
      cls = L"LISTBOX";
      exStyle = WS_EX_CLIENTEDGE;
      style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
      break;
    case ControlKind::Image: cls = kImageClass; break;
    case ControlKind::ProgressBar: cls = PROGRESS_CLASSW; break;
    case ControlKind::Frame:
      text = static_cast<Frame&>(control).Caption();
      if (DrawnAsLine(control)) {
        style |= SS_ETCHEDHORZ;
        exStyle = WS_EX_STATICEDGE;
        break;
      }
      // A group box paints its edge and caption only. It lies below the controls placed on it and
      // paints its inside itself (FrameProcedure): the form, which clips its children, does not.
      cls = L"BUTTON";
      style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
      break;
    case ControlKind::UserControl: {
      const std::wstring& name = static_cast<UserControl&>(control).ClassName();
      if (hostClasses_.count(name) == 0) {
        RegisterWindowClass(name.c_str(), HostProcedure, 0);
        hostClasses_.insert(name);
      }
      cls = name.c_str();
      style |= WS_CLIPCHILDREN;
      break;
    }
  }
  if (control.Kind() == ControlKind::TextBox) suppressChange_ = true;
  // Borrowed: a control's window belongs to its form's window, which destroys it (Destroy does so
  // earlier when the control goes first). A user control's window finds this object by its creation data.
  void* const creationData = control.Kind() == ControlKind::UserControl ? this : nullptr;
  ::SetLastError(0);
  HWND hwnd = ::CreateWindowExW(exStyle, cls, text.c_str(), style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), creationData);
  suppressChange_ = false;
  if (!hwnd) ThrowLastError(L"CreateWindowExW");
  ::SetPropW(hwnd, kControlProp, &control);
  control.SetNative(W(hwnd));
  if (DrawnAsLine(control)) ::MoveWindow(hwnd, x, y, w, HeightOf(hwnd), FALSE);
  ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(paints_.Font()), FALSE);
  const auto subclass = [hwnd](SUBCLASSPROC procedure, DWORD_PTR data) {
    ::SetLastError(0);
    if (!::SetWindowSubclass(hwnd, procedure, 1, data)) ThrowLastError(L"SetWindowSubclass");
  };
  switch (control.Kind()) {
    case ControlKind::Label:
      subclass(LabelProcedure, 0);
      paints_.FitLabel(hwnd);
      break;
    case ControlKind::TextBox:
      // What the user types or pastes is kept up to the system's limit, not the control's default
      // 30,000 characters.
      ::SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
      subclass(TextBoxProcedure, 0);
      break;
    case ControlKind::Frame: subclass(FrameProcedure, reinterpret_cast<DWORD_PTR>(this)); break;
    case ControlKind::ListBox: Changed(control, Change::Items); break;
    case ControlKind::ProgressBar: Changed(control, Change::Value); break;
    default: break;
  }
}

void ControlWindows::Detach(Control& control) {
  HWND hwnd = H(control.Native());
  if (!hwnd) return;
  // Removing a subclass that a window does not have does nothing.
  ::RemoveWindowSubclass(hwnd, LabelProcedure, 1);
  ::RemoveWindowSubclass(hwnd, TextBoxProcedure, 1);
  ::RemoveWindowSubclass(hwnd, FrameProcedure, 1);
  ::RemovePropW(hwnd, kControlProp);
  ::RemovePropW(hwnd, kReadyProp);
  control.SetNative(0);
}

void ControlWindows::Destroy(Control& control) {
  HWND hwnd = H(control.Native());
  Detach(control);
  if (hwnd) ::DestroyWindow(hwnd);
}

void ControlWindows::Changed(Control& control, Change what) {
  HWND hwnd = H(control.Native());
  if (!hwnd) return;
  switch (what) {
    case Change::Text:
      if (control.Kind() == ControlKind::Label) {
        ::SetWindowTextW(hwnd, static_cast<Label&>(control).Caption().c_str());
        paints_.FitLabel(hwnd);
      }
      if (control.Kind() == ControlKind::Button) {
        ::SetWindowTextW(hwnd, static_cast<Button&>(control).Caption().c_str());
      }
      if (control.Kind() == ControlKind::TextBox) {
        suppressChange_ = true;
        ::SetWindowTextW(hwnd, static_cast<TextBox&>(control).Text().c_str());
        suppressChange_ = false;
      }
      break;
    case Change::Bounds: {
      const TwipsRect& b = control.Bounds();
      ::MoveWindow(hwnd, TwipsToPixels(b.left), TwipsToPixels(b.top), TwipsToPixels(b.width),
                   DrawnAsLine(control) ? HeightOf(hwnd) : TwipsToPixels(b.height), TRUE);
      if (control.Kind() == ControlKind::Label) paints_.FitLabel(hwnd);
      break;
    }
    case Change::Enabled: ::EnableWindow(hwnd, control.Enabled() ? TRUE : FALSE); break;
    case Change::Items: {
      auto& list = static_cast<ListBox&>(control);
      ::SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
      for (const std::wstring& item : list.Items()) {
        ::SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
      }
      ::SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(list.ListIndex()), 0);
      break;
    }
    case Change::Selection:
      if (control.Kind() == ControlKind::ListBox) {
        ::SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(static_cast<ListBox&>(control).ListIndex()), 0);
      } else if (control.Kind() == ControlKind::TextBox) {
        auto& box = static_cast<TextBox&>(control);
        // The box's own selection, not read back (that would overwrite what was just set).
        const int start = box.SelStartRaw(), length = box.SelLengthRaw();
        ::SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(start + length));
        ::SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
      }
      break;
    case Change::Value: {
      auto& bar = static_cast<ProgressBar&>(control);
      ::SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(std::lround(bar.Min())),
                     static_cast<LPARAM>(std::lround(bar.Max())));
      ::SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(std::lround(bar.Value())), 0);
      break;
    }
    case Change::Default:
      ::SendMessageW(hwnd, BM_SETSTYLE, static_cast<Button&>(control).IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                     TRUE);
      break;
    case Change::Locked:
      ::SendMessageW(hwnd, EM_SETREADONLY, static_cast<TextBox&>(control).Locked() ? TRUE : FALSE, 0);
      break;
    default: ::InvalidateRect(hwnd, nullptr, TRUE); break;
  }
}

void ControlWindows::ReadBack(Control& control) {
  HWND hwnd = H(control.Native());
  if (!hwnd || control.Kind() != ControlKind::TextBox) return;
  DWORD start = 0, end = 0;
  ::SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  static_cast<TextBox&>(control).SetSelectionFromNative(static_cast<int>(start), static_cast<int>(end - start));
}

void ControlWindows::Notify(Control& control, int code) {
  switch (control.Kind()) {
    case ControlKind::Button:
      if (code == BN_CLICKED) static_cast<Button&>(control).PerformClick();
      return;
    case ControlKind::TextBox:
      if (code == EN_SETFOCUS) static_cast<TextBox&>(control).UserGotFocus();
      if (code == EN_CHANGE && !suppressChange_) {
        HWND hwnd = H(control.Native());
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
        static_cast<TextBox&>(control).UserEdit(text);
      }
      return;
    case ControlKind::ListBox:
      if (code == LBN_SELCHANGE) {
        const LRESULT index = ::SendMessageW(H(control.Native()), LB_GETCURSEL, 0, 0);
        static_cast<ListBox&>(control).UserSelect(index == LB_ERR ? -1 : static_cast<int>(index));
      }
      return;
    default: return;
  }
}

bool ControlWindows::EraseWithBackColor(HWND hwnd, HDC dc) {
  Control* control = ControlOf(hwnd);
  if (!control) return false;
  RECT rect;
  ::GetClientRect(hwnd, &rect);
  ::FillRect(dc, &rect, paints_.Brush(control->BackColor().value_or(control->Parent().BackColor())));
  return true;
}

// ---- window procedures ----

LRESULT CALLBACK ControlWindows::ImageProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    auto* image = static_cast<Image*>(ControlOf(hwnd));
    if (image) {
      if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        const Picture& picture = image->Picture();
        RECT rect;
        ::GetClientRect(hwnd, &rect);
        if (!picture.Empty()) {
          BITMAPINFO info{};
          info.bmiHeader.biSize = sizeof(info.bmiHeader);
          info.bmiHeader.biWidth = picture.width;
          info.bmiHeader.biHeight = -picture.height;  // rows from the top
          info.bmiHeader.biPlanes = 1;
          info.bmiHeader.biBitCount = 32;
          info.bmiHeader.biCompression = BI_RGB;
          ::SetStretchBltMode(dc, HALFTONE);
          ::StretchDIBits(dc, 0, 0, rect.right, rect.bottom, 0, 0, picture.width, picture.height,
                          picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        }
        ::EndPaint(hwnd, &ps);
        return 0;
      }
      if (message == WM_LBUTTONDBLCLK) {
        image->UserDblClick();
        return 0;
      }
      if (MouseEvent(*image, message, wParam, lParam)) return 0;
    }
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ControlWindows::HostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_SIZE && ::GetPropW(hwnd, kReadyProp)) {
      if (auto* host = static_cast<UserControl*>(ControlOf(hwnd))) host->RaiseResize();
      return 0;
    }
    // A user control shows its form's background.
    auto* self = reinterpret_cast<ControlWindows*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_ERASEBKGND && self && self->EraseWithBackColor(hwnd, reinterpret_cast<HDC>(wParam))) return 1;
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ControlWindows::LabelProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR) {
  try {
    if (auto* label = static_cast<Label*>(ControlOf(hwnd))) MouseEvent(*label, message, wParam, lParam);
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

// The keys that a text box leaves to its form or to the program. Ctrl+A is none of a text box's keys
// (the system's edit control would select the whole text, whatever Shift and Alt say): selecting it is
// the program's own handler's. Escape in a multi-line box is the form's Escape, as in every other
// control (the system's control would ask its parent to close, which the close box does too).
LRESULT CALLBACK ControlWindows::TextBoxProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR) {
  try {
    constexpr WPARAM kCtrlA = 0x01;
    if (message == WM_KEYDOWN && wParam == 'A' && ::GetKeyState(VK_CONTROL) < 0) return 0;
    if (message == WM_CHAR && wParam == kCtrlA) return 0;
    if ((::GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0 && wParam == VK_ESCAPE) {
      if (message == WM_KEYDOWN) ::SendMessageW(::GetParent(hwnd), WM_COMMAND, IDCANCEL, 0);
      if (message == WM_KEYDOWN || message == WM_CHAR) return 0;
    }
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ControlWindows::FrameProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR self) {
  try {
    if (message == WM_ERASEBKGND &&
        reinterpret_cast<ControlWindows*>(self)->EraseWithBackColor(hwnd, reinterpret_cast<HDC>(wParam))) {
      return 1;
    }
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace ui::win32

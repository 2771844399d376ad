#include "ui/win32/FormWindows.h"

#include <algorithm>
#include <utility>

#include "platform/Platform.h"
#include "ui/Form.h"

namespace ui::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"WDL.Form";
// Set on a form's window while the activation is lent to a window of the program that is no form (a
// message box): getting it back is no change between forms.
constexpr wchar_t kLentProp[] = L"WDL.Lent";
// Posted to a form's window when it is activated: the Activate event comes once the activation has
// settled.
constexpr UINT kActivatedMessage = WM_APP + 1;

// What a form's window receives with WM_NCCREATE.
struct Creation {
  FormWindows* windows;
  Form* form;
};

void FormStyles(const Form& form, DWORD& style, DWORD& exStyle) {
  exStyle = WS_EX_CONTROLPARENT;
  switch (form.BorderStyle()) {
    case BorderStyle::None: style = WS_POPUP | WS_CLIPCHILDREN; break;
    case BorderStyle::FixedSingle:
      style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
      break;
    case BorderStyle::FixedDialog:
      style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
  }
}

// Centred over the owner when it shows, else on the work area, never off the screen's top or left.
void Center(HWND hwnd, HWND owner) {
  RECT area{};
  if (owner && ::IsWindowVisible(owner)) {
    ::GetWindowRect(owner, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT rect{};
  ::GetWindowRect(hwnd, &rect);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  const int x = std::max<int>(0, area.left + (area.right - area.left - w) / 2);
  const int y = std::max<int>(0, area.top + (area.bottom - area.top - h) / 2);
  ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool HourglassCursor() {
  if (platform::Desktop().MousePointer() != platform::kPointerHourglass) return false;
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

// The focus moved by the keyboard, as the dialog manager moves it: a text box gets it with its whole
// text selected; a push button that holds it looks like the default button (Enter presses it), and
// while no button holds it the form's default button looks so.
void MoveFocus(Form& form, HWND target) {
  if (::SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) ::SendMessageW(target, EM_SETSEL, 0, -1);
  ::SetFocus(target);
  Control* focused = ControlOf(target);
  const bool onButton = focused && focused->Kind() == ControlKind::Button;
  for (Control* control : form.Controls()) {
    if (control->Kind() != ControlKind::Button || control->Native() == 0) continue;
    const bool looksDefault = onButton ? control == focused : static_cast<Button*>(control)->IsDefault();
    ::SendMessageW(H(control->Native()), BM_SETSTYLE, looksDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

void Paint(Form& form, HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  for (const DrawnLine& line : form.Drawing()) {
    PenOwner pen(::CreatePen(PS_SOLID, 1, line.color));
    HGDIOBJ old = ::SelectObject(dc, pen.Get());
    ::MoveToEx(dc, TwipsToPixels(line.x1), TwipsToPixels(line.y1), nullptr);
    ::LineTo(dc, TwipsToPixels(line.x2), TwipsToPixels(line.y2));
    ::SelectObject(dc, old);  // the pen is deleted once it is no longer selected
  }
  ::EndPaint(hwnd, &ps);
}

}  // namespace

FormWindows::FormWindows(Paints& paints, ControlWindows& controls) : paints_(paints), controls_(controls) {
  RegisterWindowClass(kFormClass, Procedure, CS_DBLCLKS);
}

FormWindows::~FormWindows() {
  for (auto& [form, window] : windows_) {
    for (Control* control : form->Controls()) controls_.Detach(*control);
    ::RemovePropW(window.Get(), kFormProp);
    form->SetNative(0);
  }
}

void FormWindows::Load(Form& form) {
  DWORD style = 0, exStyle = 0;
  FormStyles(form, style, exStyle);
  MenuBar bar = menus_.Build(form);
  RECT rect{0, 0, TwipsToPixels(form.ScaleWidth()), TwipsToPixels(form.ScaleHeight())};
  ::AdjustWindowRectEx(&rect, style, bar.menu.Valid(), exStyle);
  HWND owner = form.Owner() ? H(form.Owner()->Native()) : nullptr;
  Creation creation{this, &form};
  ::SetLastError(0);
  WindowOwner window(::CreateWindowExW(exStyle, kFormClass, form.Caption().c_str(), style, CW_USEDEFAULT,
                                       CW_USEDEFAULT, rect.right - rect.left, rect.bottom - rect.top, owner,
                                       bar.menu.Get(), Instance(), &creation));
  if (!window) ThrowLastError(L"CreateWindowExW");
  const HWND hwnd = window.Get();
  menus_.Use(form, bar);  // the window destroys its menu
  form.SetNative(W(hwnd));
  try {
    windows_[&form] = std::move(window);
    FitClientArea(form);
    controls_.Create(form, hwnd);
  } catch (...) {
    // A form is loaded with all its windows or not at all: what was made goes again.
    Unload(form);
    throw;
  }
  controls_.StartUserControls(form);
}

// Menus that wrap onto two lines make AdjustWindowRectEx's guess too small: grow to the real size.
void FormWindows::FitClientArea(Form& form) {
  HWND hwnd = H(form.Native());
  RECT client{}, window{};
  ::GetClientRect(hwnd, &client);
  ::GetWindowRect(hwnd, &window);
  const int dw = TwipsToPixels(form.ScaleWidth()) - client.right;
  const int dh = TwipsToPixels(form.ScaleHeight()) - client.bottom;
  if (dw != 0 || dh != 0) {
    ::SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left + dw, window.bottom - window.top + dh,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void FormWindows::Unload(Form& form) {
  HWND hwnd = H(form.Native());
  if (!hwnd) return;
  for (Control* control : form.Controls()) controls_.Detach(*control);
  menus_.Forget(form.Menus());
  positioned_.erase(&form);
  ::RemovePropW(hwnd, kFormProp);
  ::RemovePropW(hwnd, kLentProp);
  form.SetNative(0);
  windows_.erase(&form);  // the window goes, and its children and its menu with it
}

void FormWindows::Show(Form& form, Form* owner) {
  HWND hwnd = H(form.Native());
  if (!hwnd) return;
  HWND ownerWindow = owner ? H(owner->Native()) : nullptr;
  ::SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(ownerWindow));
  if (positioned_.insert(&form).second) Center(hwnd, ownerWindow);
  ::RemovePropW(hwnd, kLentProp);  // a new show is a new activation
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd);
  ::UpdateWindow(hwnd);
}

void FormWindows::Hide(Form& form) {
  if (HWND hwnd = H(form.Native())) ::ShowWindow(hwnd, SW_HIDE);
}

void FormWindows::Changed(Form& form, Change what) {
  HWND hwnd = H(form.Native());
  if (!hwnd) return;
  switch (what) {
    case Change::Text: ::SetWindowTextW(hwnd, form.Caption().c_str()); break;
    case Change::Bounds: FitClientArea(form); break;
    case Change::Enabled: ::EnableWindow(hwnd, form.Enabled() ? TRUE : FALSE); break;
    case Change::Menu: {
      // The new bar is built whole and put in place before the old one goes: a failure leaves the old
      // one as it was.
      HMENU old = ::GetMenu(hwnd);
      MenuBar bar = menus_.Build(form);
      ::SetLastError(0);
      if (!::SetMenu(hwnd, bar.menu.Get())) ThrowLastError(L"SetMenu");
      menus_.Use(form, bar);
      MenuOwner replaced(old);  // the window let go of it
      ::DrawMenuBar(hwnd);
      FitClientArea(form);
      break;
    }
    default: ::InvalidateRect(hwnd, nullptr, TRUE); break;
  }
}

// A command: a control's notification, Enter (IDOK) and Escape (IDCANCEL) from the dialog manager, or
// a menu entry.
void FormWindows::Command(Form& form, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  Control* control = lParam ? ControlOf(reinterpret_cast<HWND>(lParam)) : nullptr;
  if (control && &control->Parent() == &form) {
    controls_.Notify(*control, code);
    return;
  }
  if (id == IDOK && !control) {
    if (Button* button = form.DefaultButton()) {
      button->PerformClick();
    } else {
      int key = kKeyEnter;
      form.PreviewKeyPress(key);
    }
    return;
  }
  if (id == IDCANCEL) {
    if (Button* button = form.CancelButton()) {
      button->PerformClick();
    } else {
      int key = kKeyEscape;
      form.PreviewKeyPress(key);
    }
    return;
  }
  if (lParam == 0 && code == 0) {
    if (MenuItem* item = menus_.Find(static_cast<unsigned>(id))) item->PerformClick(form.Name());
  }
}

LRESULT FormWindows::Message(Form& form, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: Command(form, wParam, lParam); return 0;
    case WM_CLOSE: form.UserClose(); return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        Control* focused = ControlOf(::GetFocus());
        if (focused && &focused->Parent() == &form) form.NoteFocus(focused);
        // Lent to a message box or another window of the program that is not a form: getting the
        // activation back from it is no change between forms, so it raises no Activate.
        HWND to = reinterpret_cast<HWND>(lParam);
        const bool lent = to && !FormOf(to) && ::GetWindowThreadProcessId(to, nullptr) == ::GetCurrentThreadId();
        if (lent) {
          ::SetPropW(hwnd, kLentProp, reinterpret_cast<HANDLE>(1));
        } else {
          ::RemovePropW(hwnd, kLentProp);
        }
      } else {
        if (!::RemovePropW(hwnd, kLentProp)) ::PostMessageW(hwnd, kActivatedMessage, 0, 0);
        Control* focused = form.Focused();
        HWND target = focused && focused->Native() ? H(focused->Native()) : ::GetNextDlgTabItem(hwnd, nullptr, FALSE);
        if (target) ::SetFocus(target);
      }
      return 0;
    case kActivatedMessage:
      if (::GetActiveWindow() == hwnd) form.Activated();
      return 0;
    case WM_NEXTDLGCTL: {
      // A multi-line text box asks for Tab and Shift+Tab (wParam: backwards), or a control is named
      // (lParam TRUE).
      HWND target =
          LOWORD(lParam) ? reinterpret_cast<HWND>(wParam) : ::GetNextDlgTabItem(hwnd, ::GetFocus(), wParam != 0);
      if (target && ::IsChild(hwnd, target)) MoveFocus(form, target);
      return 0;
    }
    case DM_GETDEFID:
      if (Button* button = form.DefaultButton(); button && button->Native()) {
        return MAKELRESULT(::GetDlgCtrlID(H(button->Native())), DC_HASDEFID);
      }
      return 0;
    case WM_ERASEBKGND: {
      RECT rect;
      ::GetClientRect(hwnd, &rect);
      ::FillRect(reinterpret_cast<HDC>(wParam), &rect, paints_.Brush(form.BackColor()));
      return 1;
    }
    case WM_PAINT: Paint(form, hwnd); return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      Control* control = ControlOf(reinterpret_cast<HWND>(lParam));
      if (!control) break;
      if (control->Kind() == ControlKind::TextBox) {
        // A text box keeps the system's colours unless it was given a background of its own.
        if (!control->BackColor()) break;
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, control->ForeColor().value_or(::GetSysColor(COLOR_WINDOWTEXT)));
        ::SetBkColor(dc, *control->BackColor());
        return reinterpret_cast<LRESULT>(paints_.Brush(*control->BackColor()));
      }
      if (message == WM_CTLCOLOREDIT) break;
      const Color back = control->BackColor().value_or(form.BackColor());
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetTextColor(dc, control->ForeColor().value_or(::GetSysColor(COLOR_BTNTEXT)));
      ::SetBkColor(dc, back);
      return reinterpret_cast<LRESULT>(paints_.Brush(back));
    }
    case WM_SETCURSOR:
      if (HourglassCursor()) return TRUE;
      break;
    default: break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormWindows::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      const auto* creation = static_cast<const Creation*>(create->lpCreateParams);
      ::SetPropW(hwnd, kFormProp, creation->form);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->windows));
    }
    // Once the form has let go of its window (unloaded, or the backend gone), the system's defaults.
    Form* form = FormOf(hwnd);
    auto* self = reinterpret_cast<FormWindows*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form && self) return self->Message(*form, hwnd, message, wParam, lParam);
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ui::win32

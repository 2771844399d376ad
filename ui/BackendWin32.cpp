// The toolkit's Win32 backend: forms are windows of class "WDL.Form", controls are the system's
// "BUTTON", "STATIC", "EDIT", "LISTBOX" and progress-bar windows, images and user controls are windows of
// the toolkit's own classes. Every window procedure here is an exception barrier: what reaches it is the
// program's unhandled error (EndOfWindowProcedure).
#include "ui/BackendWin32.h"

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/Platform.h"
#include "platform/Win32Handle.h"
#include "ui/Form.h"

namespace ui {
namespace {

constexpr wchar_t kFormClass[] = L"WDL.Form";
constexpr wchar_t kImageClass[] = L"WDL.Image";
constexpr wchar_t kHelperClass[] = L"WDL.Helper";
constexpr wchar_t kFormProp[] = L"WDL.Form";
constexpr wchar_t kControlProp[] = L"WDL.Control";
constexpr wchar_t kReadyProp[] = L"WDL.Ready";
constexpr wchar_t kLentProp[] = L"WDL.Lent";
constexpr UINT kActivatedMessage = WM_APP + 1;
constexpr int kFirstControlId = 1000;
constexpr unsigned kFirstMenuId = 40000;
constexpr int kMaxMessagesPerDoEvents = 10000;
constexpr int kFontPoints = 8;
constexpr int kPointsPerInch = 72;
constexpr int kEtchedLineHeight = 2;  // pixels: the shadow and the light line of an etched edge

// Owners of what the backend creates, each closed by its own call; a null handle holds nothing.
template <class T>
T Null() noexcept {
  return nullptr;
}
void DestroyWindowNow(HWND hwnd) noexcept { ::DestroyWindow(hwnd); }
void DestroyMenuNow(HMENU menu) noexcept { ::DestroyMenu(menu); }
template <class T>
void DeleteGdiObject(T object) noexcept {
  ::DeleteObject(object);
}
using WindowOwner = platform::win32::Owned<HWND, DestroyWindowNow, Null<HWND>>;  // with its children and menu
using MenuOwner = platform::win32::Owned<HMENU, DestroyMenuNow, Null<HMENU>>;     // with its popups
using FontOwner = platform::win32::Owned<HFONT, DeleteGdiObject<HFONT>, Null<HFONT>>;
using BrushOwner = platform::win32::Owned<HBRUSH, DeleteGdiObject<HBRUSH>, Null<HBRUSH>>;
using PenOwner = platform::win32::Owned<HPEN, DeleteGdiObject<HPEN>, Null<HPEN>>;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }
HWND H(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }
WindowHandle W(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

Form* FormOf(HWND hwnd) { return hwnd ? static_cast<Form*>(GetPropW(hwnd, kFormProp)) : nullptr; }
Control* ControlOf(HWND hwnd) { return hwnd ? static_cast<Control*>(GetPropW(hwnd, kControlProp)) : nullptr; }

MouseEventArgs MouseArgs(int button, WPARAM wParam, LPARAM lParam) {
  MouseEventArgs args;
  args.button = button;
  args.shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
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

// The end of every window procedure, inside its catch block: an error that got this far is the
// program's unhandled error. It goes to the program's handler (under the name of the form the window
// belongs to), the program ends, and the message loop is woken so that it sees the end. Nothing of it
// crosses into the system's code.
LRESULT EndOfWindowProcedure(HWND hwnd, UINT message) noexcept {
  const CError error = CurrentError();
  std::wstring source = L"WindowProc";
  try {
    if (const Form* form = FormOf(GetAncestor(hwnd, GA_ROOT))) source = form->Name() + L"." + source;
  } catch (...) {
    // Out of memory for the name as well: the error goes without it.
  }
  ReportUnhandledError(error, source);
  if (message == WM_PAINT) ValidateRect(hwnd, nullptr);  // a painting that failed is not asked for again
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  return 0;
}

class Win32Backend;
Win32Backend* g_backend = nullptr;

class Win32Backend final : public IBackend, public IWindowApi {
 public:
  Win32Backend() {
    HDC screen = GetDC(nullptr);
    dpi_ = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = 96;

    Register(kFormClass, FormProc, CS_DBLCLKS);
    Register(kImageClass, ImageProc, CS_DBLCLKS);
    Register(kHelperClass, HelperProc, 0);
    helper_ = WindowOwner(::CreateWindowExW(WS_EX_TOOLWINDOW, kHelperClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                            nullptr, Instance(), nullptr));
    g_backend = this;
  }

  // The windows go first (the forms' and the helper), then the brushes and the font they used. A form
  // still loaded loses its windows with the backend and is told so.
  ~Win32Backend() override {
    if (g_backend == this) g_backend = nullptr;
    for (auto& [form, window] : forms_) {
      for (Control* control : form->Controls()) Detach(*control);
      RemovePropW(window.Get(), kFormProp);
      form->SetNative(0);
    }
  }

  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  int Dpi() override { return dpi_; }

  // The font of the controls: 8-point "MS Sans Serif", the font of the dialogs that the layouts in twips
  // were made for (the system's message font, Tahoma or Segoe UI, is wider and would cut the labels'
  // texts). In `pixels` (the height of its characters) for a label that it does not fit (FitLabel). The
  // stock GUI font when it cannot be had.
  HFONT Font() { return Font(MulDiv(kFontPoints, dpi_, kPointsPerInch)); }
  HFONT Font(int pixels) {
    auto it = fonts_.find(pixels);
    if (it == fonts_.end()) {
      FontOwner font(CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
      it = fonts_.emplace(pixels, std::move(font)).first;
    }
    return it->second ? it->second.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }

  // Where the system has no "MS Sans Serif" it gives a wider face in its place: a label whose text does
  // not fit its box in the controls' font then takes the largest smaller size of that font in which it
  // does, so that the whole text shows where the layout puts it. Where the font is there, every label
  // keeps it.
  void FitLabel(HWND label) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
    RECT box{};
    GetClientRect(label, &box);
    HDC dc = GetDC(label);
    if (!dc) return;
    int pixels = MulDiv(kFontPoints, dpi_, kPointsPerInch);
    const int smallest = std::max(1, pixels * 3 / 4);
    for (; pixels > smallest; --pixels) {
      HGDIOBJ old = SelectObject(dc, Font(pixels));
      RECT needed{0, 0, box.right, 0};
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
      SelectObject(dc, old);
      if (needed.right <= box.right && needed.bottom <= box.bottom) break;
    }
    ReleaseDC(label, dc);
    if (reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)) != Font(pixels)) {
      SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(Font(pixels)), TRUE);
    }
  }

  // ---- forms ----

  static void FormStyles(const Form& form, DWORD& style, DWORD& exStyle) {
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

  void LoadForm(Form& form) override {
    DWORD style = 0, exStyle = 0;
    FormStyles(form, style, exStyle);
    MenuOwner menu = BuildMenuBar(form);
    RECT rect{0, 0, TwipsToPixels(form.ScaleWidth()), TwipsToPixels(form.ScaleHeight())};
    AdjustWindowRectEx(&rect, style, menu.Valid(), exStyle);
    HWND owner = form.Owner() ? H(form.Owner()->Native()) : nullptr;
    WindowOwner window(::CreateWindowExW(exStyle, kFormClass, form.Caption().c_str(), style, CW_USEDEFAULT,
                                         CW_USEDEFAULT, rect.right - rect.left, rect.bottom - rect.top, owner,
                                         menu.Get(), Instance(), &form));
    if (!window) return;  // the form stays loaded without a window; its logic still runs
    menu.Release();       // the window destroys its menu
    const HWND hwnd = window.Get();
    forms_[&form] = std::move(window);
    form.SetNative(W(hwnd));
    FitClientArea(form);
    int id = kFirstControlId;
    for (Control* control : form.Controls()) CreateControl(*control, hwnd, id++);
    // Frames lie below every control (which may sit on them), whatever the order of creation.
    for (Control* control : form.Controls()) {
      if (control->Kind() == ControlKind::Frame && control->Native() != 0) {
        SetWindowPos(H(control->Native()), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
    }
    for (Control* control : form.Controls()) {
      if (control->Kind() != ControlKind::UserControl || control->Native() == 0) continue;
      auto& host = static_cast<UserControl&>(*control);
      host.RaiseInitialize();
      SetPropW(H(host.Native()), kReadyProp, reinterpret_cast<HANDLE>(1));
      host.RaiseResize();
    }
  }

  // Menus that wrap onto two lines make AdjustWindowRectEx's guess too small: grow to the real size.
  void FitClientArea(Form& form) {
    HWND hwnd = H(form.Native());
    RECT client{}, window{};
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, window);
    const int dw = TwipsToPixels(form.ScaleWidth()) - client.right;
    const int dh = TwipsToPixels(form.ScaleHeight()) - client.bottom;
    if (dw != 0 || dh != 0) {
      SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left + dw, window.bottom - window.top + dh,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  static void GetWindowRect(HWND hwnd, RECT& rect) { ::GetWindowRect(hwnd, &rect); }

  void CreateControl(Control& control, HWND parent, int id) {
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
        // paints its inside itself (FrameProc): the form, which clips its children, does not.
        cls = L"BUTTON";
        style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
        break;
      case ControlKind::UserControl: {
        const std::wstring& name = static_cast<UserControl&>(control).ClassName();
        if (registeredHosts_.insert(name).second) Register(name.c_str(), HostProc, 0);
        cls = name.c_str();
        style |= WS_CLIPCHILDREN;
        break;
      }
    }
    if (control.Kind() == ControlKind::TextBox) suppressChange_ = true;
    // Borrowed: a control's window belongs to its form's window, which destroys it (DestroyControl does
    // so earlier when the control goes first).
    HWND hwnd = ::CreateWindowExW(exStyle, cls, text.c_str(), style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    suppressChange_ = false;
    if (!hwnd) return;
    SetPropW(hwnd, kControlProp, &control);
    control.SetNative(W(hwnd));
    if (DrawnAsLine(control)) ::MoveWindow(hwnd, x, y, w, HeightOf(hwnd), FALSE);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
    switch (control.Kind()) {
      case ControlKind::Label:
        SetWindowSubclass(hwnd, LabelProc, 1, 0);
        FitLabel(hwnd);
        break;
      case ControlKind::TextBox:
        // What the user types or pastes is kept up to the system's limit, not the control's default
        // 30,000 characters.
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
        SetWindowSubclass(hwnd, TextBoxProc, 1, 0);
        break;
      case ControlKind::Frame: SetWindowSubclass(hwnd, FrameProc, 1, 0); break;
      case ControlKind::ListBox: ControlChanged(control, Change::Items); break;
      case ControlKind::ProgressBar: ControlChanged(control, Change::Value); break;
      default: break;
    }
  }

  // A frame without a caption too low for a group box to show its edge: its etched edge is one line, an
  // etched static as a separator line is, whose height the static control sets itself (the line's two
  // pixels and no more).
  static bool DrawnAsLine(const Control& control) {
    return control.Kind() == ControlKind::Frame && static_cast<const Frame&>(control).Caption().empty() &&
           TwipsToPixels(control.Bounds().height) <= kEtchedLineHeight;
  }
  static int HeightOf(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return rect.bottom - rect.top;
  }

  void UnloadForm(Form& form) override {
    HWND hwnd = H(form.Native());
    if (!hwnd) return;
    EndModalDisable(form);
    for (Control* control : form.Controls()) Detach(*control);
    ForgetMenus(form.Menus());
    positioned_.erase(&form);
    RemovePropW(hwnd, kFormProp);
    RemovePropW(hwnd, kLentProp);
    form.SetNative(0);
    forms_.erase(&form);  // the window goes, and its children and its menu with it
  }

  // Also called from a control's destructor, when its kind is no longer known (no virtual call here):
  // removing a subclass that a window does not have does nothing.
  void Detach(Control& control) {
    HWND hwnd = H(control.Native());
    if (!hwnd) return;
    RemoveWindowSubclass(hwnd, LabelProc, 1);
    RemoveWindowSubclass(hwnd, TextBoxProc, 1);
    RemoveWindowSubclass(hwnd, FrameProc, 1);
    RemovePropW(hwnd, kControlProp);
    RemovePropW(hwnd, kReadyProp);
    control.SetNative(0);
  }

  void DestroyControl(Control& control) override {
    HWND hwnd = H(control.Native());
    Detach(control);
    if (hwnd) ::DestroyWindow(hwnd);
  }

  void ShowForm(Form& form, Form* owner) override {
    HWND hwnd = H(form.Native());
    if (!hwnd) return;
    HWND ownerWindow = owner ? H(owner->Native()) : nullptr;
    SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(ownerWindow));
    if (positioned_.insert(&form).second) Center(hwnd, ownerWindow);
    RemovePropW(hwnd, kLentProp);  // a new show is a new activation
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
  }

  static void Center(HWND hwnd, HWND owner) {
    RECT area{};
    if (owner && IsWindowVisible(owner)) {
      ::GetWindowRect(owner, &area);
    } else {
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    const int x = std::max<int>(0, area.left + (area.right - area.left - w) / 2);
    const int y = std::max<int>(0, area.top + (area.bottom - area.top - h) / 2);
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void HideForm(Form& form) override {
    HWND hwnd = H(form.Native());
    if (!hwnd) return;
    EndModalDisable(form);  // so that Windows hands the activation back to our own window
    ShowWindow(hwnd, SW_HIDE);
  }

  // ---- loops ----

  struct ModalEntry {
    Form* form;
    std::vector<HWND> disabled;
    bool ended = false;
  };

  void RunModal(Form& form) override {
    ModalEntry entry{&form, {}, false};
    HWND self = H(form.Native());
    struct Collect {
      HWND self;
      std::vector<HWND>* out;
      std::exception_ptr error;
    } collect{self, &entry.disabled, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) -> BOOL {
          auto* c = reinterpret_cast<Collect*>(lParam);
          try {
            if (hwnd != c->self && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) c->out->push_back(hwnd);
            return TRUE;
          } catch (...) {
            c->error = std::current_exception();  // kept for the other side of the system's call
            return FALSE;
          }
        },
        reinterpret_cast<LPARAM>(&collect));
    // Nothing is disabled yet: the modal show fails as a whole, an error of whoever shows the form.
    if (collect.error) std::rethrow_exception(collect.error);
    for (HWND hwnd : entry.disabled) EnableWindow(hwnd, FALSE);
    modal_.push_back(&entry);

    while (form.Loaded() && form.Visible() && !Ended()) {
      MSG msg;
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (got == -1) break;
      Dispatch(msg);
    }
    EndModalDisable(form);
    modal_.erase(std::remove(modal_.begin(), modal_.end(), &entry), modal_.end());
  }

  void EndModalDisable(Form& form) {
    for (ModalEntry* entry : modal_) {
      if (entry->form != &form || entry->ended) continue;
      entry->ended = true;
      for (HWND hwnd : entry->disabled) {
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
      }
      if (form.Owner() && form.Owner()->Native()) SetActiveWindow(H(form.Owner()->Native()));
    }
  }

  void RunMainLoop(Form& form) override {
    while (form.Loaded() && !Ended()) {
      MSG msg;
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) break;
      Dispatch(msg);
    }
  }

  void DoEvents() override {
    MSG msg;
    for (int n = 0; n < kMaxMessagesPerDoEvents && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      Dispatch(msg);
    }
  }

  // The keys Shift, Ctrl and Alt held as the message being served was sent.
  static int ShiftState() {
    return (GetKeyState(VK_SHIFT) < 0 ? kShiftMask : 0) | (GetKeyState(VK_CONTROL) < 0 ? kCtrlMask : 0) |
           (GetKeyState(VK_MENU) < 0 ? kAltMask : 0);
  }

  // One message: a text box's KeyUp, KeyPreview first, then the dialog keys (Tab, Enter, Escape, access
  // keys).
  static void Dispatch(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP) {
      Control* control = ControlOf(msg.hwnd);
      if (control && control->Kind() == ControlKind::TextBox) {
        static_cast<TextBox*>(control)->UserKeyUp(static_cast<int>(msg.wParam), ShiftState());
        if (!IsWindow(msg.hwnd)) return;  // its form went away in the handler
      }
    }
    if (Form* form = FormOf(root)) {
      if (msg.message == WM_CHAR && form->KeyPreview() && form->OnKeyPress) {
        int key = static_cast<int>(msg.wParam);
        form->PreviewKeyPress(key);
        if (key == 0 || !IsWindow(root) || FormOf(root) != form) return;
        msg.wParam = static_cast<WPARAM>(key);
      }
      if (IsDialogMessageW(root, &msg)) return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  // ---- changes ----

  void FormChanged(Form& form, Change what) override {
    HWND hwnd = H(form.Native());
    if (!hwnd) return;
    switch (what) {
      case Change::Text: SetWindowTextW(hwnd, form.Caption().c_str()); break;
      case Change::Bounds: FitClientArea(form); break;
      case Change::Enabled: EnableWindow(hwnd, form.Enabled() ? TRUE : FALSE); break;
      case Change::Menu: {
        HMENU old = GetMenu(hwnd);
        ForgetMenus(form.Menus());
        MenuOwner bar = BuildMenuBar(form);
        if (SetMenu(hwnd, bar.Get())) {
          bar.Release();
          MenuOwner replaced(old);  // the window let go of it
        }
        DrawMenuBar(hwnd);
        FitClientArea(form);
        break;
      }
      default: InvalidateRect(hwnd, nullptr, TRUE); break;
    }
  }

  void ControlChanged(Control& control, Change what) override {
    HWND hwnd = H(control.Native());
    if (!hwnd) return;
    switch (what) {
      case Change::Text:
        if (control.Kind() == ControlKind::Label) {
          SetWindowTextW(hwnd, static_cast<Label&>(control).Caption().c_str());
          FitLabel(hwnd);
        }
        if (control.Kind() == ControlKind::Button) SetWindowTextW(hwnd, static_cast<Button&>(control).Caption().c_str());
        if (control.Kind() == ControlKind::TextBox) {
          suppressChange_ = true;
          SetWindowTextW(hwnd, static_cast<TextBox&>(control).Text().c_str());
          suppressChange_ = false;
        }
        break;
      case Change::Bounds: {
        const TwipsRect& b = control.Bounds();
        ::MoveWindow(hwnd, TwipsToPixels(b.left), TwipsToPixels(b.top), TwipsToPixels(b.width),
                     DrawnAsLine(control) ? HeightOf(hwnd) : TwipsToPixels(b.height), TRUE);
        if (control.Kind() == ControlKind::Label) FitLabel(hwnd);
        break;
      }
      case Change::Enabled: EnableWindow(hwnd, control.Enabled() ? TRUE : FALSE); break;
      case Change::Items: {
        auto& list = static_cast<ListBox&>(control);
        SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
        for (const std::wstring& item : list.Items()) {
          SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
        SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(list.ListIndex()), 0);
        break;
      }
      case Change::Selection:
        if (control.Kind() == ControlKind::ListBox) {
          SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(static_cast<ListBox&>(control).ListIndex()), 0);
        } else if (control.Kind() == ControlKind::TextBox) {
          auto& box = static_cast<TextBox&>(control);
          // The box's own selection, not read back (that would overwrite what was just set).
          const int start = box.SelStartRaw(), length = box.SelLengthRaw();
          SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(start + length));
          SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
        }
        break;
      case Change::Value: {
        auto& bar = static_cast<ProgressBar&>(control);
        SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(std::lround(bar.Min())),
                     static_cast<LPARAM>(std::lround(bar.Max())));
        SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(std::lround(bar.Value())), 0);
        break;
      }
      case Change::Default:
        SendMessageW(hwnd, BM_SETSTYLE,
                     static_cast<Button&>(control).IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        break;
      case Change::Locked:
        SendMessageW(hwnd, EM_SETREADONLY, static_cast<TextBox&>(control).Locked() ? TRUE : FALSE, 0);
        break;
      default: InvalidateRect(hwnd, nullptr, TRUE); break;
    }
  }

  void ReadBack(Control& control) override {
    HWND hwnd = H(control.Native());
    if (!hwnd || control.Kind() != ControlKind::TextBox) return;
    DWORD start = 0, end = 0;
    SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    static_cast<TextBox&>(control).SetSelectionFromNative(static_cast<int>(start), static_cast<int>(end - start));
  }

  void Focus(Control& control) override {
    if (HWND hwnd = H(control.Native())) ::SetFocus(hwnd);
  }

  void TimerChanged(Timer& timer) override {
    if (!helper_) return;
    const HWND helper = helper_.Get();
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const auto& p) { return p.second == &timer; });
    if (timer.Running()) {
      UINT_PTR id = it != timers_.end() ? it->first : nextTimerId_++;
      timers_[id] = &timer;
      SetTimer(helper, id, timer.Interval(), nullptr);
    } else if (it != timers_.end()) {
      KillTimer(helper, it->first);
      timers_.erase(it);
    }
  }

  // ---- clipboard ----

  bool OpenTheClipboard() {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (OpenClipboard(helper_.Get())) return true;
      Sleep(10);
    }
    return false;
  }

  std::wstring ClipboardText() override {
    std::wstring text;
    if (!OpenTheClipboard()) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
        // Another program's data: it need not end in a NUL.
        const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
        std::size_t length = 0;
        while (length < capacity && chars[length] != L'\0') ++length;
        text.assign(chars, length);
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return text;
  }

  bool SetClipboardText(const std::wstring& text) override {
    if (!OpenTheClipboard()) return false;
    bool ok = false;
    if (EmptyClipboard()) {
      HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
      if (memory) {
        if (auto* chars = static_cast<wchar_t*>(GlobalLock(memory))) {
          std::copy(text.begin(), text.end(), chars);
          chars[text.size()] = L'\0';
          GlobalUnlock(memory);
          ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!ok) GlobalFree(memory);
      }
    }
    CloseClipboard();
    return ok;
  }

  // ---- raw windows ----

  IWindowApi& Windows() override { return *this; }

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

  // ---- menus ----

  // The form's menu bar; none when the form has no menus.
  MenuOwner BuildMenuBar(Form& form) {
    if (form.Menus().empty()) return MenuOwner();
    MenuOwner bar(CreateMenu());
    for (const auto& menu : form.Menus()) AppendItem(bar.Get(), *menu);
    return bar;
  }

  void AppendItem(HMENU parent, MenuItem& item) {
    const UINT grayed = item.Enabled() ? 0 : MF_GRAYED;
    if (item.IsSeparator()) {
      AppendMenuW(parent, MF_SEPARATOR, 0, nullptr);
    } else if (!item.Items().empty()) {
      MenuOwner popup(CreatePopupMenu());
      for (const auto& child : item.Items()) AppendItem(popup.Get(), *child);
      if (AppendMenuW(parent, MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(popup.Get()), item.Caption().c_str())) {
        popup.Release();  // the parent menu destroys it
      }
    } else {
      item.id = nextMenuId_++;
      menuItems_[item.id] = &item;
      AppendMenuW(parent, MF_STRING | grayed, item.id, item.Caption().c_str());
    }
  }

  void ForgetMenus(const std::vector<std::unique_ptr<MenuItem>>& items) {
    for (const auto& item : items) {
      menuItems_.erase(item->id);
      ForgetMenus(item->Items());
    }
  }

  // ---- window procedures ----

  static void Register(const wchar_t* name, WNDPROC proc, UINT style) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
  }

  HBRUSH Brush(Color color) {
    auto it = brushes_.find(color);
    if (it != brushes_.end()) return it->second.Get();
    BrushOwner brush(CreateSolidBrush(color));
    if (!brush) return nullptr;
    const HBRUSH handle = brush.Get();
    brushes_.emplace(color, std::move(brush));
    return handle;
  }

  static bool HourglassCursor() {
    if (platform::Desktop().MousePointer() != platform::kPointerHourglass) return false;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
  }

  void Command(Form& form, WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    Control* control = lParam ? ControlOf(reinterpret_cast<HWND>(lParam)) : nullptr;
    if (control && &control->Parent() == &form) {
      switch (control->Kind()) {
        case ControlKind::Button:
          if (code == BN_CLICKED) static_cast<Button*>(control)->PerformClick();
          return;
        case ControlKind::TextBox:
          if (code == EN_SETFOCUS) static_cast<TextBox*>(control)->UserGotFocus();
          if (code == EN_CHANGE && !suppressChange_) {
            HWND hwnd = H(control->Native());
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
            static_cast<TextBox*>(control)->UserEdit(text);
          }
          return;
        case ControlKind::ListBox:
          if (code == LBN_SELCHANGE) {
            const LRESULT index = SendMessageW(H(control->Native()), LB_GETCURSEL, 0, 0);
            static_cast<ListBox*>(control)->UserSelect(index == LB_ERR ? -1 : static_cast<int>(index));
          }
          return;
        default: return;
      }
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
      auto it = menuItems_.find(static_cast<unsigned>(id));
      if (it != menuItems_.end()) it->second->PerformClick(form.Name());
    }
  }

  // The focus moved by the keyboard, as the dialog manager moves it: a text box gets it with its whole
  // text selected; a push button that holds it looks like the default button (Enter presses it), and
  // while no button holds it the form's default button looks so.
  static void MoveFocus(Form& form, HWND target) {
    if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(target, EM_SETSEL, 0, -1);
    ::SetFocus(target);
    Control* focused = ControlOf(target);
    const bool onButton = focused && focused->Kind() == ControlKind::Button;
    for (Control* control : form.Controls()) {
      if (control->Kind() != ControlKind::Button || control->Native() == 0) continue;
      const bool looksDefault = onButton ? control == focused : static_cast<Button*>(control)->IsDefault();
      SendMessageW(H(control->Native()), BM_SETSTYLE, looksDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
  }

  static void Paint(Form& form, HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    for (const DrawnLine& line : form.Drawing()) {
      PenOwner pen(CreatePen(PS_SOLID, 1, line.color));
      HGDIOBJ old = SelectObject(dc, pen.Get());
      MoveToEx(dc, TwipsToPixels(line.x1), TwipsToPixels(line.y1), nullptr);
      LineTo(dc, TwipsToPixels(line.x2), TwipsToPixels(line.y2));
      SelectObject(dc, old);  // the pen is deleted once it is no longer selected
    }
    EndPaint(hwnd, &ps);
  }

  LRESULT FormMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Form* form = FormOf(hwnd);
    if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
      case WM_COMMAND: Command(*form, wParam, lParam); return 0;
      case WM_CLOSE: form->UserClose(); return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
          Control* focused = ControlOf(GetFocus());
          if (focused && &focused->Parent() == form) form->NoteFocus(focused);
          // Lent to a message box or another window of the program that is not a form: getting the
          // activation back from it is no change between forms, so it raises no Activate.
          HWND to = reinterpret_cast<HWND>(lParam);
          const bool lent = to && !FormOf(to) && GetWindowThreadProcessId(to, nullptr) == GetCurrentThreadId();
          if (lent) {
            SetPropW(hwnd, kLentProp, reinterpret_cast<HANDLE>(1));
          } else {
            RemovePropW(hwnd, kLentProp);
          }
        } else {
          if (!RemovePropW(hwnd, kLentProp)) PostMessageW(hwnd, kActivatedMessage, 0, 0);
          Control* focused = form->Focused();
          HWND target = focused && focused->Native() ? H(focused->Native()) : GetNextDlgTabItem(hwnd, nullptr, FALSE);
          if (target) ::SetFocus(target);
        }
        return 0;
      case kActivatedMessage:
        if (GetActiveWindow() == hwnd) form->Activated();
        return 0;
      case WM_NEXTDLGCTL: {
        // A multi-line text box asks for Tab and Shift+Tab (wParam: backwards), or a control is named
        // (lParam TRUE).
        HWND target =
            LOWORD(lParam) ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
        if (target && IsChild(hwnd, target)) MoveFocus(*form, target);
        return 0;
      }
      case DM_GETDEFID:
        if (Button* button = form->DefaultButton(); button && button->Native()) {
          return MAKELRESULT(GetDlgCtrlID(H(button->Native())), DC_HASDEFID);
        }
        return 0;
      case WM_ERASEBKGND: {
        RECT rect;
        GetClientRect(hwnd, &rect);
        FillRect(reinterpret_cast<HDC>(wParam), &rect, Brush(form->BackColor()));
        return 1;
      }
      case WM_PAINT: Paint(*form, hwnd); return 0;
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN: {
        Control* control = ControlOf(reinterpret_cast<HWND>(lParam));
        if (!control) break;
        if (control->Kind() == ControlKind::TextBox) {
          // A text box keeps the system's colours unless it was given a background of its own.
          if (!control->BackColor()) break;
          HDC dc = reinterpret_cast<HDC>(wParam);
          SetTextColor(dc, control->ForeColor().value_or(GetSysColor(COLOR_WINDOWTEXT)));
          SetBkColor(dc, *control->BackColor());
          return reinterpret_cast<LRESULT>(Brush(*control->BackColor()));
        }
        if (message == WM_CTLCOLOREDIT) break;
        const Color back = control->BackColor().value_or(form->BackColor());
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, control->ForeColor().value_or(GetSysColor(COLOR_BTNTEXT)));
        SetBkColor(dc, back);
        return reinterpret_cast<LRESULT>(Brush(back));
      }
      case WM_SETCURSOR:
        if (HourglassCursor()) return TRUE;
        break;
      default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
      if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetPropW(hwnd, kFormProp, create->lpCreateParams);
      }
      if (g_backend) return g_backend->FormMessage(hwnd, message, wParam, lParam);
    } catch (...) {
      return EndOfWindowProcedure(hwnd, message);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK ImageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
      auto* image = static_cast<Image*>(ControlOf(hwnd));
      if (image) {
        if (message == WM_PAINT) {
          PAINTSTRUCT ps;
          HDC dc = BeginPaint(hwnd, &ps);
          const Picture& picture = image->Picture();
          RECT rect;
          GetClientRect(hwnd, &rect);
          if (!picture.Empty()) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = picture.width;
            info.bmiHeader.biHeight = -picture.height;  // rows from the top
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            info.bmiHeader.biCompression = BI_RGB;
            SetStretchBltMode(dc, HALFTONE);
            StretchDIBits(dc, 0, 0, rect.right, rect.bottom, 0, 0, picture.width, picture.height,
                          picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
          }
          EndPaint(hwnd, &ps);
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
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    try {
      if (auto* label = static_cast<Label*>(ControlOf(hwnd))) MouseEvent(*label, message, wParam, lParam);
    } catch (...) {
      return EndOfWindowProcedure(hwnd, message);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }

  // The keys that a text box leaves to its form or to the program. Ctrl+A is none of a text box's keys
  // (the system's edit control would select the whole text, whatever Shift and Alt say): selecting it is
  // the program's own handler's. Escape in a multi-line box is the form's Escape, as in every other
  // control (the system's control would ask its parent to close, which the close box does too).
  static LRESULT CALLBACK TextBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    try {
      constexpr WPARAM kCtrlA = 0x01;
      if (message == WM_KEYDOWN && wParam == 'A' && GetKeyState(VK_CONTROL) < 0) return 0;
      if (message == WM_CHAR && wParam == kCtrlA) return 0;
      if ((GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0 && wParam == VK_ESCAPE) {
        if (message == WM_KEYDOWN) SendMessageW(GetParent(hwnd), WM_COMMAND, IDCANCEL, 0);
        if (message == WM_KEYDOWN || message == WM_CHAR) return 0;
      }
    } catch (...) {
      return EndOfWindowProcedure(hwnd, message);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }

  // Fills the window of a control with the control's back colour, or its form's; false when the window
  // is no control of a loaded form.
  static bool EraseWithBackColor(HWND hwnd, HDC dc) {
    Control* control = ControlOf(hwnd);
    if (!control || !g_backend) return false;
    RECT rect;
    GetClientRect(hwnd, &rect);
    FillRect(dc, &rect, g_backend->Brush(control->BackColor().value_or(control->Parent().BackColor())));
    return true;
  }

  static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    try {
      if (message == WM_ERASEBKGND && EraseWithBackColor(hwnd, reinterpret_cast<HDC>(wParam))) return 1;
    } catch (...) {
      return EndOfWindowProcedure(hwnd, message);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
      if (message == WM_SIZE && GetPropW(hwnd, kReadyProp)) {
        if (auto* host = static_cast<UserControl*>(ControlOf(hwnd))) host->RaiseResize();
        return 0;
      }
      // A user control shows its form's background.
      if (message == WM_ERASEBKGND && EraseWithBackColor(hwnd, reinterpret_cast<HDC>(wParam))) return 1;
    } catch (...) {
      return EndOfWindowProcedure(hwnd, message);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK HelperProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
      if (message == WM_TIMER && g_backend) {
        auto it = g_backend->timers_.find(static_cast<UINT_PTR>(wParam));
        if (it != g_backend->timers_.end()) it->second->Fire();
        return 0;
      }
    } catch (...) {
      return EndOfWindowProcedure(hwnd, message);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

 private:
  int dpi_ = 96;
  // Declared before the windows, so that they outlive them.
  std::map<int, FontOwner> fonts_;  // by the height of their characters, in pixels
  std::map<Color, BrushOwner> brushes_;
  WindowOwner helper_;
  std::map<Form*, WindowOwner> forms_;
  bool suppressChange_ = false;
  std::set<std::wstring> registeredHosts_;
  std::set<Form*> positioned_;
  std::vector<ModalEntry*> modal_;
  std::map<UINT_PTR, Timer*> timers_;
  UINT_PTR nextTimerId_ = 1;
  std::map<unsigned, MenuItem*> menuItems_;
  unsigned nextMenuId_ = kFirstMenuId;
};

static_assert(!std::is_copy_constructible_v<Win32Backend> && !std::is_copy_assignable_v<Win32Backend>);

}  // namespace

std::unique_ptr<IBackend> CreateWin32Backend() { return std::make_unique<Win32Backend>(); }

}  // namespace ui

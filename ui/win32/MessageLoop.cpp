#include "ui/win32/MessageLoop.h"

#include <algorithm>
#include <exception>

#include "ui/Backend.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {
namespace {
constexpr int kMaxMessagesPerDoEvents = 10000;
}  // namespace

void MessageLoop::RunModal(Form& form) {
  HWND self = H(form.Native());
  // Nothing could end the modal show of a form without its window: it fails before it disables anything.
  if (!::IsWindow(self)) ThrowSystemError(L"ShowModal", ERROR_INVALID_WINDOW_HANDLE);
  ModalEntry entry{&form, {}, false};
  struct Collect {
    HWND self;
    std::vector<HWND>* out;
    std::exception_ptr error;
  } collect{self, &entry.disabled, nullptr};
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* c = reinterpret_cast<Collect*>(lParam);
        try {
          if (hwnd != c->self && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd)) c->out->push_back(hwnd);
          return TRUE;
        } catch (...) {
          c->error = std::current_exception();  // kept for the other side of the system's call
          return FALSE;
        }
      },
      reinterpret_cast<LPARAM>(&collect));
  // Nothing is disabled yet: the modal show fails as a whole, an error of whoever shows the form.
  if (collect.error) std::rethrow_exception(collect.error);
  for (HWND hwnd : entry.disabled) ::EnableWindow(hwnd, FALSE);
  modal_.push_back(&entry);

  while (form.Loaded() && form.Visible() && !Ended() && ::IsWindow(self)) {
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    Dispatch(msg);
  }
  EndModal(form);
  modal_.erase(std::remove(modal_.begin(), modal_.end(), &entry), modal_.end());
}

void MessageLoop::EndModal(Form& form) {
  for (ModalEntry* entry : modal_) {
    if (entry->form != &form || entry->ended) continue;
    entry->ended = true;
    for (HWND hwnd : entry->disabled) {
      if (::IsWindow(hwnd)) ::EnableWindow(hwnd, TRUE);
    }
    if (form.Owner() && form.Owner()->Native()) ::SetActiveWindow(H(form.Owner()->Native()));
  }
}

void MessageLoop::RunMain(Form& form) {
  while (form.Loaded() && !Ended()) {
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    Dispatch(msg);
  }
}

void MessageLoop::DoEvents() {
  MSG msg;
  for (int n = 0; n < kMaxMessagesPerDoEvents && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Dispatch(msg);
  }
}

// The keys Shift, Ctrl and Alt held as the message being served was sent.
int MessageLoop::ShiftState() {
  return (::GetKeyState(VK_SHIFT) < 0 ? kShiftMask : 0) | (::GetKeyState(VK_CONTROL) < 0 ? kCtrlMask : 0) |
         (::GetKeyState(VK_MENU) < 0 ? kAltMask : 0);
}

// One message: a text box's KeyUp, KeyPreview first, then the dialog keys (Tab, Enter, Escape, access
// keys).
void MessageLoop::Dispatch(MSG& msg) {
  HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP) {
    Control* control = ControlOf(msg.hwnd);
    if (control && control->Kind() == ControlKind::TextBox) {
      static_cast<TextBox*>(control)->UserKeyUp(static_cast<int>(msg.wParam), ShiftState());
      if (!::IsWindow(msg.hwnd)) return;  // its form went away in the handler
    }
  }
  if (Form* form = FormOf(root)) {
    if (msg.message == WM_CHAR && form->KeyPreview() && form->OnKeyPress) {
      int key = static_cast<int>(msg.wParam);
      form->PreviewKeyPress(key);
      if (key == 0 || !::IsWindow(root) || FormOf(root) != form) return;
      msg.wParam = static_cast<WPARAM>(key);
    }
    if (::IsDialogMessageW(root, &msg)) return;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

}  // namespace ui::win32

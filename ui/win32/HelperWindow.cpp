#include "ui/win32/HelperWindow.h"

#include <algorithm>

namespace ui::win32 {
namespace {
constexpr wchar_t kHelperClass[] = L"WDL.Helper";
}  // namespace

HelperWindow::HelperWindow() {
  RegisterWindowClass(kHelperClass, Procedure, 0);
  ::SetLastError(0);
  window_ = WindowOwner(::CreateWindowExW(WS_EX_TOOLWINDOW, kHelperClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          Instance(), this));
  if (!window_) ThrowLastError(L"CreateWindowExW");
}

void HelperWindow::TimerChanged(Timer& timer) {
  const HWND helper = window_.Get();
  auto it = std::find_if(timers_.begin(), timers_.end(), [&](const auto& p) { return p.second == &timer; });
  if (timer.Running()) {
    const bool started = it != timers_.end();
    const UINT_PTR id = started ? it->first : nextTimerId_++;
    timers_[id] = &timer;
    ::SetLastError(0);
    if (!::SetTimer(helper, id, timer.Interval(), nullptr)) {
      const DWORD code = ::GetLastError();
      if (!started) timers_.erase(id);  // a timer that never ran is not kept
      ThrowSystemError(L"SetTimer", code);
    }
  } else if (it != timers_.end()) {
    ::KillTimer(helper, it->first);
    timers_.erase(it);
  }
}

LRESULT CALLBACK HelperWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_TIMER) {
      if (auto* self = reinterpret_cast<HelperWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
        auto it = self->timers_.find(static_cast<UINT_PTR>(wParam));
        if (it != self->timers_.end()) it->second->Fire();
      }
      return 0;
    }
  } catch (...) {
    return EndOfWindowProcedure(hwnd, message);
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ui::win32

#pragma once
#include <windows.h>

#include <map>

#include "ui/Controls.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {

// The backend's hidden window of class "WDL.Helper": the forms' timers run on it, and it owns the
// clipboard while the backend reads or writes it.
class HelperWindow {
 public:
  // Registers the class and creates the window; CError when either fails.
  HelperWindow();
  HelperWindow(const HelperWindow&) = delete;
  HelperWindow& operator=(const HelperWindow&) = delete;

  HWND Get() const noexcept { return window_.Get(); }
  // Starts, restarts or stops the system's timer of `timer` as it is Running() or not. CError when the
  // system refuses a timer (one that was running before keeps running).
  void TimerChanged(Timer& timer);

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::map<UINT_PTR, Timer*> timers_;
  UINT_PTR nextTimerId_ = 1;
  WindowOwner window_;  // last: it goes before the timers it serves
};

}  // namespace ui::win32

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
  HelperWindow();
  HelperWindow(const HelperWindow&) = delete;
  HelperWindow& operator=(const HelperWindow&) = delete;

  // Null when it could not be created.
  HWND Get() const noexcept { return window_.Get(); }
  // Starts, restarts or stops the system's timer of `timer` as it is Running() or not.
  void TimerChanged(Timer& timer);

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::map<UINT_PTR, Timer*> timers_;
  UINT_PTR nextTimerId_ = 1;
  WindowOwner window_;  // last: it goes before the timers it serves
};

}  // namespace ui::win32

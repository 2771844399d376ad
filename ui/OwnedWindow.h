#pragma once
#include <utility>

#include "ui/WindowApi.h"

namespace ui {

// A raw child window that a user control made through Windows(), destroyed through Windows() by Reset()
// or when the owner goes. Move-only; 0 is "no window" (a creation that failed holds nothing).
class OwnedWindow {
 public:
  OwnedWindow() noexcept = default;
  explicit OwnedWindow(WindowHandle window) noexcept : window_(window) {}
  // Destroys the window. A destructor cannot throw: an error of it goes to ReportUnhandledError.
  ~OwnedWindow();
  OwnedWindow(const OwnedWindow&) = delete;
  OwnedWindow& operator=(const OwnedWindow&) = delete;
  OwnedWindow(OwnedWindow&& other) noexcept : window_(std::exchange(other.window_, 0)) {}
  OwnedWindow& operator=(OwnedWindow&& other);

  WindowHandle Get() const noexcept { return window_; }
  // Destroys the window held, if any; afterwards nothing is held, also when the error reaches the caller.
  void Reset();
  // Gives the window up without destroying it: for a window that went already, with its parent.
  WindowHandle Release() noexcept { return std::exchange(window_, 0); }

 private:
  WindowHandle window_ = 0;
};

}  // namespace ui

#pragma once
#include <cstdint>
#include <string>

#include "ui/Controls.h"
#include "ui/OwnedWindow.h"

// The etched separator line: a user control that hosts a system "Static" child with the etched
// horizontal style and keeps that child exactly as wide as itself, at its top-left corner. It draws
// nothing itself. A child that could not be created leaves the control loaded, without a line.
class StaticLine : public ui::UserControl {
 public:
  static constexpr std::uint32_t kLineExStyle = 0x20004;     // WS_EX_STATICEDGE | WS_EX_NOPARENTNOTIFY
  static constexpr std::uint32_t kLineStyle = 0x50000010;    // WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ

  StaticLine(ui::Form& form, std::wstring name, ui::TwipsRect bounds);
  ~StaticLine() override;

  // The hosted line; 0 while the form is not loaded or when it could not be created.
  ui::WindowHandle LineWindow() const noexcept { return mhWndLine.Get(); }

 private:
  void UserControl_Initialize();
  void UserControl_Resize();
  void UserControl_Terminate();

  ui::OwnedWindow mhWndLine;
};

#pragma once
#include "ui/Controls.h"
#include "ui/Form.h"

// The splash window: the product picture, without border, shown while the start-up works. It closes
// itself 3000 ms after it loads, or at once when a mouse button is released over the picture; the timer
// is switched off first, so it fires at most once per showing.
class FSplash : public ui::Form {
 public:
  FSplash();

  ui::Image Image1;
  ui::Timer Timer1;

 private:
  void Timer1_Timer();
  void Image1_MouseUp(const ui::MouseEventArgs& args);
  void CloseSplash();
};

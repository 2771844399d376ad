#include "shell/app/FSplash.h"

#include "shell/Pictures.h"

FSplash::FSplash()
    : ui::Form(L"FSplash"),
      Image1(*this, L"Image1", ui::TwipsRect{0, 0, 6000, 4740}, pictures::Splash()),
      Timer1(*this, L"Timer1", 3000, true) {
  SetCaption(L"Wardline");
  SetBorderStyle(ui::BorderStyle::None);
  SetClientSize(6000, 4740);
  Timer1.OnTimer = [this] { Timer1_Timer(); };
  Image1.OnMouseUp = [this](const ui::MouseEventArgs& args) { Image1_MouseUp(args); };
}

void FSplash::Timer1_Timer() { CloseSplash(); }

void FSplash::Image1_MouseUp(const ui::MouseEventArgs&) { CloseSplash(); }

void FSplash::CloseSplash() {
  try {
    Timer1.SetEnabled(false);
    Unload();
  } catch (...) {
    // Errors while closing the splash are ignored.
  }
}

#include "ui/OwnedWindow.h"

#include "common/Error.h"
#include "ui/Backend.h"

namespace ui {

OwnedWindow::~OwnedWindow() {
  try {
    Reset();
  } catch (...) {
    ReportCurrentError([] { return std::wstring(L"DestroyWindow"); });
  }
}

OwnedWindow& OwnedWindow::operator=(OwnedWindow&& other) {
  if (this != &other) {
    Reset();
    window_ = std::exchange(other.window_, 0);
  }
  return *this;
}

void OwnedWindow::Reset() {
  if (const WindowHandle window = Release()) Windows().DestroyWindow(window);
}

}  // namespace ui

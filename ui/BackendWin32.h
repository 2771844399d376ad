#pragma once
#include <memory>

#include "ui/Backend.h"

namespace ui {

// The toolkit on real Win32 windows (Windows build only). It sets up the common controls and registers
// its window classes itself; CError (the system's error number and text) when the system refuses any of
// that or its helper window. An error that escapes the toolkit's code inside a window procedure goes to
// ReportUnhandledError, as an event's does, and never into the system's code.
std::unique_ptr<IBackend> CreateWin32Backend();

}  // namespace ui

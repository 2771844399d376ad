#pragma once
#include <memory>

#include "ui/Backend.h"

namespace ui {

// The toolkit on real Win32 windows (Windows build only). Call after InitCommonControlsEx. An error that
// escapes the toolkit's code inside a window procedure goes to ReportUnhandledError, as an event's does,
// and never into the system's code.
std::unique_ptr<IBackend> CreateWin32Backend();

}  // namespace ui

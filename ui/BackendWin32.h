#pragma once
#include <memory>

#include "ui/Backend.h"

namespace ui {

// The toolkit on real Win32 windows (Windows build only). Call after InitCommonControlsEx.
std::unique_ptr<IBackend> CreateWin32Backend();

}  // namespace ui

#pragma once
#include <cstdint>
#include <string>

namespace ui {

// A window handle as an opaque number; 0 is "no window".
using WindowHandle = std::uintptr_t;

// A window rectangle in screen pixels, as GetWindowRect gives it.
struct WindowRect {
  long left = 0;
  long top = 0;
  long right = 0;
  long bottom = 0;
};

// The few raw window calls a user control makes on child windows of its own. The Win32 backend passes
// them straight to the system; the headless backend keeps the windows in memory.
class IWindowApi {
 public:
  virtual ~IWindowApi() = default;
  // False (and `rect` unchanged) for a handle that is not a window.
  virtual bool GetWindowRect(WindowHandle window, WindowRect& rect) = 0;
  // CreateWindowExW with the program's instance handle and no creation data; 0 on failure.
  virtual WindowHandle CreateWindowExW(std::uint32_t exStyle, const std::wstring& className,
                                      const std::wstring& text, std::uint32_t style, int x, int y, int width,
                                      int height, WindowHandle parent, std::uintptr_t menuOrId) = 0;
  virtual bool MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) = 0;
  virtual bool DestroyWindow(WindowHandle window) = 0;
};

}  // namespace ui

#pragma once
// Pixels of a window or of the screen, read back for the Wine tests.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace wine_pixels {

// A copy of `area` of what `dc` shows (in the DC's coordinates), taken when constructed.
class Pixels {
 public:
  Pixels(HDC dc, const RECT& area) : area_(area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    // 32 bits a pixel, rows from the top.
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, dc, area.left, area.top, SRCCOPY);
    ::GdiFlush();
    if (bits != nullptr) {
      const auto* pixels = static_cast<const std::uint32_t*>(bits);
      pixels_.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
  }

  // The colour at (x, y), in the DC's coordinates; black outside the area.
  COLORREF At(int x, int y) const {
    const POINT point{x, y};
    if (!::PtInRect(&area_, point) || pixels_.empty()) return RGB(0, 0, 0);
    const std::uint32_t bgr =
        pixels_[static_cast<std::size_t>(y - area_.top) * (area_.right - area_.left) + (x - area_.left)];
    return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
  }

 private:
  RECT area_;
  std::vector<std::uint32_t> pixels_;
};

struct ColourCount {
  int checked = 0;  // pixels looked at
  int other = 0;    // of those, pixels of another colour
  COLORREF firstOther = 0;
};

// The pixels of `area` that lie in none of `covered`: how many there are and how many are not `colour`.
inline ColourCount CountOtherThan(const Pixels& pixels, const RECT& area, const std::vector<RECT>& covered,
                                  COLORREF colour) {
  ColourCount count;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const POINT point{x, y};
      bool hidden = false;
      for (const RECT& rect : covered) hidden |= ::PtInRect(&rect, point) != FALSE;
      if (hidden) continue;
      ++count.checked;
      if (pixels.At(x, y) != colour && count.other++ == 0) count.firstOther = pixels.At(x, y);
    }
  }
  return count;
}

// The inside of a group box's rectangle: clear of its etched edge, and of its caption's half height at
// the top.
inline RECT InsideOfFrame(RECT frame) {
  frame.left += 4, frame.right -= 4, frame.top += 12, frame.bottom -= 4;
  return frame;
}

}  // namespace wine_pixels

#pragma once
#include <cstdint>
#include <vector>

namespace ui {

// A picture as a pixel buffer: `pixels` holds width * height values 0x00RRGGBB, rows from the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  Picture() = default;
  Picture(int w, int h, std::uint32_t fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w > 0 && h > 0 ? w * h : 0), fill) {}
  bool Empty() const noexcept { return pixels.empty(); }
  // Out-of-range positions read 0 and are not written.
  std::uint32_t At(int x, int y) const noexcept {
    return (x >= 0 && y >= 0 && x < width && y < height) ? pixels[static_cast<std::size_t>(y * width + x)] : 0;
  }
  void Set(int x, int y, std::uint32_t rgb) noexcept {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<std::size_t>(y * width + x)] = rgb;
  }
};

constexpr std::uint32_t PixelRgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF));
}

}  // namespace ui

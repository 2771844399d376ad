#include "shell/Pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pictures {
namespace {

using ui::Picture;
using ui::PixelRgb;

int Mix(int a, int b, double t) { return static_cast<int>(std::lround(a + (b - a) * std::clamp(t, 0.0, 1.0))); }

std::uint32_t Blend(int r1, int g1, int b1, int r2, int g2, int b2, double t) {
  return PixelRgb(Mix(r1, r2, t), Mix(g1, g2, t), Mix(b1, b2, t));
}

void VerticalGradient(Picture& p, int r1, int g1, int b1, int r2, int g2, int b2) {
  for (int y = 0; y < p.height; ++y) {
    const std::uint32_t c = Blend(r1, g1, b1, r2, g2, b2, p.height > 1 ? double(y) / (p.height - 1) : 0);
    for (int x = 0; x < p.width; ++x) p.Set(x, y, c);
  }
}

// Half-width of the shield at relative height v (0 top, 1 point): straight sides, then a curve to the
// point.
double ShieldHalfWidth(double v) {
  if (v < 0 || v > 1) return -1;
  if (v < 0.42) return 1.0;
  const double t = (v - 0.42) / 0.58;
  return std::sqrt(std::max(0.0, 1.0 - t * t));
}

// A shield of `size` pixels wide centred at (cx, top).
void DrawShield(Picture& p, int cx, int top, int width, int height) {
  const double half = width / 2.0;
  for (int y = top; y < top + height; ++y) {
    const double v = double(y - top) / height;
    const double w = ShieldHalfWidth(v) * half;
    for (int x = cx - int(half) - 1; x <= cx + int(half) + 1; ++x) {
      const double u = x + 0.5 - cx;
      if (std::abs(u) > w) continue;
      const double edge = w - std::abs(u);
      const double inner = std::min(edge, (1.0 - v) * height);
      std::uint32_t c;
      if (inner < std::max(1.5, width / 16.0)) {
        c = PixelRgb(210, 228, 255);  // silver-blue rim
      } else {
        // Deep blue, lit from the upper left.
        const double light = 0.5 * (1.0 - (u + half) / width) + 0.5 * (1.0 - v);
        c = Blend(10, 40, 120, 60, 120, 220, light);
      }
      p.Set(x, y, c);
    }
  }
  // The ward line: a bright band across the shield, with a vertical stroke through it.
  const int band = std::max(2, height / 10);
  const int bandTop = top + height * 38 / 100;
  for (int y = bandTop; y < bandTop + band; ++y) {
    const double v = double(y - top) / height;
    const double w = ShieldHalfWidth(v) * half - std::max(2.0, width / 10.0);
    for (int x = int(cx - w); x <= int(cx + w); ++x) p.Set(x, y, PixelRgb(120, 200, 255));
  }
  const int stroke = std::max(1, width / 14);
  for (int y = top + height / 8; y < top + height * 85 / 100; ++y) {
    for (int x = cx - stroke / 2; x <= cx + stroke / 2; ++x) p.Set(x, y, PixelRgb(170, 220, 255));
  }
}

// A 5 by 7 dot font for the letters of the product name.
const char* Glyph(char c) {
  switch (c) {
    case 'W': return "10001100011000110101101011101110001";
    case 'A': return "01110100011000111111100011000110001";
    case 'R': return "11110100011000111110101001001010001";
    case 'D': return "11110100011000110001100011000111110";
    case 'L': return "10000100001000010000100001000011111";
    case 'I': return "01110001000010000100001000010001110";
    case 'N': return "10001110011010110011100011000110001";
    case 'E': return "11111100001000011110100001000011111";
    default: return "00000000000000000000000000000000000";
  }
}

void DrawText(Picture& p, const char* text, int left, int top, int scale, std::uint32_t color) {
  for (int i = 0; text[i]; ++i) {
    const char* g = Glyph(text[i]);
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (g[row * 5 + col] != '1') continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) p.Set(left + (i * 6 + col) * scale + dx, top + row * scale + dy, color);
        }
      }
    }
  }
}

}  // namespace

ui::Picture Splash() {
  Picture p(400, 316);
  VerticalGradient(p, 8, 24, 72, 30, 80, 170);
  // Faint horizontal ward lines across the background.
  for (int y = 20; y < p.height; y += 24) {
    for (int x = 0; x < p.width; ++x) {
      const std::uint32_t c = p.At(x, y);
      p.Set(x, y, PixelRgb(std::min(255, int((c >> 16) & 0xFF) + 18), std::min(255, int((c >> 8) & 0xFF) + 24),
                           std::min(255, int(c & 0xFF) + 30)));
    }
  }
  DrawShield(p, 110, 48, 140, 200);
  DrawText(p, "WARDLINE", 200, 130, 4, PixelRgb(235, 245, 255));
  for (int x = 200; x < 388; ++x) p.Set(x, 166, PixelRgb(120, 200, 255));
  return p;
}

ui::Picture MainBanner() {
  Picture p(101, 279);
  VerticalGradient(p, 20, 60, 150, 6, 18, 60);
  DrawShield(p, 50, 20, 72, 100);
  for (int y = 140; y < p.height; y += 12) {
    for (int x = 12; x < 89; ++x) p.Set(x, y, PixelRgb(40, 90, 180));
  }
  return p;
}

ui::Picture SectionIcon(int variant) {
  Picture p(32, 32, PixelRgb(236, 233, 216));
  DrawShield(p, 16, 1, 28, 30);
  // A small mark per section in the shield's lower half.
  const std::uint32_t marks[] = {PixelRgb(255, 255, 255), PixelRgb(255, 210, 80), PixelRgb(255, 110, 90),
                                 PixelRgb(140, 255, 160)};
  const std::uint32_t mark = marks[std::clamp(variant, 0, 3)];
  for (int y = 17; y < 22; ++y) {
    for (int x = 14; x < 19; ++x) p.Set(x, y, mark);
  }
  return p;
}

ui::Picture AboutBadge() {
  Picture p(64, 64, PixelRgb(0, 0, 102));
  DrawShield(p, 32, 4, 52, 56);
  return p;
}

}  // namespace pictures

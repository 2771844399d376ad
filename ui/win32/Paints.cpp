#include "ui/win32/Paints.h"

#include <algorithm>
#include <string>
#include <utility>

namespace ui::win32 {
namespace {
constexpr int kFontPoints = 8;
constexpr int kPointsPerInch = 72;
}  // namespace

Paints::Paints() {
  HDC screen = ::GetDC(nullptr);
  dpi_ = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;
}

HFONT Paints::Font() { return Font(::MulDiv(kFontPoints, dpi_, kPointsPerInch)); }

HFONT Paints::Font(int pixels) {
  auto it = fonts_.find(pixels);
  if (it == fonts_.end()) {
    FontOwner font(::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    it = fonts_.emplace(pixels, std::move(font)).first;
  }
  return it->second ? it->second.Get() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

HBRUSH Paints::Brush(Color color) {
  auto it = brushes_.find(color);
  if (it != brushes_.end()) return it->second.Get();
  BrushOwner brush(::CreateSolidBrush(color));
  if (!brush) return nullptr;
  const HBRUSH handle = brush.Get();
  brushes_.emplace(color, std::move(brush));
  return handle;
}

void Paints::FitLabel(HWND label) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(label)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
  RECT box{};
  ::GetClientRect(label, &box);
  HDC dc = ::GetDC(label);
  if (!dc) return;
  int pixels = ::MulDiv(kFontPoints, dpi_, kPointsPerInch);
  const int smallest = std::max(1, pixels * 3 / 4);
  for (; pixels > smallest; --pixels) {
    HGDIOBJ old = ::SelectObject(dc, Font(pixels));
    RECT needed{0, 0, box.right, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    ::SelectObject(dc, old);
    if (needed.right <= box.right && needed.bottom <= box.bottom) break;
  }
  ::ReleaseDC(label, dc);
  if (reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)) != Font(pixels)) {
    ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(Font(pixels)), TRUE);
  }
}

}  // namespace ui::win32

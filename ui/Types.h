#pragma once
#include <cstdint>
#include <string>

// Small value types shared by the toolkit's forms, controls and backends.
namespace ui {

// A colour as red, green and blue bytes (0x00BBGGRR, the layout Win32 calls COLORREF).
using Color = std::uint32_t;
constexpr Color Rgb(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr Color kWhite = Rgb(255, 255, 255);
constexpr Color kBlack = Rgb(0, 0, 0);
constexpr Color kButtonFace = Rgb(236, 233, 216);  // the headless stand-in for the system colour

// Positions and sizes of forms and controls are kept in twips (1440 per inch).
struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

enum class BorderStyle { None, FixedSingle, FixedDialog };

// Mouse buttons as events report them; shift state: 1 Shift, 2 Ctrl, 4 Alt.
constexpr int kShiftMask = 1;
constexpr int kCtrlMask = 2;
constexpr int kAltMask = 4;
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 4;

struct MouseEventArgs {
  int button = 0;
  int shift = 0;
  int x = 0;  // twips, relative to the control
  int y = 0;
};

// Character codes of the keys the toolkit itself handles.
constexpr int kKeyEnter = 13;
constexpr int kKeyEscape = 27;
// Key events carry virtual-key codes: a letter's code is its upper-case character.
constexpr int kKeyA = 65;

// Error a property raises for a value it refuses.
constexpr long kInvalidPropertyValue = 380;

}  // namespace ui

#pragma once
#include <windows.h>

#include <map>

#include "ui/Types.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {

// The screen's resolution and the fonts and brushes that the backend's windows paint with, each made on
// first use and kept until the backend goes. It outlives every window that uses them.
class Paints {
 public:
  Paints();
  Paints(const Paints&) = delete;
  Paints& operator=(const Paints&) = delete;

  // Pixels per logical inch of the screen.
  int Dpi() const noexcept { return dpi_; }

  // The font of the controls: 8-point "MS Sans Serif", the font of the dialogs that the layouts in twips
  // were made for (the system's message font, Tahoma or Segoe UI, is wider and would cut the labels'
  // texts). In `pixels` (the height of its characters) for a label that it does not fit (FitLabel). The
  // stock GUI font when it cannot be had.
  HFONT Font();
  HFONT Font(int pixels);
  // A solid brush of `color`; null when it cannot be had.
  HBRUSH Brush(Color color);

  // Where the system has no "MS Sans Serif" it gives a wider face in its place: a label whose text does
  // not fit its box in the controls' font then takes the largest smaller size of that font in which it
  // does, so that the whole text shows where the layout puts it. Where the font is there, every label
  // keeps it.
  void FitLabel(HWND label);

 private:
  int dpi_ = 96;
  std::map<int, FontOwner> fonts_;  // by the height of their characters, in pixels
  std::map<Color, BrushOwner> brushes_;
};

}  // namespace ui::win32

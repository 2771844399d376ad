#pragma once
#include "ui/Picture.h"

// The program's pictures, drawn in code: a blue shield with a bright ward line across it.
namespace pictures {

// The splash picture, 400 by 316 pixels.
ui::Picture Splash();
// The tall picture on the left of the main window, 101 by 279 pixels.
ui::Picture MainBanner();
// The 32 by 32 icons of the main window's three sections (0 learn more, 1 support, 2 removal) and of
// the progress dialog (3).
ui::Picture SectionIcon(int variant);
// The About window's picture, 64 by 64 pixels.
ui::Picture AboutBadge();

}  // namespace pictures

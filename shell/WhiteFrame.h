#pragma once
#include "ui/Form.h"

// Draws the frame that the About and uninstall-feedback windows show along their edges: two white
// rectangles one pixel apart (at the usual 15 twips per pixel), as eight lines over the form's drawing
// area in its own units.
void DrawWhiteFrame(ui::Form& form);

#include "shell/WhiteFrame.h"

void DrawWhiteFrame(ui::Form& form) {
  const int W = form.ScaleWidth();
  const int H = form.ScaleHeight();
  const ui::Color white = ui::Rgb(255, 255, 255);
  form.DrawLine(0, 0, W, 0, white);
  form.DrawLine(W - 14, 0, W - 14, H, white);
  form.DrawLine(0, 0, 0, H, white);
  form.DrawLine(0, H - 14, W, H - 14, white);
  form.DrawLine(14, 14, W, 14, white);
  form.DrawLine(W - 28, 14, W - 28, H, white);
  form.DrawLine(14, 14, 14, H, white);
  form.DrawLine(14, H - 28, W, H - 28, white);
}

#include "shell/app/FAbout.h"

#include "shell/app/FMain.h"
#include "shell/MWDL.h"
#include "shell/Pictures.h"
#include "shell/Product.h"
#include "shell/WhiteFrame.h"

namespace {
constexpr ui::Color kAboutBlue = ui::Rgb(0, 0, 102);
}

FAbout::FAbout()
    : ui::Form(L"FAbout"),
      // The text takes the frame's whole width, so that each of its lines fits on one line; the picture
      // sits below the frame, beside the link.
      Frame1(*this, L"Frame1", ui::TwipsRect{120, 120, 4995, 2130}),
      Image1(*this, L"Image1", ui::TwipsRect{240, 2340, 960, 960}, pictures::AboutBadge()),
      lblName(*this, L"lblName", ui::TwipsRect{255, 300, 4725, 1800}),
      lblVisitWebsite(*this, L"lblVisitWebsite", ui::TwipsRect{1380, 2670, 2460, 255},
                      std::wstring(L"Go ") + product::kWebSite),
      cmdOK(*this, L"cmdOK", ui::TwipsRect{3975, 2745, 1020, 345}, L"OK") {
  SetCaption(L"Wardline");
  SetBorderStyle(ui::BorderStyle::None);
  SetClientSize(5235, 3420);
  SetBackColor(kAboutBlue);
  SetKeyPreview(true);
  for (ui::Control* control : {static_cast<ui::Control*>(&Frame1), static_cast<ui::Control*>(&lblName),
                               static_cast<ui::Control*>(&lblVisitWebsite)}) {
    control->SetForeColor(ui::kWhite);
    control->SetBackColor(kAboutBlue);
  }
  cmdOK.SetDefault(true);
  cmdOK.SetCancel(true);

  OnLoad = [this] { Form_Load(); };
  OnKeyPress = [this](int& key) { Form_KeyPress(key); };
  cmdOK.OnClick = [this] { cmdOK_Click(); };
  Image1.OnDblClick = [this] { Image1_DblClick(); };
  lblVisitWebsite.OnMouseUp = [this](const ui::MouseEventArgs& args) { lblVisitWebsite_MouseUp(args); };
}

std::wstring FAbout::AboutText() {
  const std::wstring crlf = L"\r\n";
  return L"Wardline Version " + MWDL::gsVersion + crlf + crlf +
         L"Copyright (C) 2004-2026 Brevant Software." + crlf +
         L"All rights reserved." + crlf + crlf +
         L"Warning: this program is protected by copyright law" + crlf +
         L"and international treaties." + crlf;
}

void FAbout::Form_Load() {
  lblName.SetCaption(AboutText());
  DrawWhiteFrame(*this);
}

void FAbout::cmdOK_Click() {
  try {
    Unload();
  } catch (...) {
    // Errors while closing the About window are ignored.
  }
}

void FAbout::Form_KeyPress(int& KeyAscii) {
  if (KeyAscii == ui::kKeyEscape) Unload();
}

void FAbout::Image1_DblClick() { OpenWebSite(); }

void FAbout::lblVisitWebsite_MouseUp(const ui::MouseEventArgs& args) {
  if (args.button == ui::kLeftButton) OpenWebSite();
}

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
      Frame1(*this, L"Frame1", ui::TwipsRect{180, 180, 4845, 2520}),
      Image1(*this, L"Image1", ui::TwipsRect{360, 420, 960, 960}, pictures::AboutBadge()),
      lblName(*this, L"lblName", ui::TwipsRect{1500, 420, 3420, 1980}),
      lblVisitWebsite(*this, L"lblVisitWebsite", ui::TwipsRect{360, 2820, 4560, 255},
                      std::wstring(L"Go ") + product::kWebSite),
      cmdOK(*this, L"cmdOK", ui::TwipsRect{3960, 2880, 1020, 345}, L"OK") {
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
  }
}

void FAbout::Form_KeyPress(int& KeyAscii) {
  if (KeyAscii == ui::kKeyEscape) Unload();
}

void FAbout::Image1_DblClick() { OpenWebSite(); }

void FAbout::lblVisitWebsite_MouseUp(const ui::MouseEventArgs& args) {
  if (args.button == ui::kLeftButton) OpenWebSite();
}

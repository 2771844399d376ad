#pragma once
#include <string>

#include "ui/Controls.h"
#include "ui/Form.h"

// The About window: product name and version, the maker's notice and a link to the web site, on dark
// blue inside a white double frame drawn when it loads. OK, Enter and Escape close it.
class FAbout : public ui::Form {
 public:
  FAbout();

  // The About text: "Wardline Version " & gsVersion, the notice and the warning.
  static std::wstring AboutText();

  ui::Frame Frame1;
  ui::Image Image1;
  ui::Label lblName;
  ui::Label lblVisitWebsite;
  ui::Button cmdOK;

  void Form_KeyPress(int& KeyAscii);

 private:
  void Form_Load();
  void cmdOK_Click();
  void Image1_DblClick();
  void lblVisitWebsite_MouseUp(const ui::MouseEventArgs& args);
};

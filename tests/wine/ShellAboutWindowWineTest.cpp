// The About window on real windows: what it shows, read back from its pixels and measured with the
// font its label uses.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "shell/app/FAbout.h"
#include "shell/MWDL.h"
#include "tests/wine/UiWin32Fixture.h"
#include "tests/wine/WindowPixels.h"

namespace {

using namespace ui_wine;

// A rectangle of a window in the coordinates of its form's client area.
RECT InForm(HWND window, HWND form) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The About window shown on a Win32 backend of its own, painted.
class ShellAboutWindowWine : public UiWin32Test {
 protected:
  void SetUp() override {
    UiWin32Test::SetUp();
    MWDL::gsVersion = L"2.0.24";
    about_ = std::make_unique<FAbout>();
    about_->Show();
    form_ = H(about_->Native());
    ::RedrawWindow(form_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ui::DoEvents();
  }
  void TearDown() override {
    about_.reset();
    UiWin32Test::TearDown();
    MWDL::gsVersion = saved_;
    EXPECT_TRUE(errors.empty());
  }

  std::unique_ptr<FAbout> about_;
  HWND form_ = nullptr;

 private:
  std::wstring saved_ = MWDL::gsVersion;
};

// Inside its edge, wherever no other control lies, the frame shows the form's dark blue: it paints its
// inside although the form, which clips its children, does not paint there. The text on it still shows.
TEST_F(ShellAboutWindowWine, FrameShowsTheFormsDarkBlueInside) {
  ASSERT_TRUE(::IsWindowVisible(form_));
  std::vector<RECT> onTop;
  for (ui::Control* control : about_->Controls()) {
    if (control != &about_->Frame1) onTop.push_back(InForm(H(control->Native()), form_));
  }
  RECT client{};
  ::GetClientRect(form_, &client);
  HDC dc = ::GetDCEx(form_, nullptr, DCX_CACHE);  // without DCX_CLIPCHILDREN: the children's pixels too
  const wine_pixels::Pixels pixels(dc, client);
  ::ReleaseDC(form_, dc);
  const auto count = wine_pixels::CountOtherThan(
      pixels, wine_pixels::InsideOfFrame(InForm(H(about_->Frame1.Native()), form_)), onTop, RGB(0, 0, 102));
  ASSERT_GT(count.checked, 1000) << "the frame's inside is all covered";
  EXPECT_EQ(count.other, 0) << "of " << count.checked << " pixels; the first is 0x" << std::hex << count.firstOther;
  const auto text = wine_pixels::CountOtherThan(pixels, InForm(H(about_->lblName.Native()), form_), {}, RGB(0, 0, 102));
  EXPECT_GT(text.other, 100) << "no text on the label";
}

// Each line of the About text fits the label's width in the label's own font, so the text wraps nowhere,
// and all of it fits the label's height.
TEST_F(ShellAboutWindowWine, EachLineOfTheAboutTextFitsTheLabel) {
  HWND label = H(about_->lblName.Native());
  RECT client{};
  ::GetClientRect(label, &client);
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));

  const std::wstring text = about_->lblName.Caption();
  std::vector<std::wstring> lines;  // split at "\r\n"
  std::wistringstream stream(text);
  for (std::wstring line; std::getline(stream, line);) lines.push_back(line.substr(0, line.find(L'\r')));
  ASSERT_GE(lines.size(), 7u) << "name, notice and warning";
  for (const std::wstring& line : lines) {
    RECT needed{0, 0, 0, 0};
    ::DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_LE(needed.right, client.right) << "does not fit on one line: " << std::string(line.begin(), line.end());
  }
  RECT wrapped{0, 0, client.right, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  RECT unwrapped{0, 0, 0x7FFF, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &unwrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  EXPECT_EQ(wrapped.bottom, unwrapped.bottom) << "the text wraps in the label";
  EXPECT_LE(wrapped.bottom, client.bottom) << "the text is taller than the label";

  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
}

}  // namespace

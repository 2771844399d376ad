// What the program's windows show on real Win32, as laid out in twips: every label's whole text,
// measured with the font the label really uses, and the uninstall window's separator line, read back
// from its pixels.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/TextCodec.h"
#include "removal/FRestoreFiles.h"
#include "removal/FSpywareRemover.h"
#include "report/FRequestSupport.h"
#include "report/FSendInfo.h"
#include "shell/FProgressor.h"
#include "shell/Strings.h"
#include "shell/app/FAbout.h"
#include "shell/app/FMain.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/UiWin32Fixture.h"
#include "tests/wine/WindowPixels.h"

namespace {

using namespace ui_wine;
using ::testing::IsEmpty;

class WindowLayoutWine : public UiWin32Test {
 protected:
  wine_test::ProgramWideObjects objects{std::make_shared<wine_test::RecordingLogger>()};
};

// The label's text as its window holds it, laid out in the font the window uses at the window's width:
// "" when it fits the window, else what it needs.
std::string CutText(HWND label) {
  const std::wstring text = TextOf(label);
  RECT client{};
  ::GetClientRect(label, &client);
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, client.right, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  if (needed.right <= client.right && needed.bottom <= client.bottom) return "";
  return "\"" + qn::ToUtf8(text) + "\" needs " + std::to_string(needed.right) + " x " + std::to_string(needed.bottom) +
         " pixels, has " + std::to_string(client.right) + " x " + std::to_string(client.bottom);
}

// Every label of every window, with the texts the program gives it: none is cut.
TEST_F(WindowLayoutWine, EveryLabelOfEveryWindowShowsItsWholeText) {
  FMain main;  // its texts as the start-up sets them
  main.Label1.SetCaption(LoadResString(134));
  main.Label2.SetCaption(LoadResString(135));
  main.Label3.SetCaption(LoadResString(136));
  FAbout about;
  FRequestSupport support;
  FSendInfo uninstall;
  FSpywareRemover removal;
  FRestoreFiles restore;
  FProgressor supportProgress, removalProgress;
  supportProgress.Init(LoadResString(111), LoadResString(112));
  removalProgress.Init(LoadResString(113), LoadResString(114));
  // The splash window has no label.
  std::vector<std::string> cut;
  int measured = 0;
  for (ui::Form* window : std::vector<ui::Form*>{&main, &about, &support, &uninstall, &removal, &restore,
                                                  &supportProgress, &removalProgress}) {
    window->Load();
    for (ui::Control* control : window->Controls()) {
      if (control->Kind() != ui::ControlKind::Label) continue;
      HWND label = H(control->Native());
      ASSERT_TRUE(::IsWindow(label));
      ASSERT_FALSE(TextOf(label).empty()) << qn::ToUtf8(window->Name() + L"." + control->Name());
      const std::string text = CutText(label);
      if (!text.empty()) cut.push_back(qn::ToUtf8(window->Name() + L"." + control->Name() + L": ") + text);
      ++measured;
    }
  }
  EXPECT_EQ(measured, 22);
  EXPECT_THAT(cut, IsEmpty());
  EXPECT_TRUE(errors.empty());
}

// The uninstall window's Frame1, a frame without caption 20 twips high, is drawn as an etched line across
// its width: a shadow row and a light row under it, the form's background around, as the separator
// lines of the other windows show.
TEST_F(WindowLayoutWine, UninstallWindowDrawsItsFrameAsAnEtchedLine) {
  FSendInfo window;
  window.Show();
  HWND form = H(window.Native());
  ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  ui::DoEvents();
  const int left = ui::TwipsToPixels(1905), top = ui::TwipsToPixels(1320), right = left + ui::TwipsToPixels(3615);
  RECT client{};
  ::GetClientRect(form, &client);
  HDC dc = ::GetDCEx(form, nullptr, DCX_CACHE);  // without DCX_CLIPCHILDREN: the children's pixels too
  const wine_pixels::Pixels pixels(dc, client);
  ::ReleaseDC(form, dc);

  const auto row = [&](int y, int from, int to, COLORREF colour) {
    return wine_pixels::CountOtherThan(pixels, RECT{from, y, to, y + 1}, {}, colour).other;
  };
  const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW), light = ::GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF background = window.BackColor();
  ASSERT_NE(shadow, background);
  EXPECT_EQ(row(top, left, right - 1, shadow), 0);  // the last one is the light edge's, as on a separator line
  EXPECT_EQ(row(top + 1, left, right, light), 0);
  // Nothing of the line above it, below it, or beyond its ends.
  EXPECT_EQ(row(top - 1, left, right, background), 0);
  EXPECT_EQ(row(top + 2, left, right, background), 0);
  EXPECT_EQ(row(top, left - 4, left, background) + row(top, right, right + 4, background), 0);
}

}  // namespace

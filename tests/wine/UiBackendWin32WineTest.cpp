// The toolkit's Win32 backend on real windows: what it creates it also releases.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/wine/UiWin32Fixture.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

using namespace ui_wine;

// Its own backend for each test; whatever was installed before comes back afterwards.
using UiBackendWin32Wine = UiWin32Test;

// The font it made for the controls, the brushes it made for their colours, its helper window
// and the windows of a form still loaded all go with the backend.
TEST_F(UiBackendWin32Wine, ReleasesItsFontBrushesAndWindowsWhenItGoes) {
  ui::Form form(L"FHolder");
  ui::Label label(form, L"lblText", ui::TwipsRect{120, 120, 2400, 300}, L"text");
  label.SetBackColor(ui::Rgb(1, 2, 3));
  form.Show();
  const HWND window = H(form.Native());
  const HWND labelWindow = H(label.Native());
  ASSERT_TRUE(::IsWindow(labelWindow));

  const auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(labelWindow, WM_GETFONT, 0, 0));
  HDC dc = ::GetDC(labelWindow);
  const auto brush = reinterpret_cast<HGDIOBJ>(
      ::SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(labelWindow)));
  ::ReleaseDC(labelWindow, dc);
  const std::vector<HWND> helpers = ThreadWindows(L"WDL.Helper");
  ASSERT_NE(font, ::GetStockObject(DEFAULT_GUI_FONT)) << "the backend made no font of its own";
  ASSERT_EQ(::GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  ASSERT_EQ(::GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  ASSERT_EQ(helpers.size(), 1u);

  EndBackend();
  // Font, brush, helper window and form window all gone; the toolkit's handles cleared.
  EXPECT_EQ(std::tuple(::GetObjectType(font), ::GetObjectType(brush), ::IsWindow(helpers[0]), ::IsWindow(window)),
            std::tuple(0u, 0u, FALSE, FALSE));
  EXPECT_EQ(std::tuple(form.Native(), label.Native()), std::tuple(0u, 0u));
  EXPECT_TRUE(errors.empty());
}

// A form object destroyed while it is loaded (the program's end after a run-time error, with its main
// window still up) takes its windows along, control by control, as its parts go.
TEST_F(UiBackendWin32Wine, FormDestroyedWhileLoadedTakesItsWindowsAlong) {
  struct FHolder : ui::Form {
    FHolder()
        : ui::Form(L"FHolder"),
          lblText(*this, L"lblText", ui::TwipsRect{120, 120, 2400, 300}, L"text"),
          cmdOK(*this, L"cmdOK", ui::TwipsRect{120, 600, 1200, 345}, L"OK") {}
    ui::Label lblText;
    ui::Button cmdOK;
  };
  HWND window = nullptr, label = nullptr, button = nullptr;
  {
    FHolder form;
    form.Show();
    window = H(form.Native());
    label = H(form.lblText.Native());
    button = H(form.cmdOK.Native());
    ASSERT_TRUE(::IsWindow(label) && ::IsWindow(button));
  }
  EXPECT_EQ(std::tuple(::IsWindow(label), ::IsWindow(button), ::IsWindow(window)), std::tuple(FALSE, FALSE, FALSE));
  EXPECT_TRUE(errors.empty());
}

}  // namespace

// The toolkit and the shell's windows on real Win32 windows: the main window, the separator line and
// the progress dialog running a job.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "shell/app/FMain.h"
#include "shell/FProgressor.h"
#include "shell/StaticLine.h"
#include "shell/Strings.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

using namespace ui_wine;

RECT RectOf(HWND hwnd) {
  RECT rect{-1, -1, -1, -1};
  GetWindowRect(hwnd, &rect);
  return rect;
}

int WidthOf(HWND hwnd) { return RectOf(hwnd).right - RectOf(hwnd).left; }

// The captions of a menu's items, "-" for a separator.
std::vector<std::wstring> MenuTexts(HMENU menu) {
  std::vector<std::wstring> texts;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t caption[64] = L"\x2603poison";
    MENUITEMINFOW info{sizeof(MENUITEMINFOW), MIIM_FTYPE | MIIM_STRING, 0, 0, 0, nullptr, nullptr, nullptr, 0,
                       caption, 64, nullptr};
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    texts.push_back((info.fType & MFT_SEPARATOR) ? L"-" : caption);
  }
  return texts;
}

using UiWindowsWine = UiWin32Test;

TEST_F(UiWindowsWine, MainWindowIsShownWithItsMenusAndTexts) {
  FMain main;
  ASSERT_EQ(main.Form_Initialize(), FMain::StartupResult::ShowMain) << "start-up ended (components missing?)";
  main.Show();
  HWND hwnd = H(main.Native());
  ASSERT_TRUE(IsWindow(hwnd));
  // Not resizable: no thick frame.
  EXPECT_EQ(std::tuple(IsWindowVisible(hwnd) != FALSE, TextOf(hwnd), ClassOf(hwnd),
                       GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_THICKFRAME),
            std::tuple(true, L"Wardline", L"WDL.Form", 0));

  HMENU bar = GetMenu(hwnd);  // none: no items
  EXPECT_EQ(MenuTexts(bar), (std::vector<std::wstring>{L"&File", L"&Tools", L"&Help"}));
  EXPECT_EQ(MenuTexts(GetSubMenu(bar, 2)),
            (std::vector<std::wstring>{L"Wardline Home Page", L"-", L"&About Wardline..."}));

  EXPECT_EQ(std::tuple(TextOf(H(main.Label1.Native())), TextOf(H(main.Label2.Native())),
                       TextOf(H(main.Label3.Native()))),
            std::tuple(LoadResString(134), LoadResString(135), LoadResString(136)));
  EXPECT_EQ(std::tuple(ClassOf(H(main.cmdLearnMore.Native())), TextOf(H(main.cmdLearnMore.Native()))),
            std::tuple(L"Button", L"Learn More..."));
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(std::tuple(client.right, client.bottom), std::tuple(ui::TwipsToPixels(7770), ui::TwipsToPixels(5010)));

  main.FindMenu(L"mnuExit")->PerformClick(main.Name());
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(errors.empty());
}

TEST_F(UiWindowsWine, StaticLineHostsAnEtchedStaticThatFollowsItsWidth) {
  ui::Form form(L"FHolder");
  form.SetClientSize(9000, 1500);
  StaticLine line(form, L"StaticLine1", ui::TwipsRect{180, 300, 4755, 105});
  form.Show();
  HWND host = H(line.Native());
  HWND child = H(line.LineWindow());
  ASSERT_TRUE(IsWindow(host) && IsWindow(child));
  EXPECT_EQ(std::tuple(ClassOf(host), ClassOf(child), TextOf(child), GetParent(child)),
            std::tuple(L"WDL.StaticLine", L"Static", L"StaticLine", host));
  EXPECT_EQ(std::tuple(static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)),
                       static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE))),
            std::tuple(0x50000010u, 0x20004u));
  // As made, and after each move.
  for (int width : {4755, 7425, 1500, 8000}) {
    if (width != 4755) line.Move(ui::TwipsRect{180, 300, width, 105});
    EXPECT_EQ(std::tuple(WidthOf(host), WidthOf(child), RectOf(child).left, RectOf(child).top),
              std::tuple(ui::TwipsToPixels(width), WidthOf(host), RectOf(host).left, RectOf(host).top))
        << width;
  }
  form.Unload();
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(line.LineWindow(), 0u);
}

TEST_F(UiWindowsWine, ProgressDialogRunsAJobModallyAndSeesACancelClick) {
  ui::Form owner(L"FOwner");
  owner.SetCaption(L"Owner");
  owner.Show();
  FProgressor dialog;
  dialog.Init(LoadResString(111), LoadResString(112));
  std::vector<std::pair<int, bool>> steps;  // the bar's position and Cancelled() after each Progress
  const auto step = [&](int percent) {
    dialog.Progress(percent);
    steps.emplace_back(static_cast<int>(SendMessageW(H(dialog.pb.Native()), PBM_GETPOS, 0, 0)), dialog.Cancelled());
  };
  std::tuple<bool, bool> shownOverDisabledOwner;
  dialog.Started = [&] {
    shownOverDisabledOwner = {IsWindowVisible(H(dialog.Native())) != FALSE, !IsWindowEnabled(H(owner.Native()))};
    for (int percent = 0; percent <= 100; percent += 20) {
      step(percent);
      // The user presses Cancel once, while the job is at 40%; the click is served in the next Progress.
      if (percent == 40) PostMessageW(H(dialog.cmdCancel.Native()), BM_CLICK, 0, 0);
    }
    step(150);  // refused by the bar, no error
  };
  dialog.ShowProgress(true, &owner);

  EXPECT_EQ(shownOverDisabledOwner, std::tuple(true, true));
  EXPECT_EQ(steps, (std::vector<std::pair<int, bool>>{
                       {0, false}, {20, false}, {40, false}, {60, true}, {80, true}, {100, true}, {100, true}}));
  EXPECT_EQ(std::tuple(dialog.Loaded(), IsWindowEnabled(H(owner.Native())) != FALSE), std::tuple(false, true));
  EXPECT_EQ(platform::Desktop().MousePointer(), platform::kPointerDefault);
  EXPECT_TRUE(errors.empty());
}

TEST_F(UiWindowsWine, EscapeInTheProgressDialogPressesCancel) {
  FProgressor dialog;
  bool seen = false;
  dialog.Started = [&] {
    HWND focus = GetFocus();
    ASSERT_NE(focus, nullptr);
    PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    dialog.Progress(10);
    seen = dialog.Cancelled();
  };
  dialog.ShowProgress(true);
  EXPECT_TRUE(seen);
}

TEST_F(UiWindowsWine, ClipboardTextRoundTrips) {
  ASSERT_TRUE(ui::SetClipboardText(L"line 1\r\nline 2 \x00e9"));
  EXPECT_EQ(ui::ClipboardText(), L"line 1\r\nline 2 \x00e9");
}

}  // namespace

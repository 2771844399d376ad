// The toolkit and the shell's windows on real Win32 windows: the main window, the separator line and
// the progress dialog running a job.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Error.h"
#include "platform/Platform.h"
#include "shell/app/FMain.h"
#include "shell/FProgressor.h"
#include "shell/StaticLine.h"
#include "shell/Strings.h"
#include "ui/Backend.h"
#include "ui/BackendWin32.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

std::wstring WindowText(HWND hwnd) {
  wchar_t text[1024] = L"\x2603poison";
  GetWindowTextW(hwnd, text, 1024);
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = L"\x2603poison";
  GetClassNameW(hwnd, name, 256);
  return name;
}

RECT RectOf(HWND hwnd) {
  RECT rect{-1, -1, -1, -1};
  GetWindowRect(hwnd, &rect);
  return rect;
}

int WidthOf(HWND hwnd) { return RectOf(hwnd).right - RectOf(hwnd).left; }

std::wstring MenuText(HMENU menu, int position) {
  wchar_t caption[64] = L"\x2603poison";
  GetMenuStringW(menu, static_cast<UINT>(position), caption, 64, MF_BYPOSITION);
  return caption;
}

using UiWindowsWine = UiWin32Test;

TEST_F(UiWindowsWine, MainWindowIsShownWithItsMenusAndTexts) {
  FMain main;
  ASSERT_EQ(main.Form_Initialize(), FMain::StartupResult::ShowMain) << "start-up ended (components missing?)";
  main.Show();
  HWND hwnd = H(main.Native());
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(WindowText(hwnd), L"Wardline");
  EXPECT_EQ(ClassOf(hwnd), L"WDL.Form");
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_THICKFRAME, 0);  // it cannot be resized

  HMENU bar = GetMenu(hwnd);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 3);
  EXPECT_EQ(std::tuple(MenuText(bar, 0), MenuText(bar, 1), MenuText(bar, 2)),
            std::tuple(L"&File", L"&Tools", L"&Help"));
  HMENU help = GetSubMenu(bar, 2);
  ASSERT_EQ(GetMenuItemCount(help), 3);
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoW(help, 1, TRUE, &info));
  EXPECT_TRUE(info.fType & MFT_SEPARATOR);
  EXPECT_EQ(MenuText(help, 2), L"&About Wardline...");

  EXPECT_EQ(std::tuple(WindowText(H(main.Label1.Native())), WindowText(H(main.Label2.Native())),
                       WindowText(H(main.Label3.Native()))),
            std::tuple(LoadResString(134), LoadResString(135), LoadResString(136)));
  EXPECT_EQ(ClassOf(H(main.cmdLearnMore.Native())), L"Button");
  EXPECT_EQ(WindowText(H(main.cmdLearnMore.Native())), L"Learn More...");
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
  ASSERT_TRUE(IsWindow(host));
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(ClassOf(host), L"WDL.StaticLine");
  EXPECT_EQ(ClassOf(child), L"Static");
  EXPECT_EQ(WindowText(child), L"StaticLine");
  EXPECT_EQ(GetParent(child), host);
  EXPECT_EQ(std::tuple(static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)),
                       static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE))),
            std::tuple(0x50000010u, 0x20004u));
  EXPECT_EQ(WidthOf(child), WidthOf(host));

  for (int width : {7425, 1500, 8000}) {
    line.Move(ui::TwipsRect{180, 300, width, 105});
    EXPECT_EQ(WidthOf(host), ui::TwipsToPixels(width)) << width;
    EXPECT_EQ(WidthOf(child), WidthOf(host)) << width;
    EXPECT_EQ(std::tuple(RectOf(child).left, RectOf(child).top), std::tuple(RectOf(host).left, RectOf(host).top))
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
  std::vector<int> positions;
  std::vector<bool> cancelled;
  bool ownerDisabled = false, dialogVisible = false;
  const auto position = [&] { return static_cast<int>(SendMessageW(H(dialog.pb.Native()), PBM_GETPOS, 0, 0)); };
  dialog.Started = [&] {
    dialogVisible = IsWindowVisible(H(dialog.Native())) != FALSE;
    ownerDisabled = !IsWindowEnabled(H(owner.Native()));
    for (int percent = 0; percent <= 100; percent += 20) {
      dialog.Progress(percent);
      positions.push_back(position());
      cancelled.push_back(dialog.Cancelled());
      // The user presses Cancel once, while the job is at 40%; the click is served in the next Progress.
      if (percent == 40) PostMessageW(H(dialog.cmdCancel.Native()), BM_CLICK, 0, 0);
    }
    dialog.Progress(150);  // refused by the bar, no error
    positions.push_back(position());
  };
  dialog.ShowProgress(true, &owner);

  EXPECT_TRUE(dialogVisible);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(positions, (std::vector<int>{0, 20, 40, 60, 80, 100, 100}));
  EXPECT_EQ(cancelled, (std::vector<bool>{false, false, false, true, true, true}));
  EXPECT_FALSE(dialog.Loaded());
  EXPECT_TRUE(IsWindowEnabled(H(owner.Native())));
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

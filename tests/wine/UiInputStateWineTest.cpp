// The toolkit's input state on real Win32 windows: a locked edit box with a background of its own, the
// focus with its GotFocus event, key releases with their KeyUp event, a disabled form, and the Activate event, which a message box of the
// program does not raise again when it closes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "tests/wine/UiWin32Fixture.h"
#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

class Sheet : public ui::Form {
 public:
  Sheet()
      : ui::Form(L"FSheet"),
        txtShown(*this, L"txtShown", {120, 120, 3000, 300}),
        txtTyped(*this, L"txtTyped", {120, 600, 3000, 900}, true),
        cmdGo(*this, L"cmdGo", {120, 1700, 1200, 345}, L"Go") {
    SetCaption(L"Input state");
    SetClientSize(3400, 2300);
    txtShown.SetLocked(true);
    txtShown.SetBackColor(BackColor());
    txtShown.OnGotFocus = [this] { focusEvents.push_back(L"shown"); };
    txtTyped.OnGotFocus = [this] { focusEvents.push_back(L"typed"); };
    txtTyped.OnKeyUp = [this](int key, int shift) {
      keyEvents.push_back(std::to_wstring(key) + L" " + std::to_wstring(shift));
    };
    OnActivate = [this] { ++activations; };
  }
  ui::TextBox txtShown;
  ui::TextBox txtTyped;
  ui::Button cmdGo;
  std::vector<std::wstring> focusEvents;
  std::vector<std::wstring> keyEvents;  // "key shift"
  int activations = 0;
};

using UiInputStateWine = UiWin32Test;

TEST_F(UiInputStateWine, LockedBoxIsReadOnlyWithItsOwnBackground) {
  Sheet sheet;
  sheet.Show();
  HWND shown = H(sheet.txtShown.Native());
  HWND typed = H(sheet.txtTyped.Native());
  ASSERT_TRUE(IsWindow(shown));
  EXPECT_NE(GetWindowLongW(shown, GWL_STYLE) & ES_READONLY, 0);
  EXPECT_EQ(GetWindowLongW(typed, GWL_STYLE) & ES_READONLY, 0);

  // The colours the form hands the locked box: the background given to it.
  HDC dc = GetDC(shown);
  SetBkColor(dc, RGB(1, 2, 3));
  const LRESULT brush = SendMessageW(H(sheet.Native()), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(shown));
  EXPECT_NE(brush, 0);
  EXPECT_EQ(GetBkColor(dc), sheet.BackColor());
  ReleaseDC(shown, dc);

  sheet.txtShown.SetLocked(false);
  EXPECT_EQ(GetWindowLongW(shown, GWL_STYLE) & ES_READONLY, 0);
  sheet.txtTyped.SetLocked(true);
  EXPECT_NE(GetWindowLongW(typed, GWL_STYLE) & ES_READONLY, 0);
}

TEST_F(UiInputStateWine, SetFocusMovesTheSystemFocusAndRaisesGotFocusOnce) {
  Sheet sheet;
  sheet.Show();
  ASSERT_TRUE(PumpUntil([&] { return sheet.activations == 1; }));
  sheet.focusEvents.clear();
  sheet.txtTyped.SetFocus();
  ui::DoEvents();
  EXPECT_EQ(GetFocus(), H(sheet.txtTyped.Native()));
  EXPECT_EQ(sheet.focusEvents, std::vector<std::wstring>{L"typed"});
  sheet.txtShown.SetFocus();
  ui::DoEvents();
  EXPECT_EQ(sheet.focusEvents, (std::vector<std::wstring>{L"typed", L"shown"}));
  EXPECT_EQ(sheet.Focused(), &sheet.txtShown);
}

// The keyboard state is the thread's as the key message is served: Ctrl held, then Ctrl and Shift.
TEST_F(UiInputStateWine, KeyReleasedInATextBoxRaisesKeyUpWithTheKeysHeld) {
  Sheet sheet;
  sheet.Show();
  sheet.txtTyped.SetFocus();
  BYTE keys[256] = {};
  ASSERT_TRUE(GetKeyboardState(keys));
  for (std::initializer_list<int> held : {std::initializer_list<int>{VK_CONTROL}, {VK_CONTROL, VK_SHIFT}}) {
    BYTE state[256];
    std::copy(std::begin(keys), std::end(keys), std::begin(state));
    for (int key : held) state[key] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state));
    PostMessageW(H(sheet.txtTyped.Native()), WM_KEYUP, 'A', 0xC01E0001);
    ui::DoEvents();
  }
  SetKeyboardState(keys);
  EXPECT_EQ(sheet.keyEvents, (std::vector<std::wstring>{L"65 2", L"65 3"}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(UiInputStateWine, DisabledFormIsADisabledWindow) {
  Sheet sheet;
  sheet.Show();
  HWND hwnd = H(sheet.Native());
  sheet.SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(hwnd));
  EXPECT_TRUE(IsWindowEnabled(H(sheet.cmdGo.Native())));  // the button keeps its own state
  sheet.SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
}

TEST_F(UiInputStateWine, MessageBoxGivesTheActivationBackWithoutActivateButAnotherFormRaisesIt) {
  Sheet sheet;
  sheet.Show();
  ASSERT_TRUE(PumpUntil([&] { return sheet.activations == 1; }));
  sheet.txtTyped.SetFocus();
  ui::DoEvents();

  {
    MessageBoxCloser closer;
    EXPECT_EQ(MessageBoxW(GetActiveWindow(), L"Done.", L"Wardline", MB_OK), IDOK);
    EXPECT_EQ(closer.texts, std::vector<std::wstring>{L"Done."});
  }
  // The focus comes back where the user left it, and no Activate came with it.
  const HWND typed = H(sheet.txtTyped.Native());
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == typed; }));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(sheet.activations, 1);

  // A form of the program in between is a change between forms.
  // Without a window manager (Xvfb) the activation does not always move by itself: move it where the
  // system would have put it, so that what is tested is the form's answer to the change.
  ui::Form other(L"FOther");
  other.Show(&sheet);
  const HWND otherWindow = H(other.Native());
  if (!PumpUntil([&] { return GetActiveWindow() == otherWindow; }, 1000)) SetActiveWindow(otherWindow);
  ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == otherWindow; }));
  other.Unload();
  const HWND sheetWindow = H(sheet.Native());
  if (!PumpUntil([&] { return GetActiveWindow() == sheetWindow; }, 1000)) SetActiveWindow(sheetWindow);
  EXPECT_TRUE(PumpUntil([&] { return sheet.activations == 2; }));
}

}  // namespace

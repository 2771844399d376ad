// The toolkit's input state on real Win32 windows: a locked edit box with a background of its own, the
// focus with its GotFocus event, key releases with their KeyUp event, a disabled form, and the Activate
// event, which a message box of the program does not raise again when it closes.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "tests/wine/UiWin32Fixture.h"
#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

using namespace ui_wine;

bool ReadOnly(HWND edit) { return (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0; }

// Moves the activation to `window` where the system has not moved it by itself: without a window manager
// (Xvfb) it does not always, and what is tested is the form's answer to the change.
void ActivateWhenLate(HWND window) {
  if (!UiWin32Test::PumpUntil([&] { return GetActiveWindow() == window; }, 1000)) SetActiveWindow(window);
}

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
    Show();
  }
  void Focus(ui::TextBox& box) {
    box.SetFocus();
    ui::DoEvents();
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
  HWND shown = H(sheet.txtShown.Native());
  HWND typed = H(sheet.txtTyped.Native());
  ASSERT_TRUE(IsWindow(shown));
  EXPECT_EQ(std::tuple(ReadOnly(shown), ReadOnly(typed)), std::tuple(true, false));

  // The colours the form hands the locked box: the background given to it.
  HDC dc = GetDC(shown);
  SetBkColor(dc, RGB(1, 2, 3));
  const LRESULT brush = SendMessageW(H(sheet.Native()), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(shown));
  EXPECT_NE(brush, 0);
  EXPECT_EQ(GetBkColor(dc), sheet.BackColor());
  ReleaseDC(shown, dc);

  sheet.txtShown.SetLocked(false);
  sheet.txtTyped.SetLocked(true);
  EXPECT_EQ(std::tuple(ReadOnly(shown), ReadOnly(typed)), std::tuple(false, true));
}

TEST_F(UiInputStateWine, SetFocusMovesTheSystemFocusAndRaisesGotFocusOnce) {
  Sheet sheet;
  ASSERT_TRUE(PumpUntil([&] { return sheet.activations == 1; }));
  sheet.focusEvents.clear();
  sheet.Focus(sheet.txtTyped);
  EXPECT_EQ(GetFocus(), H(sheet.txtTyped.Native()));
  EXPECT_EQ(sheet.focusEvents, std::vector<std::wstring>{L"typed"});
  sheet.Focus(sheet.txtShown);
  EXPECT_EQ(sheet.focusEvents, (std::vector<std::wstring>{L"typed", L"shown"}));
  EXPECT_EQ(sheet.Focused(), &sheet.txtShown);
}

// The keyboard state is the thread's as the key message is served: Ctrl held, then Ctrl and Shift.
TEST_F(UiInputStateWine, KeyReleasedInATextBoxRaisesKeyUpWithTheKeysHeld) {
  Sheet sheet;
  sheet.Focus(sheet.txtTyped);
  std::array<BYTE, 256> keys{};
  ASSERT_TRUE(GetKeyboardState(keys.data()));
  for (std::initializer_list<int> held : {std::initializer_list<int>{VK_CONTROL}, {VK_CONTROL, VK_SHIFT}}) {
    std::array<BYTE, 256> state = keys;
    for (int key : held) state[key] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state.data()));
    PostMessageW(H(sheet.txtTyped.Native()), WM_KEYUP, 'A', 0xC01E0001);
    ui::DoEvents();
  }
  SetKeyboardState(keys.data());
  EXPECT_EQ(sheet.keyEvents, (std::vector<std::wstring>{L"65 2", L"65 3"}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(UiInputStateWine, DisabledFormIsADisabledWindow) {
  Sheet sheet;
  HWND hwnd = H(sheet.Native());
  sheet.SetEnabled(false);
  // The button keeps its own state.
  EXPECT_EQ(std::tuple(IsWindowEnabled(hwnd), IsWindowEnabled(H(sheet.cmdGo.Native()))), std::tuple(FALSE, TRUE));
  sheet.SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
}

TEST_F(UiInputStateWine, MessageBoxGivesTheActivationBackWithoutActivateButAnotherFormRaisesIt) {
  Sheet sheet;
  ASSERT_TRUE(PumpUntil([&] { return sheet.activations == 1; }));
  sheet.Focus(sheet.txtTyped);

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
  ui::Form other(L"FOther");
  other.Show(&sheet);
  const HWND otherWindow = H(other.Native());
  ActivateWhenLate(otherWindow);
  ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == otherWindow; }));
  other.Unload();
  ActivateWhenLate(H(sheet.Native()));
  EXPECT_TRUE(PumpUntil([&] { return sheet.activations == 2; }));
}

}  // namespace

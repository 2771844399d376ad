// What the toolkit lets the user do: a locked text box, a disabled form, and the focus with its
// GotFocus event, on the headless backend.
#include <string>
#include <vector>

#include "tests/native/UiHeadlessFixture.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

class Sheet : public ui::Form {
 public:
  Sheet()
      : ui::Form(L"FSheet"),
        txtShown(*this, L"txtShown", {120, 120, 3000, 300}),
        txtTyped(*this, L"txtTyped", {120, 600, 3000, 1200}, true),
        cmdGo(*this, L"cmdGo", {120, 2000, 1200, 345}, L"Go"),
        cmdStop(*this, L"cmdStop", {1500, 2000, 1200, 345}, L"Stop") {
    cmdGo.SetDefault(true);
    cmdStop.SetCancel(true);
    txtShown.SetLocked(true);
    cmdGo.OnClick = [this] { log.push_back(L"Go"); };
    cmdStop.OnClick = [this] { log.push_back(L"Stop"); };
    OnUnload = [this] { log.push_back(L"Unload"); };
    txtShown.OnGotFocus = [this] { log.push_back(L"GotFocus shown"); };
    txtTyped.OnGotFocus = [this] { log.push_back(L"GotFocus typed " + txtTyped.SelText()); };
  }
  ui::TextBox txtShown;
  ui::TextBox txtTyped;
  ui::Button cmdGo;
  ui::Button cmdStop;
  std::vector<std::wstring> log;
};

using UiInputState = UiHeadlessTest;

TEST_F(UiInputState, LockedBoxTakesNoTypingButTheProgramSetsItsText) {
  Sheet sheet;
  sheet.Load();
  sheet.txtShown.SetText(L"Windows XP");
  sheet.txtShown.SetFocus();
  sheet.UserKeyPress('x');
  sheet.txtShown.UserType(L"pasted");
  sheet.txtShown.UserEdit(L"edited");
  EXPECT_EQ(sheet.txtShown.Text(), L"Windows XP");
  sheet.txtShown.SetLocked(false);
  sheet.txtShown.UserType(L"!");
  EXPECT_EQ(sheet.txtShown.Text(), L"!Windows XP");
}

TEST_F(UiInputState, DisabledFormTakesNoClickKeyOrCloseUntilEnabledAgain) {
  Sheet sheet;
  sheet.Load();
  sheet.txtTyped.SetFocus();
  sheet.SetEnabled(false);
  sheet.cmdGo.PerformClick();
  sheet.UserKeyPress(ui::kKeyEscape);
  sheet.UserKeyPress('a');
  sheet.txtTyped.UserType(L"b");
  sheet.UserClose();
  // The controls keep their own state.
  EXPECT_EQ(std::tuple(sheet.Enabled(), sheet.Loaded(), sheet.txtTyped.Text(), sheet.log, sheet.cmdGo.Enabled()),
            std::tuple(false, true, L"", std::vector<std::wstring>{L"GotFocus typed "}, true));

  sheet.SetEnabled(true);
  sheet.cmdGo.PerformClick();
  sheet.UserKeyPress(ui::kKeyEscape);
  sheet.UserClose();
  EXPECT_EQ(std::pair(sheet.log, sheet.Loaded()),
            std::pair(std::vector<std::wstring>{L"GotFocus typed ", L"Go", L"Stop", L"Unload"}, false));
}

TEST_F(UiInputState, SetFocusRaisesGotFocusOnceOnALoadedFormOnly) {
  Sheet sheet;
  sheet.txtTyped.SetFocus();  // not loaded: nothing
  EXPECT_TRUE(sheet.log.empty());
  sheet.Load();
  sheet.txtTyped.SetText(L"abc");
  sheet.txtTyped.OnGotFocus = [&] {
    sheet.txtTyped.SetSelStart(0);
    sheet.txtTyped.SetSelLength(3);
    sheet.log.push_back(L"GotFocus typed");
  };
  sheet.txtTyped.SetFocus();
  sheet.txtShown.SetFocus();
  // The handler's selection stands.
  EXPECT_EQ(std::tuple(sheet.log, sheet.Focused(), sheet.txtTyped.SelText()),
            std::tuple(std::vector<std::wstring>{L"GotFocus typed", L"GotFocus shown"}, &sheet.txtShown, L"abc"));
}

}  // namespace

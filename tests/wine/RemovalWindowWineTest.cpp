// The removal-script and restore windows on real Win32 windows, typed into through the system's input
// as the user types, as far as they go without removing anything: the whole tab order, Escape, the
// whole text selected on the focus and on Ctrl+A (not on Ctrl+Shift+A nor Ctrl+Alt+A), Paste from the
// real clipboard, no default button, a script pasted in 100,000 characters checked whole, and a refused
// script in a real message box. The removal itself runs in wardline.exe
// (ProgramEndToEndWine.RemovalScript...), never in the test runner.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Logger.h"
#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "removal/FRestoreFiles.h"
#include "removal/FSpywareRemover.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "tests/native/ScriptText.h"
#include "tests/wine/Keyboard.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

using wine_keys::Press;

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

// The edit control's own selection, as (start, end).
std::pair<DWORD, DWORD> Selection(HWND edit) {
  DWORD start = 0xDEAD, end = 0xBEEF;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

class RemovalWindowWine : public UiWin32Test {
 protected:
  // The removal window shown, with the keyboard's input reaching it and its script box focused.
  void Open(FSpywareRemover& window) {
    window.Show();
    ASSERT_TRUE(wine_keys::KeyboardReaches(window));
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == H(window.txtMessage.Native()); }));
  }

  std::shared_ptr<wine_test::RecordingLogger> logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};
};

TEST_F(RemovalWindowWine, KeysOfTheRemovalWindowFollowItsTabOrderCancelAndSelectOnCtrlAAlone) {
  FSpywareRemover window;
  ASSERT_NO_FATAL_FAILURE(Open(window));
  HWND edit = H(window.txtMessage.Native());
  const DWORD placeholder = static_cast<DWORD>(LoadResString(137).size());
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, placeholder));  // the activation's focus
  EXPECT_EQ(SendMessageW(H(window.Native()), DM_GETDEFID, 0, 0) >> 16, 0) << "a default button at open";

  const std::vector<std::wstring> order = {L"cmdPaste", L"cmdCheckPastedData", L"cmdApplyScript", L"cmdCancel",
                                           L"txtMessage"};
  wine_keys::ExpectTabOrder(window, L"txtMessage", order);
  EXPECT_EQ(wine_keys::PressingFrom(window, VK_ESCAPE, window.cmdCancel, order), order);

  // Only the window's own handler selects: on A released while Ctrl alone is held.
  std::vector<std::pair<DWORD, DWORD>> selections;
  for (std::initializer_list<WORD> held : {std::initializer_list<WORD>{VK_CONTROL, VK_SHIFT}, {VK_CONTROL, VK_MENU},
                                           {VK_CONTROL}}) {
    SendMessageW(edit, EM_SETSEL, 3, 3);
    Press('A', held);
    selections.push_back(Selection(edit));
  }
  EXPECT_EQ(selections, (std::vector<std::pair<DWORD, DWORD>>{{3, 3}, {3, 3}, {0, placeholder}}));
  EXPECT_EQ(window.txtMessage.Text(), LoadResString(137));

  const std::wstring text = L"> From the vendor:\r\n> no script here";
  ASSERT_TRUE(ui::SetClipboardText(text));
  window.cmdCheckPastedData.SetFocus();
  ui::DoEvents();
  window.cmdPaste.PerformClick();
  ui::DoEvents();
  EXPECT_EQ(program_wine::TextOf(edit), text);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, static_cast<DWORD>(text.size())));
  EXPECT_TRUE(errors.empty());
}

// A script for this PC at the end of a mail of 100,000 characters, pasted with Ctrl+V and checked with
// the Check button's access key: the whole text reaches the check, which finds the script valid.
TEST_F(RemovalWindowWine, ScriptPastedAtTheEndOfAHundredThousandCharactersIsCheckedWhole) {
  long major = 0, minor = 0, build = 0, platformId = 0;
  std::wstring servicePack;
  const std::wstring script = script_test::Script(script_test::ForThisPC(
      L"", L"1A2B", {{L"pcname", Utilities().GetComputerName()},
                     {L"os", Utilities().GetOSVersion(major, minor, build, platformId, servicePack)},
                     {L"cpu", Utilities().GetCPUType()},
                     {L"minappversion", MWDL::gsVersion}}));
  std::wstring mail = L"Dear customer,\r\n";
  while (mail.size() + script.size() < 100000) mail += L"> the state your request sent, quoted line by line\r\n";
  mail.resize(100000 - script.size(), L' ');
  ASSERT_TRUE(ui::SetClipboardText(mail + script));

  FSpywareRemover window;
  ASSERT_NO_FATAL_FAILURE(Open(window));
  Press('V', {VK_CONTROL});
  EXPECT_EQ(window.txtMessage.Text().size(), 100000u);
  MessageBoxCloser closer;
  Press('C', {VK_MENU});
  EXPECT_TRUE(PumpUntil([&] { return !closer.texts.empty(); }));
  EXPECT_EQ(closer.texts, std::vector<std::wstring>{LoadResString(107)}) << qn::ToUtf8(logger->lines);
  EXPECT_TRUE(errors.empty());
}

// Escape presses Close from every control of the restore window.
TEST_F(RemovalWindowWine, EscapePressesCloseFromEveryControlOfTheRestoreWindow) {
  FRestoreFiles window;
  window.lstFiles.AddItem(L"C:\\windows\\spy.dll");
  window.Show();
  ASSERT_TRUE(wine_keys::KeyboardReaches(window));
  const std::vector<std::wstring> controls = {L"lstFiles", L"cmdRestoreFile", L"cmdClose"};
  EXPECT_EQ(wine_keys::PressingFrom(window, VK_ESCAPE, window.cmdClose, controls), controls);
  Press(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !window.Visible(); }));
  EXPECT_TRUE(errors.empty());
}

TEST_F(RemovalWindowWine, ScriptThatIsNotOneIsRefusedInAMessageBoxAndNothingRuns) {
  FSpywareRemover window;
  window.Show();
  window.txtMessage.SetText(L"no script here");
  MessageBoxCloser closer;
  window.cmdCheckPastedData.PerformClick();
  window.cmdApplyScript.PerformClick();
  EXPECT_EQ(closer.texts, (std::vector<std::wstring>{LoadResString(108), LoadResString(110) + LoadResString(108)}));
  EXPECT_TRUE(IsWindowEnabled(H(window.cmdApplyScript.Native())));
  EXPECT_NE(logger->lines.find(L"Executing a script: no script here"), std::wstring::npos);
  EXPECT_EQ(logger->lines.find(L"CPaRemover"), std::wstring::npos) << "the remover ran";
  EXPECT_TRUE(errors.empty());
}

}  // namespace

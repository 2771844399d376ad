// The removal-script window on real Win32 windows, as far as it goes without removing anything: the
// whole text selected on the focus and on Ctrl+A from the real keyboard state (not on Ctrl+Shift+A),
// Paste from the real clipboard, no default button, and a refused script in a real message box. The
// removal itself runs in wardline.exe (ProgramEndToEndWine.RemovalScript...), never in the test runner.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Logger.h"
#include "removal/FSpywareRemover.h"
#include "shell/Strings.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

// The edit control's own selection, as (start, end).
std::pair<DWORD, DWORD> Selection(HWND edit) {
  DWORD start = 0xDEAD, end = 0xBEEF;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

class RemovalWindowWine : public UiWin32Test {
 protected:
  // Releases A in the edit control with `held` down, as the keyboard would.
  void ReleaseA(HWND edit, std::initializer_list<int> held) {
    std::array<BYTE, 256> keys{};
    ASSERT_TRUE(GetKeyboardState(keys.data()));
    std::array<BYTE, 256> state = keys;
    for (int key : held) state[key] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state.data()));
    PostMessageW(edit, WM_KEYUP, 'A', 0xC01E0001);
    ui::DoEvents();
    SetKeyboardState(keys.data());
  }

  std::shared_ptr<wine_test::RecordingLogger> logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};
};

TEST_F(RemovalWindowWine, TextIsSelectedWholeOnTheFocusOnCtrlAAndAfterPaste) {
  FSpywareRemover window;
  window.Show();
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == H(window.txtMessage.Native()); }));
  HWND edit = H(window.txtMessage.Native());
  const DWORD placeholder = static_cast<DWORD>(LoadResString(137).size());
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, placeholder));  // the activation's focus
  EXPECT_EQ(SendMessageW(H(window.Native()), DM_GETDEFID, 0, 0) >> 16, 0) << "a default button at open";

  SendMessageW(edit, EM_SETSEL, 3, 3);
  ReleaseA(edit, {VK_CONTROL, VK_SHIFT});
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{3}, DWORD{3}));
  ReleaseA(edit, {VK_CONTROL});
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, placeholder));

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

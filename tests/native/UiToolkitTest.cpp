#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Error.h"
#include "tests/native/UiHeadlessFixture.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

// A small dialog with what most windows of the program hold.
class TestDialog : public ui::Form {
 public:
  TestDialog()
      : ui::Form(L"FTest"),
        txtName(*this, L"txtName", {120, 120, 3000, 300}),
        txtScript(*this, L"txtScript", {120, 600, 3000, 1500}, true),
        lstFiles(*this, L"lstFiles", {120, 2200, 3000, 900}),
        pb(*this, L"pb", {120, 3200, 3000, 255}),
        cmdOK(*this, L"cmdOK", {120, 3600, 1200, 345}, L"OK"),
        cmdCancel(*this, L"cmdCancel", {1500, 3600, 1200, 345}, L"Cancel"),
        Timer1(*this, L"Timer1", 500, true) {
    cmdOK.SetDefault(true);
    cmdCancel.SetCancel(true);
    cmdOK.OnClick = [this] { log.push_back(L"OK"); };
    cmdCancel.OnClick = [this] { log.push_back(L"Cancel"); };
    OnKeyPress = [this](int& key) { log.push_back(L"Key" + std::to_wstring(key)); };
    Timer1.OnTimer = [this] { log.push_back(L"Timer"); };
  }
  ui::TextBox txtName;
  ui::TextBox txtScript;
  ui::ListBox lstFiles;
  ui::ProgressBar pb;
  ui::Button cmdOK;
  ui::Button cmdCancel;
  ui::Timer Timer1;
  std::vector<std::wstring> log;
};

using UiToolkit = UiHeadlessTest;

TEST_F(UiToolkit, TwipsBecomePixelsAtNinetySixDpi) {
  struct Case { int twips; int pixels; };
  for (const Case c : {Case{0, 0}, Case{15, 1}, Case{1440, 96}, Case{6000, 400}, Case{4740, 316}, Case{7, 0},
                       Case{8, 1}, Case{-15, -1}}) {
    EXPECT_EQ(ui::TwipsToPixels(c.twips), c.pixels) << c.twips;
  }
  EXPECT_EQ(ui::PixelsToTwips(101), 1515);
}

TEST_F(UiToolkit, KeysReachDefaultCancelAndKeyPreview) {
  struct Case { int key; bool preview; std::vector<std::wstring> expected; };
  const std::vector<Case> cases = {
      {ui::kKeyEnter, false, {L"OK"}},
      {ui::kKeyEscape, false, {L"Cancel"}},
      {ui::kKeyEscape, true, {L"Cancel"}},
      {'a', true, {L"Key97"}},
      {'a', false, {}},
  };
  for (const Case& c : cases) {
    TestDialog dialog;
    dialog.SetKeyPreview(c.preview);
    dialog.Load();
    dialog.UserKeyPress(c.key);
    EXPECT_EQ(dialog.log, c.expected) << c.key << " preview " << c.preview;
  }
}

TEST_F(UiToolkit, EnterInMultiLineTextBoxStaysThere) {
  TestDialog dialog;
  dialog.Load();
  dialog.txtScript.SetFocus();
  dialog.UserKeyPress(ui::kKeyEnter);
  EXPECT_TRUE(dialog.log.empty());
  dialog.txtName.SetFocus();
  dialog.UserKeyPress(ui::kKeyEnter);
  EXPECT_EQ(dialog.log, std::vector<std::wstring>{L"OK"});
}

TEST_F(UiToolkit, DisabledButtonIgnoresClicks) {
  TestDialog dialog;
  dialog.Load();
  dialog.cmdOK.SetEnabled(false);
  dialog.cmdOK.PerformClick();
  dialog.UserKeyPress(ui::kKeyEnter);
  EXPECT_TRUE(dialog.log.empty());
}

TEST_F(UiToolkit, ProgressBarRefusesValuesOutsideItsRange) {
  TestDialog dialog;
  dialog.pb.SetValue(40);
  for (double bad : {150.0, -1.0, 100.5, std::nan("")}) {
    try {
      dialog.pb.SetValue(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const CError& e) {
      EXPECT_EQ(e.Number(), ui::kInvalidPropertyValue);
    }
    EXPECT_EQ(dialog.pb.Value(), 40);
  }
  dialog.pb.SetValue(100);
  EXPECT_EQ(dialog.pb.Value(), 100);
}

TEST_F(UiToolkit, TextBoxSelectionAndPaste) {
  TestDialog dialog;
  int changes = 0;
  dialog.txtScript.OnChange = [&] { ++changes; };
  dialog.Load();
  dialog.txtScript.SetText(L"hello world");
  EXPECT_EQ(changes, 1);
  dialog.txtScript.SetSelStart(6);
  dialog.txtScript.SetSelLength(50);  // clamped to the text
  EXPECT_EQ(dialog.txtScript.SelText(), L"world");
  ASSERT_TRUE(ui::SetClipboardText(L"there"));
  dialog.txtScript.SetSelText(ui::ClipboardText());
  EXPECT_EQ(dialog.txtScript.Text(), L"hello there");
  EXPECT_EQ(dialog.txtScript.SelStart(), 11);
  EXPECT_EQ(changes, 2);
  dialog.txtScript.SetText(L"hello there");  // the same text: no change
  EXPECT_EQ(changes, 2);
}

TEST_F(UiToolkit, TypingGoesToTheFocusedTextBox) {
  TestDialog dialog;
  dialog.Load();
  dialog.txtName.SetFocus();
  for (wchar_t c : std::wstring(L"Ann")) dialog.UserKeyPress(c);
  EXPECT_EQ(dialog.txtName.Text(), L"Ann");
  EXPECT_EQ(dialog.txtScript.Text(), L"");
}

TEST_F(UiToolkit, ListBoxSelection) {
  TestDialog dialog;
  int clicks = 0;
  dialog.lstFiles.OnClick = [&] { ++clicks; };
  dialog.lstFiles.AddItem(L"a.dll");
  dialog.lstFiles.AddItem(L"b.exe");
  EXPECT_EQ(dialog.lstFiles.ListCount(), 2);
  EXPECT_EQ(dialog.lstFiles.Text(), L"");
  dialog.lstFiles.UserSelect(1);
  EXPECT_EQ(dialog.lstFiles.Text(), L"b.exe");
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW(dialog.lstFiles.List(2), CError);
  EXPECT_THROW(dialog.lstFiles.SetListIndex(5), CError);
  dialog.lstFiles.Clear();
  EXPECT_EQ(dialog.lstFiles.ListCount(), 0);
  EXPECT_EQ(dialog.lstFiles.ListIndex(), -1);
}

TEST_F(UiToolkit, TimerFiresInsideDoEventsWhenItsIntervalHasPassed) {
  TestDialog dialog;
  dialog.Load();
  ui::DoEvents();
  EXPECT_TRUE(dialog.log.empty());
  machine.system.SetTickCount(machine.system.GetTickCount() + 499);
  ui::DoEvents();
  EXPECT_TRUE(dialog.log.empty());
  machine.system.SetTickCount(machine.system.GetTickCount() + 1);
  ui::DoEvents();
  EXPECT_EQ(dialog.log, std::vector<std::wstring>{L"Timer"});
  dialog.Timer1.SetEnabled(false);
  machine.system.SetTickCount(machine.system.GetTickCount() + 5000);
  ui::DoEvents();
  EXPECT_EQ(dialog.log.size(), 1u);
}

TEST_F(UiToolkit, TimerDoesNotRunWhileTheFormIsUnloaded) {
  TestDialog dialog;
  machine.system.SetTickCount(machine.system.GetTickCount() + 5000);
  ui::DoEvents();
  dialog.Timer1.Fire();
  EXPECT_TRUE(dialog.log.empty());
}

TEST_F(UiToolkit, ModalShowRunsTheScriptAndEndsWhenTheFormHides) {
  TestDialog dialog;
  dialog.cmdOK.OnClick = [&] { dialog.Hide(); };
  int scripts = 0;
  headless->onModal = [&](ui::Form& form) {
    ++scripts;
    EXPECT_TRUE(form.IsModal());
    static_cast<TestDialog&>(form).cmdOK.PerformClick();
  };
  dialog.ShowModal();
  EXPECT_EQ(scripts, 1);
  EXPECT_FALSE(dialog.Visible());
  EXPECT_TRUE(dialog.Loaded());
  EXPECT_FALSE(dialog.IsModal());
}

TEST_F(UiToolkit, ModalFormLeftOpenByTheScriptIsClosed) {
  TestDialog dialog;
  int unloads = 0;
  dialog.OnUnload = [&] { ++unloads; };
  dialog.ShowModal();
  EXPECT_FALSE(dialog.Loaded());
  EXPECT_EQ(unloads, 1);
}

TEST_F(UiToolkit, UnhandledErrorGoesToTheHandlerWithItsSourceAndEndsTheProgram) {
  TestDialog dialog;
  dialog.cmdOK.OnClick = [] { throw CError(429, L"ActiveX component can't create object"); };
  std::wstring source;
  long number = 0;
  ui::SetUnhandledErrorHandler([&](const CError& e, const std::wstring& s) {
    number = e.Number();
    source = s;
  });
  dialog.Load();
  dialog.cmdOK.PerformClick();
  EXPECT_EQ(number, 429);
  EXPECT_EQ(source, L"FTest.cmdOK_Click");
  EXPECT_TRUE(ui::Ended());
  EXPECT_EQ(ui::ExitCode(), 1);
}

// A Load handler has no handler of its own: its error reaches the code that shows the form, which may
// log it and go on, and the program does not end.
TEST_F(UiToolkit, ErrorOfTheLoadHandlerReachesWhoeverShowsTheForm) {
  TestDialog dialog;
  dialog.OnLoad = [] { throw CError(err::kOutOfMemory, L"Out of memory"); };
  long caught = 0;
  try {
    dialog.ShowModal(nullptr);
  } catch (const CError& e) {
    caught = e.Number();
  }
  EXPECT_EQ(caught, err::kOutOfMemory);
  EXPECT_FALSE(ui::Ended());
  EXPECT_TRUE(machine.desktop.Boxes().empty());
}

TEST_F(UiToolkit, DefaultUnhandledErrorShowsACriticalBox) {
  TestDialog dialog;
  dialog.cmdCancel.OnClick = [] { throw std::runtime_error("boom"); };
  dialog.Load();
  dialog.cmdCancel.PerformClick();
  ASSERT_EQ(machine.desktop.Boxes().size(), 1u);
  EXPECT_EQ(machine.desktop.Boxes()[0].style, 16u);
  EXPECT_NE(machine.desktop.Boxes()[0].prompt.find(L"Run-time error '51'"), std::wstring::npos);
  EXPECT_TRUE(ui::Ended());
}

TEST_F(UiToolkit, MenusFindAndClickTheirEntries) {
  TestDialog dialog;
  int clicks = 0;
  ui::MenuItem& help = dialog.AddMenu(L"mnuHelp", L"&Help");
  help.Add(L"mnuAbout", L"&About...").OnClick = [&] { ++clicks; };
  help.Add(L"mnuSep", L"-").OnClick = [&] { clicks += 100; };
  dialog.FindMenu(L"mnuAbout")->PerformClick(dialog.Name());
  dialog.FindMenu(L"mnuSep")->PerformClick(dialog.Name());
  dialog.FindMenu(L"mnuHelp")->PerformClick(dialog.Name());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(dialog.FindMenu(L"mnuMissing"), nullptr);
}

TEST_F(UiToolkit, FormKeepsItsDrawing) {
  TestDialog dialog;
  dialog.Load();
  dialog.DrawLine(0, 0, 100, 0, ui::kWhite);
  ASSERT_EQ(dialog.Drawing().size(), 1u);
  EXPECT_EQ(dialog.Drawing()[0].x2, 100);
  EXPECT_EQ(headless->repaints, 1);
}

TEST_F(UiToolkit, LockedClipboardRefusesText) {
  headless->clipboardLocked = true;
  EXPECT_FALSE(ui::SetClipboardText(L"x"));
  EXPECT_EQ(ui::ClipboardText(), L"");
}

}  // namespace

#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "tests/native/ErrorOf.h"
#include "tests/native/UiHeadlessFixture.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

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

// Enter in a multi-line text box stays there; a disabled button ignores clicks and keys.
TEST_F(UiToolkit, KeysReachDefaultCancelAndKeyPreview) {
  const auto none = [](TestDialog&) {};
  struct Case { int key; bool preview; std::function<void(TestDialog&)> setup; std::vector<std::wstring> expected; };
  const std::vector<Case> cases = {
      {ui::kKeyEnter, false, none, {L"OK"}},
      {ui::kKeyEscape, false, none, {L"Cancel"}},
      {ui::kKeyEscape, true, none, {L"Cancel"}},
      {'a', true, none, {L"Key97"}},
      {'a', false, none, {}},
      {ui::kKeyEnter, false, [](TestDialog& d) { d.txtScript.SetFocus(); }, {}},
      {ui::kKeyEnter, false, [](TestDialog& d) { d.txtName.SetFocus(); }, {L"OK"}},
      {ui::kKeyEnter, false, [](TestDialog& d) { d.cmdOK.SetEnabled(false), d.cmdOK.PerformClick(); }, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    TestDialog dialog;
    dialog.SetKeyPreview(cases[i].preview);
    dialog.Load();
    cases[i].setup(dialog);
    dialog.UserKeyPress(cases[i].key);
    EXPECT_EQ(dialog.log, cases[i].expected) << "row " << i;
  }
}

TEST_F(UiToolkit, ProgressBarRefusesValuesOutsideItsRange) {
  TestDialog dialog;
  dialog.pb.SetValue(40);
  for (double bad : {150.0, -1.0, 100.5, std::nan("")}) {
    EXPECT_EQ(ErrorOf([&] { dialog.pb.SetValue(bad); }), ui::kInvalidPropertyValue) << bad;
    EXPECT_EQ(dialog.pb.Value(), 40);
  }
  dialog.pb.SetValue(100);
  EXPECT_EQ(dialog.pb.Value(), 100);
}

TEST_F(UiToolkit, TextBoxTypingSelectionAndPaste) {
  TestDialog dialog;
  int changes = 0;
  dialog.txtScript.OnChange = [&] { ++changes; };
  dialog.Load();
  dialog.txtName.SetFocus();
  for (wchar_t c : std::wstring(L"Ann")) dialog.UserKeyPress(c);
  // Typing goes to the focused box only.
  EXPECT_EQ(std::tuple(dialog.txtName.Text(), dialog.txtScript.Text()), std::tuple(L"Ann", L""));
  dialog.txtScript.SetText(L"hello world");
  EXPECT_EQ(changes, 1);
  dialog.txtScript.SetSelStart(6);
  dialog.txtScript.SetSelLength(50);  // clamped to the text
  EXPECT_EQ(dialog.txtScript.SelText(), L"world");
  ASSERT_TRUE(ui::SetClipboardText(L"there"));
  dialog.txtScript.SetSelText(ui::ClipboardText());
  EXPECT_EQ(std::tuple(dialog.txtScript.Text(), dialog.txtScript.SelStart(), changes),
            std::tuple(L"hello there", 11, 2));
  dialog.txtScript.SetText(L"hello there");  // the same text: no change
  EXPECT_EQ(changes, 2);
}

TEST_F(UiToolkit, KeyUpOfATextBoxCarriesTheKeyAndTheShiftState) {
  TestDialog dialog;
  std::vector<std::wstring> events;
  dialog.txtScript.OnKeyUp = [&](int key, int shift) {
    events.push_back(std::to_wstring(key) + L" " + std::to_wstring(shift));
  };
  dialog.Load();
  dialog.txtScript.UserKeyUp(ui::kKeyA, ui::kCtrlMask | ui::kShiftMask);
  dialog.txtName.UserKeyUp(ui::kKeyA, ui::kCtrlMask);  // another box: not this one's event
  dialog.txtScript.UserKeyUp(ui::kKeyA, ui::kAltMask);
  EXPECT_EQ(events, (std::vector<std::wstring>{L"65 3", L"65 4"}));
}

TEST_F(UiToolkit, ListBoxSelection) {
  TestDialog dialog;
  int clicks = 0;
  dialog.lstFiles.OnClick = [&] { ++clicks; };
  dialog.lstFiles.AddItem(L"a.dll");
  dialog.lstFiles.AddItem(L"b.exe");
  EXPECT_EQ(std::tuple(dialog.lstFiles.ListCount(), dialog.lstFiles.Text()), std::tuple(2, L""));
  dialog.lstFiles.UserSelect(1);
  EXPECT_EQ(std::tuple(dialog.lstFiles.Text(), clicks), std::tuple(L"b.exe", 1));
  EXPECT_THROW(dialog.lstFiles.List(2), CError);
  EXPECT_THROW(dialog.lstFiles.SetListIndex(5), CError);
  dialog.lstFiles.Clear();
  EXPECT_EQ(std::pair(dialog.lstFiles.ListCount(), dialog.lstFiles.ListIndex()), std::pair(0, -1));
}

TEST_F(UiToolkit, TimerFiresInsideDoEventsWhenItsIntervalHasPassedAndTheFormIsLoaded) {
  TestDialog dialog;
  const auto wait = [&](std::uint32_t ms) {
    machine.system.SetTickCount(machine.system.GetTickCount() + ms);
    ui::DoEvents();
  };
  wait(5000);
  dialog.Timer1.Fire();
  EXPECT_TRUE(dialog.log.empty());  // not while unloaded
  dialog.Load();
  wait(0);
  wait(499);
  EXPECT_TRUE(dialog.log.empty());
  wait(1);
  EXPECT_EQ(dialog.log, std::vector<std::wstring>{L"Timer"});
  dialog.Timer1.SetEnabled(false);
  wait(5000);
  EXPECT_EQ(dialog.log.size(), 1u);
}

TEST_F(UiToolkit, ModalShowRunsTheScriptAndEndsWhenTheFormHidesOrClosesAFormLeftOpen) {
  TestDialog dialog;
  dialog.cmdOK.OnClick = [&] { dialog.Hide(); };
  int scripts = 0;
  headless->onModal = [&](ui::Form& form) {
    ++scripts;
    EXPECT_TRUE(form.IsModal());
    if (&form == &dialog) static_cast<TestDialog&>(form).cmdOK.PerformClick();
  };
  dialog.ShowModal();
  // Ran once; hidden, still loaded, no longer modal.
  EXPECT_EQ(std::tuple(scripts, dialog.Visible(), dialog.Loaded(), dialog.IsModal()),
            std::tuple(1, false, true, false));

  TestDialog leftOpen;
  int unloads = 0;
  leftOpen.OnUnload = [&] { ++unloads; };
  leftOpen.ShowModal();
  EXPECT_EQ(std::pair(leftOpen.Loaded(), unloads), std::pair(false, 1));
}

TEST_F(UiToolkit, UnhandledErrorGoesToTheHandlerWithItsSourceAndEndsTheProgram) {
  TestDialog dialog;
  dialog.cmdOK.OnClick = [] { throw CError(429, L"ActiveX component can't create object"); };
  std::wstring source;
  long number = 0;
  ui::SetUnhandledErrorHandler([&](const CError& e, const std::wstring& s) { number = e.Number(), source = s; });
  dialog.Load();
  dialog.cmdOK.PerformClick();
  EXPECT_EQ(std::tie(number, source), std::tuple(429L, L"FTest.cmdOK_Click"));
  EXPECT_EQ(std::pair(ui::Ended(), ui::ExitCode()), std::pair(true, 1));
}

// While the program's handler reports an error (its box shows and messages are still served), a second
// error ends the program with the first and is not reported on top of it; once the report is over, the
// next one is reported again.
TEST_F(UiToolkit, ErrorRaisedWhileAnotherIsReportedIsNotReportedAgain) {
  TestDialog dialog;
  dialog.cmdOK.OnClick = [] { throw CError(5, L"Invalid procedure call or argument"); };
  dialog.cmdCancel.OnClick = [] { throw CError(6, L"Overflow"); };
  std::vector<long> reported;
  ui::SetUnhandledErrorHandler([&](const CError& e, const std::wstring&) {
    reported.push_back(e.Number());
    dialog.cmdCancel.PerformClick();  // served while the box shows
  });
  dialog.Load();
  dialog.cmdOK.PerformClick();
  EXPECT_EQ(reported, std::vector<long>{5});
  EXPECT_EQ(std::pair(ui::Ended(), ui::ExitCode()), std::pair(true, 1));
  dialog.cmdCancel.PerformClick();
  EXPECT_EQ(reported, (std::vector<long>{5, 6}));
}

// A Load handler has no handler of its own: its error reaches the code that shows the form, which may
// log it and go on, and the program does not end.
TEST_F(UiToolkit, ErrorOfTheLoadHandlerReachesWhoeverShowsTheForm) {
  TestDialog dialog;
  dialog.OnLoad = [] { throw CError(err::kOutOfMemory, L"Out of memory"); };
  EXPECT_EQ(ErrorOf([&] { dialog.ShowModal(nullptr); }), err::kOutOfMemory);
  EXPECT_EQ(std::pair(ui::Ended(), machine.desktop.Boxes().empty()), std::pair(false, true));
}

TEST_F(UiToolkit, DefaultUnhandledErrorShowsACriticalBox) {
  TestDialog dialog;
  dialog.cmdCancel.OnClick = [] { throw std::runtime_error("boom"); };
  dialog.Load();
  dialog.cmdCancel.PerformClick();
  ASSERT_EQ(machine.desktop.Boxes().size(), 1u);
  const platform::ShownBox& box = machine.desktop.Boxes()[0];
  EXPECT_EQ(std::tuple(box.style, box.prompt.find(L"Run-time error '51'") != std::wstring::npos, ui::Ended()),
            std::tuple(16u, true, true)) << box.prompt;
}

// A destructor cannot throw: what fails while a form and its parts go takes the program's
// unhandled-error path. Here the loaded form outlives its backend, so that nothing can be given back.
TEST_F(UiToolkit, FailuresWhileALoadedFormGoesAreUnhandledErrors) {
  std::vector<std::wstring> reported;
  ui::SetUnhandledErrorHandler([&](const CError& e, const std::wstring& source) {
    reported.push_back(source + L": " + e.Description());
  });
  std::unique_ptr<ui::IBackend> backend;
  {
    ui::Form form(L"FHolder");
    ui::Timer timer(form, L"Timer1", 100, true);
    ui::Label label(form, L"lblText", {120, 120, 2400, 300}, L"text");
    form.Load();
    backend = ui::SetBackend(nullptr);
  }
  const std::wstring gone = L"_Terminate: Internal error: the windowing toolkit has no backend";
  EXPECT_EQ(reported, (std::vector<std::wstring>{L"FHolder.lblText" + gone, L"FHolder.Timer1" + gone,
                                                 L"FHolder.Form" + gone}));
  EXPECT_EQ(std::pair(ui::Ended(), ui::ExitCode()), std::pair(true, 1));
  ui::SetBackend(std::move(backend));
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
  const bool set = ui::SetClipboardText(L"x");
  EXPECT_EQ(std::tuple(set, ui::ClipboardText()), std::tuple(false, L""));
}

}  // namespace

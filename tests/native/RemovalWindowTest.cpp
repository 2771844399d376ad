// The removal-script window on the headless toolkit and the in-memory machine: design, selecting the
// text, Paste, Check, Remove Spyware with the remover and the detector underneath (removal, nothing
// found, an error, a cancel), the restart offer with the restart double, and closing.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "inspection/Hashier.h"
#include "removal/FSpywareRemover.h"
#include "shell/Strings.h"
#include "tests/native/FormChecks.h"
#include "tests/native/ReportWindowsFixture.h"
#include "tests/native/ScriptText.h"

namespace {

using script_test::ForThisPC;
using script_test::Script;
using Box = std::tuple<std::wstring, unsigned>;  // prompt, style
using Line = std::tuple<long, std::wstring, int, std::wstring>;

const std::wstring kRecord = L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files";
const std::wstring kHost = L"C:\\Apps\\host.exe";
const std::wstring kBad = L"C:\\Apps\\bad.dll";    // no version data: suspicious
const std::wstring kGood = L"C:\\Apps\\good.dll";  // of a known company: only listed
const std::wstring kApplySource = L"FSpywareRemover.cmdApplyScript_Click";
const std::wstring kFailed = L"The spyware removal could not be completed. The reason is written in the log file WDL.log.";

class RemovalWindow : public ReportWindowsTest {
 protected:
  RemovalWindow() {
    machine.files.AddTextFile(kHost, "the host program");
    machine.files.AddTextFile(kBad, "a library without version data");
    machine.files.AddTextFile(kGood, "a library of a known company");
    for (const std::wstring& path : {kHost, kGood}) machine.versionInfo.Set(path, {{L"CompanyName", L"Acme"}});
    machine.processes.AddProcess(100, {kHost, kBad});
    machine.processes.AddProcess(200, {kHost, kGood});
  }
  // The item of a file's checksum as the vendor writes it.
  std::wstring Item(const std::wstring& path) {
    std::int32_t size = 0;
    std::wostringstream hex;
    hex << std::uppercase << std::hex << CHashier().HashFromFullFileName(path, size);
    return hex.str();
  }
  // The window shown, as the main window shows it, with `text` pasted into it.
  void Open(FSpywareRemover& window, const std::wstring& text) {
    window.Show();
    window.txtMessage.UserEdit(text);
  }
  bool Removed(const std::wstring& path) const {
    return machine.files.HasFile(MAPI::MakeParasiteFileName(path)) && !machine.files.HasFile(path) &&
           machine.registry.HasValue(platform::kHkeyCurrentUser, kRecord, path);
  }
  std::vector<std::wstring> Disabled() const {
    std::vector<std::wstring> files;
    for (const LogLine& line : logger->lines) {
      if (line.message.rfind(L"Disabling ", 0) == 0) files.push_back(line.message.substr(10));
    }
    return files;
  }
  static bool Finished(FSpywareRemover& window) {
    return !window.cmdApplyScript.Enabled() && !window.cmdApplyScript.IsDefault() &&
           window.cmdCancel.Caption() == L"Close" && window.cmdCancel.IsDefault() &&
           window.Focused() == &window.cmdCancel;
  }
  // The boxes shown since the last call.
  std::vector<Box> NewBoxes() {
    std::vector<Box> boxes = Boxes();
    boxes.erase(boxes.begin(), boxes.begin() + static_cast<std::ptrdiff_t>(seenBoxes_));
    seenBoxes_ += boxes.size();
    return boxes;
  }
  // Remove Spyware with the restart offer accepted; Windows refuses the restart when `refused`.
  void AcceptRestart(bool refused) {
    if (refused) {
      machine.shutdown.RefuseExit(5);
      machine.system.SetErrorText(5, L"Access is denied.");
    }
    FSpywareRemover window;
    Open(window, Script(ForThisPC(L"", L"")));
    window.cmdApplyScript.PerformClick();

    EXPECT_EQ(machine.shutdown.ExitCalls(), (std::vector<platform::ExitWindowsCall>{{3u, 0xFFFFFFFFu, true}}));
    EXPECT_TRUE(Removed(kBad));
    EXPECT_EQ(std::tuple(ui::Ended(), ui::ExitCode()), std::tuple(true, 0));
    const std::wstring manually = L"Access is denied. Please restart Windows manually.";
    std::vector<Box> boxes{{LoadResString(116), 49}};
    if (refused) boxes.emplace_back(manually, 48);
    EXPECT_EQ(Boxes(), boxes);
    const auto lines = Lines(*logger);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), Line{0, manually, kLogError, kApplySource}), refused ? 1 : 0);
    EXPECT_TRUE(Unchanged(window));
  }
  static bool Unchanged(FSpywareRemover& window) {
    return window.cmdApplyScript.Enabled() && window.cmdCancel.Caption() == L"Cancel" &&
           window.DefaultButton() == nullptr;
  }
  // A run that removed nothing: no file disabled, the suspicious file in place, no process ended; and
  // errors logged by `sources` only, in order.
  void ExpectNothingRemovedAndErrorsFrom(const std::vector<std::wstring>& sources) const {
    EXPECT_EQ(std::tuple(Disabled(), machine.files.HasFile(kBad), machine.processes.Terminations().size()),
              std::tuple(std::vector<std::wstring>{}, true, 0u));
    std::vector<std::wstring> errors;
    for (const LogLine& line : logger->lines) {
      if (line.level == kLogError) errors.push_back(line.source);
    }
    EXPECT_EQ(errors, sources);
  }

 private:
  std::size_t seenBoxes_ = 0;
};

}  // namespace

TEST_F(RemovalWindow, DesignInTabOrderWithItsTextsAndNoDefaultButton) {
  FSpywareRemover window;
  EXPECT_EQ(std::tuple(window.Caption(), window.BorderStyle(), window.txtMessage.MultiLine(), window.CancelButton()),
            std::tuple(L"Spyware Remover", ui::BorderStyle::FixedDialog, true, &window.cmdCancel));
  EXPECT_EQ(form_checks::TabOrder(window), (std::vector<std::wstring>{L"lblTop", L"Label1", L"txtMessage", L"cmdPaste", L"cmdCheckPastedData",
                                              L"cmdApplyScript", L"cmdCancel", L"StaticLine1", L"Image1", L"Image3"}));
  EXPECT_EQ(std::tuple(window.Label1.Caption(), window.cmdPaste.Caption(), window.cmdCheckPastedData.Caption(),
                       window.cmdApplyScript.Caption(), window.cmdCancel.Caption()),
            std::tuple(L"Spyware removal procedure:", L"Paste", L"&Check", L"Remove Spyware", L"Cancel"));
  window.Load();
  EXPECT_EQ(std::tuple(window.lblTop.Caption(), window.txtMessage.Text(), window.DefaultButton()),
            std::tuple(LoadResString(136), LoadResString(137), nullptr));
}

// Selecting all: on the focus, and on releasing A with Ctrl alone.
TEST_F(RemovalWindow, TextIsSelectedWholeOnTheFocusAndOnCtrlAOnly) {
  FSpywareRemover window;
  window.Show();
  window.txtMessage.SetText(L"pasted text");
  window.txtMessage.SetFocus();
  EXPECT_EQ(window.txtMessage.SelText(), L"pasted text");

  const std::tuple<int, int, bool> cases[] = {  // key, shift, selects
      {ui::kKeyA, ui::kCtrlMask, true}, {ui::kKeyA, ui::kCtrlMask | ui::kShiftMask, false},
      {ui::kKeyA, ui::kCtrlMask | ui::kAltMask, false}, {ui::kKeyA, 0, false}, {'B', ui::kCtrlMask, false}};
  for (const auto& [key, shift, selects] : cases) {
    window.txtMessage.SetSelStart(3);
    window.txtMessage.UserKeyUp(key, shift);
    EXPECT_EQ(window.txtMessage.SelText(), selects ? L"pasted text" : L"") << key << " " << shift;
  }
}

TEST_F(RemovalWindow, PasteTakesTheClipboardsTextSelectedInTheFocusedBox) {
  for (const std::wstring& clip : {std::wstring(L"> mail\r\n" + Script(ForThisPC(L"", L""))), std::wstring()}) {
    FSpywareRemover window;
    window.Show();
    window.cmdCheckPastedData.SetFocus();
    ASSERT_TRUE(ui::SetClipboardText(clip));
    window.cmdPaste.PerformClick();
    EXPECT_EQ(std::tuple(window.txtMessage.Text(), window.Focused(), window.txtMessage.SelText()),
              std::tuple(clip, &window.txtMessage, clip));
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RemovalWindow, CheckTellsWhetherTheScriptMayRunAndRemovesNothing) {
  const std::tuple<const char*, std::wstring, Box> cases[] = {
      {"the placeholder", L"", Box{LoadResString(108), 48}},
      {"a script for this PC", Script(ForThisPC(L"", Item(kGood))), Box{LoadResString(107), 64}},
      {"a script for another PC", Script(ForThisPC(L"", L"", {{L"pcname", L"OTHER"}})), Box{LoadResString(109), 48}},
  };
  for (const auto& [what, text, box] : cases) {
    FSpywareRemover window;
    window.Show();
    if (!text.empty()) window.txtMessage.UserEdit(text);
    window.cmdCheckPastedData.PerformClick();
    EXPECT_EQ(NewBoxes(), std::vector<Box>{box}) << what;
    EXPECT_TRUE(Unchanged(window)) << what;
  }
  const auto& files = machine.files;
  EXPECT_EQ(std::tuple(files.HasFile(kBad), files.HasFile(kGood), machine.processes.Terminations().size()),
            std::tuple(true, true, 0u));
}

// An error in either button's handler (here: the message box fails) is logged under the handler's name
// and leaves the window as it was.
TEST_F(RemovalWindow, ErrorInAButtonIsLoggedAndLeavesTheWindowAsItWas) {
  machine.desktop.SetMessageBoxHook(
      [](const platform::ShownBox&) { throw CError(err::kOutOfMemory, L"Out of memory"); });
  const Line oom{err::kOutOfMemory, L"Out of memory", kLogError, kApplySource};
  for (bool apply : {false, true}) {
    logger->lines.clear();
    FSpywareRemover window;
    Open(window, L"no script");
    (apply ? window.cmdApplyScript : window.cmdCheckPastedData).PerformClick();
    const std::vector<Line> lines =
        apply ? std::vector<Line>{{0, L"Executing a script: no script", kLogInfo, kApplySource}, oom}
              : std::vector<Line>{{err::kOutOfMemory, L"Out of memory", kLogError, L"FSpywareRemover.cmdCheckPastedData_Click"}};
    EXPECT_EQ(Lines(*logger), lines);
    EXPECT_TRUE(Unchanged(window)) << apply;
  }
}

TEST_F(RemovalWindow, InvalidScriptIsRefusedInOneBoxAfterTheTextIsLogged) {
  FSpywareRemover window;
  Open(window, L"Hello, here is no script.");
  window.cmdApplyScript.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(110) + LoadResString(108), 48}}));
  EXPECT_EQ(Lines(*logger), (std::vector<Line>{{0, L"Executing a script: Hello, here is no script.", kLogInfo,
                                                kApplySource}}));
  EXPECT_EQ(headless->ShownForms(), std::vector<std::wstring>{L"FSpywareRemover"});  // no progress dialog
  EXPECT_TRUE(Unchanged(window));
}

// The suspicious library goes unless white-listed; the black-listed one goes although it is not
// suspicious; each process that had one loaded ends. The restart is declined: the window stays as it was.
TEST_F(RemovalWindow, RemovalRunsInTheProgressDialogThenOffersARestartThatCanBeDeclined) {
  FSpywareRemover window;
  const std::wstring script = Script(ForThisPC(L"", Item(kGood)));
  Open(window, L"> quoted mail\r\n" + script);
  std::vector<std::wstring> lines;
  double lastValue = -1;
  headless->onIdle = [&] {
    if (auto* dialog = dynamic_cast<FProgressor*>(headless->FindLoaded(L"FProgressor"))) {
      lines = {dialog->lblLine1.Caption(), dialog->lblLine2.Caption()};
      lastValue = dialog->pb.Value();
    }
  };
  machine.desktop.QueueAnswer(2);  // Cancel
  window.cmdApplyScript.PerformClick();

  EXPECT_EQ(std::tuple(lines, lastValue), std::tuple(std::vector{LoadResString(113), LoadResString(114)}, 100.0));
  EXPECT_EQ(std::tuple(Disabled(), Removed(kBad), Removed(kGood)), std::tuple(std::vector{kBad, kGood}, true, true));
  EXPECT_EQ(machine.processes.Terminations(), (std::vector<platform::TerminateCall>{{100, 0}, {200, 0}}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(116), 49}, {LoadResString(118), 64}}));
  EXPECT_EQ(std::tuple(machine.shutdown.ExitCalls().size(), ui::Ended(), Unchanged(window)),
            std::tuple(0u, false, true));
  EXPECT_EQ(std::get<1>(Lines(*logger).at(0)), L"Executing a script: > quoted mail\r\n" + script);

  // Pressed again, the script runs again and finds nothing left.
  window.cmdApplyScript.PerformClick();
  EXPECT_EQ(Boxes().back(), Box(LoadResString(115), 48));
  EXPECT_TRUE(Finished(window));
}

TEST_F(RemovalWindow, AcceptedRestartIsRequestedAndEndsTheProgram) { AcceptRestart(false); }

TEST_F(RemovalWindow, RestartThatWindowsRefusesIsReportedLoggedAndStillEndsTheProgram) { AcceptRestart(true); }

TEST_F(RemovalWindow, NothingToRemoveSaysSoAndFinishes) {
  FSpywareRemover window;
  Open(window, Script(ForThisPC(Item(kBad), L"")));
  window.cmdApplyScript.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(115), 48}}));
  ExpectNothingRemovedAndErrorsFrom({});
  EXPECT_TRUE(Finished(window));
  // Finished: Enter closes the window.
  window.UserKeyPress(ui::kKeyEnter);
  EXPECT_FALSE(window.Loaded());
}

// The remover stopped by an error gives no cause: the user is told where the reason is, not shown an
// empty box.
TEST_F(RemovalWindow, RemovalStoppedByAnErrorSaysSoAndPointsToTheLog) {
  MWDL::goHashier.reset();
  FSpywareRemover window;
  Open(window, Script(ForThisPC(L"", L"")));
  window.cmdApplyScript.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{kFailed, 48}}));
  ExpectNothingRemovedAndErrorsFrom({L"CPaRemover.RemoveSpyware"});
  EXPECT_TRUE(Finished(window));
  window.UserKeyPress(ui::kKeyEnter);
  EXPECT_FALSE(window.Loaded());
}

TEST_F(RemovalWindow, CancelInTheProgressDialogEndsTheRunWithoutAWord) {
  FSpywareRemover window;
  Open(window, Script(ForThisPC(L"", Item(kGood))));
  headless->onIdle = [&] {
    if (auto* dialog = dynamic_cast<FProgressor*>(headless->FindLoaded(L"FProgressor"))) dialog->cmdCancel.PerformClick();
  };
  window.cmdApplyScript.PerformClick();
  EXPECT_TRUE(Boxes().empty());
  ExpectNothingRemovedAndErrorsFrom({});
  EXPECT_TRUE(Unchanged(window));
}

TEST_F(RemovalWindow, CancelEscapeAndTheCloseBoxUnloadTheWindow) {
  for (const auto& close : std::vector<std::function<void(FSpywareRemover&)>>{
           [](FSpywareRemover& w) { w.cmdCancel.PerformClick(); },
           [](FSpywareRemover& w) { w.UserKeyPress(ui::kKeyEscape); }, [](FSpywareRemover& w) { w.UserClose(); }}) {
    FSpywareRemover window;
    window.Show();
    close(window);
    EXPECT_FALSE(window.Loaded());
  }
}

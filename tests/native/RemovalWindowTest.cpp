// The removal-script window on the headless toolkit and the in-memory machine: design, selecting the
// text, Paste, Check, Remove Spyware with the remover and the detector underneath (removal, nothing
// found, an error, a cancel), the restart offer with the restart double, closing, and the main window's
// button.
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "inspection/Hashier.h"
#include "removal/FSpywareRemover.h"
#include "shell/app/FMain.h"
#include "shell/Strings.h"
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

// A desktop whose message boxes fail, as any call of the toolkit may; installed for its lifetime.
class FailingDesktop : public platform::FakeDesktop {
 public:
  FailingDesktop() : previous_(platform::Install(platform::Services{.desktop = this})) {}
  ~FailingDesktop() override { platform::Install(previous_); }
  int MessageBox(const std::wstring&, unsigned, const std::wstring&) override {
    throw CError(err::kOutOfMemory, L"Out of memory");
  }

 private:
  platform::Services previous_;
};

class RemovalWindow : public ReportWindowsTest {
 protected:
  RemovalWindow() {
    AddFile(kHost, "the host program", L"Acme");
    AddFile(kBad, "a library without version data", std::nullopt);
    AddFile(kGood, "a library of a known company", L"Acme");
    machine.processes.AddProcess(100, {kHost, kBad});
    machine.processes.AddProcess(200, {kHost, kGood});
  }
  void AddFile(const std::wstring& path, const std::string& text, const std::optional<std::wstring>& company) {
    machine.files.AddTextFile(path, text);
    if (company) machine.versionInfo.Set(path, {{L"CompanyName", *company}});
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

    ASSERT_EQ(machine.shutdown.ExitCalls().size(), 1u);
    EXPECT_EQ(machine.shutdown.ExitCalls()[0].flags, 3u);
    EXPECT_EQ(machine.shutdown.ExitCalls()[0].reason, 0xFFFFFFFFu);
    EXPECT_TRUE(Removed(kBad));
    EXPECT_TRUE(ui::Ended());
    EXPECT_EQ(ui::ExitCode(), 0);
    const std::wstring manually = L"Access is denied. Please restart Windows manually.";
    std::vector<Box> boxes{{LoadResString(116), 49}};
    if (refused) boxes.emplace_back(manually, 48);
    EXPECT_EQ(Boxes(), boxes);
    int refusalLines = 0;
    for (const Line& line : Lines(*logger)) refusalLines += line == Line{0, manually, kLogError, kApplySource};
    EXPECT_EQ(refusalLines, refused ? 1 : 0);
    EXPECT_TRUE(Unchanged(window));
  }
  static bool Unchanged(FSpywareRemover& window) {
    return window.cmdApplyScript.Enabled() && window.cmdCancel.Caption() == L"Cancel" &&
           window.DefaultButton() == nullptr;
  }

 private:
  std::size_t seenBoxes_ = 0;
};

}  // namespace

TEST_F(RemovalWindow, DesignInTabOrderWithItsTextsAndNoDefaultButton) {
  FSpywareRemover window;
  EXPECT_EQ(window.Caption(), L"Spyware Remover");
  EXPECT_EQ(window.BorderStyle(), ui::BorderStyle::FixedDialog);
  std::vector<std::wstring> order;
  for (ui::Control* control : window.Controls()) order.push_back(control->Name());
  EXPECT_EQ(order, (std::vector<std::wstring>{L"lblTop", L"Label1", L"txtMessage", L"cmdPaste", L"cmdCheckPastedData",
                                              L"cmdApplyScript", L"cmdCancel", L"StaticLine1", L"Image1", L"Image3"}));
  EXPECT_EQ(std::tuple(window.Label1.Caption(), window.cmdPaste.Caption(), window.cmdCheckPastedData.Caption(),
                       window.cmdApplyScript.Caption(), window.cmdCancel.Caption()),
            std::tuple(L"Spyware removal procedure:", L"Paste", L"&Check", L"Remove Spyware", L"Cancel"));
  EXPECT_TRUE(window.txtMessage.MultiLine());
  EXPECT_EQ(window.CancelButton(), &window.cmdCancel);

  window.Load();
  EXPECT_EQ(window.lblTop.Caption(), LoadResString(136));
  EXPECT_EQ(window.txtMessage.Text(), LoadResString(137));
  EXPECT_EQ(window.DefaultButton(), nullptr);
}

// Selecting all: on the focus, and on releasing A with Ctrl alone.
TEST_F(RemovalWindow, TextIsSelectedWholeOnTheFocusAndOnCtrlAOnly) {
  FSpywareRemover window;
  window.Show();
  window.txtMessage.SetText(L"pasted text");
  window.txtMessage.SetFocus();
  EXPECT_EQ(window.txtMessage.SelText(), L"pasted text");

  struct Case {
    int key, shift;
    bool selects;
  };
  for (const Case& c : {Case{ui::kKeyA, ui::kCtrlMask, true}, Case{ui::kKeyA, ui::kCtrlMask | ui::kShiftMask, false},
                        Case{ui::kKeyA, ui::kCtrlMask | ui::kAltMask, false}, Case{ui::kKeyA, 0, false},
                        Case{'B', ui::kCtrlMask, false}}) {
    window.txtMessage.SetSelStart(3);
    window.txtMessage.UserKeyUp(c.key, c.shift);
    EXPECT_EQ(window.txtMessage.SelText(), c.selects ? L"pasted text" : L"") << c.key << " " << c.shift;
  }
}

TEST_F(RemovalWindow, PasteTakesTheClipboardsTextSelectedInTheFocusedBox) {
  for (const std::wstring clip : {std::wstring(L"> mail\r\n" + Script(ForThisPC(L"", L""))), std::wstring()}) {
    FSpywareRemover window;
    window.Show();
    window.cmdCheckPastedData.SetFocus();
    ASSERT_TRUE(ui::SetClipboardText(clip));
    window.cmdPaste.PerformClick();
    EXPECT_EQ(window.txtMessage.Text(), clip);
    EXPECT_EQ(window.Focused(), &window.txtMessage);
    EXPECT_EQ(window.txtMessage.SelText(), clip);
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RemovalWindow, CheckTellsWhetherTheScriptMayRunAndRemovesNothing) {
  struct Case {
    const char* what;
    std::wstring text;
    Box box;
  };
  const Case cases[] = {
      {"the placeholder", L"", Box{LoadResString(108), 48}},
      {"a script for this PC", Script(ForThisPC(L"", Item(kGood))), Box{LoadResString(107), 64}},
      {"a script for another PC", Script(ForThisPC(L"", L"", {{L"pcname", L"OTHER"}})), Box{LoadResString(109), 48}},
  };
  for (const Case& c : cases) {
    FSpywareRemover window;
    window.Show();
    if (!c.text.empty()) window.txtMessage.UserEdit(c.text);
    window.cmdCheckPastedData.PerformClick();
    EXPECT_EQ(NewBoxes(), std::vector<Box>{c.box}) << c.what;
    EXPECT_TRUE(Unchanged(window)) << c.what;
  }
  EXPECT_TRUE(machine.files.HasFile(kBad));
  EXPECT_TRUE(machine.files.HasFile(kGood));
  EXPECT_TRUE(machine.processes.Terminations().empty());
}

TEST_F(RemovalWindow, ErrorOfCheckIsLoggedAndShowsNothing) {
  FailingDesktop failing;
  FSpywareRemover window;
  Open(window, Script(ForThisPC(L"", L"")));
  window.cmdCheckPastedData.PerformClick();
  EXPECT_EQ(Lines(*logger), (std::vector<Line>{{err::kOutOfMemory, L"Out of memory", kLogError,
                                                L"FSpywareRemover.cmdCheckPastedData_Click"}}));
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

  EXPECT_EQ(lines, (std::vector<std::wstring>{LoadResString(113), LoadResString(114)}));
  EXPECT_EQ(lastValue, 100);
  EXPECT_EQ(Disabled(), (std::vector<std::wstring>{kBad, kGood}));
  EXPECT_TRUE(Removed(kBad));
  EXPECT_TRUE(Removed(kGood));
  EXPECT_EQ(machine.processes.Terminations(), (std::vector<platform::TerminateCall>{{100, 0}, {200, 0}}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(116), 49}, {LoadResString(118), 64}}));
  EXPECT_TRUE(machine.shutdown.ExitCalls().empty());
  EXPECT_FALSE(ui::Ended());
  EXPECT_TRUE(Unchanged(window));
  ASSERT_FALSE(logger->lines.empty());
  EXPECT_EQ(logger->lines[0].message, L"Executing a script: > quoted mail\r\n" + script);

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
  EXPECT_TRUE(Disabled().empty());
  EXPECT_TRUE(machine.files.HasFile(kBad));
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
  EXPECT_EQ(std::get<3>(Lines(*logger).back()), L"CPaRemover.RemoveSpyware");
  EXPECT_EQ(std::get<2>(Lines(*logger).back()), kLogError);
  EXPECT_TRUE(machine.files.HasFile(kBad));
  EXPECT_TRUE(Finished(window));
}

TEST_F(RemovalWindow, CancelInTheProgressDialogEndsTheRunWithoutAWord) {
  FSpywareRemover window;
  Open(window, Script(ForThisPC(L"", Item(kGood))));
  headless->onIdle = [&] {
    if (auto* dialog = dynamic_cast<FProgressor*>(headless->FindLoaded(L"FProgressor"))) dialog->cmdCancel.PerformClick();
  };
  window.cmdApplyScript.PerformClick();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(Disabled().empty());
  EXPECT_TRUE(machine.files.HasFile(kBad));
  EXPECT_TRUE(machine.processes.Terminations().empty());
  EXPECT_TRUE(Unchanged(window));
}

TEST_F(RemovalWindow, ErrorOfRemoveSpywareIsLoggedAndLeavesTheWindowAsItWas) {
  FailingDesktop failing;
  FSpywareRemover window;
  Open(window, L"no script");
  window.cmdApplyScript.PerformClick();
  EXPECT_EQ(Lines(*logger).back(), (Line{err::kOutOfMemory, L"Out of memory", kLogError, kApplySource}));
  EXPECT_TRUE(Unchanged(window));
}

TEST_F(RemovalWindow, CancelEscapeAndTheCloseBoxUnloadTheWindow) {
  for (int how = 0; how < 3; ++how) {
    FSpywareRemover window;
    window.Show();
    if (how == 0) window.cmdCancel.PerformClick();
    if (how == 1) window.UserKeyPress(ui::kKeyEscape);
    if (how == 2) window.UserClose();
    EXPECT_FALSE(window.Loaded()) << how;
  }
}

TEST_F(RemovalWindow, MainWindowsButtonShowsItModallyOverTheMainWindow) {
  const LaterWindows saved = GetLaterWindows();
  GetLaterWindows() = ProgramLaterWindows();
  FMain main;
  main.Load();
  std::tuple<std::wstring, bool, ui::Form*> seen;
  headless->onModal = [&](ui::Form& form) {
    seen = {form.Name(), form.IsModal(), form.Owner()};
    form.UserKeyPress(ui::kKeyEscape);
  };
  main.cmdSpywareRemover.PerformClick();
  GetLaterWindows() = saved;
  EXPECT_EQ(seen, std::tuple(std::wstring(L"FSpywareRemover"), true, static_cast<ui::Form*>(&main)));
  EXPECT_FALSE(ui::Ended());
}

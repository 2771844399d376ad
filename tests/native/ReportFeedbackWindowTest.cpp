// The uninstall-feedback window on the headless toolkit with the HTTP double: design, loading, the
// empty reason, the three ways out, the Retry/Cancel loop with its log lines, a send after Cancel, the
// handler's own error, and the /uninstall start-up with this window.
#include <string>
#include <tuple>
#include <vector>

#include "report/FSendInfo.h"
#include "shell/app/FMain.h"
#include "shell/Strings.h"
#include "tests/native/FormChecks.h"
#include "tests/native/ReportWindowsFixture.h"

namespace {

const std::wstring kSend = L"FSendInfo.cmdSend_Click";
const std::wstring kLogFile = L"C:\\Wardline\\WDL.log";
using Line = std::tuple<long, std::wstring, int, std::wstring>;
using Box = std::tuple<std::wstring, unsigned>;

class ReportFeedbackWindow : public ReportWindowsTest {
 protected:
  ReportFeedbackWindow() {
    machine.files.AddTextFile(kLogFile, "line 1\r\nline 2\r\n");
    feedbackLog->SetLogFiles(kLogFile, L"C:\\Wardline\\short.log");
  }
  // The window as the /uninstall start-up opens it, with `reason` typed.
  std::shared_ptr<FSendInfo> Open(const std::wstring& reason = L"Too slow") {
    auto window = std::static_pointer_cast<FSendInfo>(FSendInfo::Open(feedbackLog));
    window->txtReason.SetText(reason);
    return window;
  }
  std::size_t Sends() const { return Sent().size(); }

  // The window's own logger, which keeps its lines and names the log file.
  std::shared_ptr<CapturingLogger> feedbackLog = std::make_shared<CapturingLogger>();
};

TEST_F(ReportFeedbackWindow, DesignInTabOrderAtItsPositions) {
  FSendInfo window;
  EXPECT_EQ(std::tuple(window.Caption(), window.ScaleWidth(), window.ScaleHeight()),
            std::tuple(L"Wardline Uninstall", 6255, 3405));
  EXPECT_EQ(form_checks::Placements(window),
            (std::vector<form_checks::Placement>{{L"Image1", 240, 270, 960, 960}, {L"Label1", 1620, 360, 3975, 855},
                                                 {L"Frame1", 1905, 1320, 3615, 20}, {L"Label4", 180, 1350, 780, 195},
                                                 {L"txtReason", 180, 1620, 5865, 1095},
                                                 {L"cmdSend", 3660, 2880, 1125, 345},
                                                 {L"cmdCancel", 4920, 2880, 1125, 345}}));
  EXPECT_EQ(std::tuple(window.Label4.Caption(), window.cmdSend.Caption(), window.cmdCancel.Caption(),
                       window.Frame1.Caption(), window.txtReason.Text()),
            std::tuple(L"Comments:", L"Send", L"Skip", L"", L""));
  EXPECT_EQ(window.CancelButton(), &window.cmdCancel) << "Escape does not press Skip";
  EXPECT_EQ(window.Image1.Picture().width, 64);
}

TEST_F(ReportFeedbackWindow, LoadDrawsTheWhiteFrameAndTheInvitation) {
  auto window = Open();
  EXPECT_EQ(std::tuple(window->Visible(), window->Owner(), window->Label1.Caption()),
            std::tuple(true, nullptr, LoadResString(133)));
  const int W = 6255, H = 3405;
  std::vector<std::vector<int>> lines;
  for (const ui::DrawnLine& l : window->Drawing()) {
    EXPECT_EQ(l.color, ui::kWhite);
    lines.push_back({l.x1, l.y1, l.x2, l.y2});
  }
  EXPECT_EQ(lines, (std::vector<std::vector<int>>{{0, 0, W, 0},
                                                  {W - 14, 0, W - 14, H},
                                                  {0, 0, 0, H},
                                                  {0, H - 14, W, H - 14},
                                                  {14, 14, W, 14},
                                                  {W - 28, 14, W - 28, H},
                                                  {14, 14, 14, H},
                                                  {14, H - 28, W, H - 28}}));
}

TEST_F(ReportFeedbackWindow, EmptyReasonIsRefusedAndNothingIsSent) {
  auto window = Open(L"");
  window->cmdSend.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(130), 48u}}));
  EXPECT_EQ(std::tuple(machine.desktop.Boxes()[0].title, machine.http.Calls().empty(), window->Enabled(), ui::Ended()),
            std::tuple(L"Wardline", true, true, false));
}

// While the send waits the window is disabled under the hourglass, so neither Skip nor the close box
// gets through; after the "Thank you. " box the program ends.
TEST_F(ReportFeedbackWindow, SentFeedbackCarriesReasonAndLogThenEndsTheProgram) {
  auto window = Open(L"Too slow\r\n+ 100%");
  machine.http.script.readyStates = {1, 4};
  std::vector<std::tuple<bool, int>> duringSend;
  machine.http.onReadyState = [&](std::size_t) {
    duringSend.emplace_back(window->Enabled(), machine.desktop.MousePointer());
    window->cmdCancel.PerformClick();
    window->UserClose();
  };
  bool endedBeforeBox = true;
  machine.desktop.SetMessageBoxHook([&](const platform::ShownBox&) { endedBeforeBox = ui::Ended(); });
  window->cmdSend.PerformClick();

  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(std::tuple(sent[0].subject, ValueOf(sent[0], L"reason"), ValueOf(sent[0], L"log")),
            std::tuple(L"LDW\\Uninstall", L"Too slow\r\n+ 100%", L"line 1\r\nline 2\r\n"));
  ASSERT_FALSE(duringSend.empty());
  for (const auto& state : duringSend) EXPECT_EQ(state, std::tuple(false, platform::kPointerHourglass));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(131), 64u}}));
  EXPECT_EQ(std::tuple(endedBeforeBox, ui::Ended(), ui::ExitCode()), std::tuple(false, true, 0));
  EXPECT_TRUE(feedbackLog->lines.empty());
}

TEST_F(ReportFeedbackWindow, ReasonOfBlanksGoesOutAsTheLogAloneAndAnUnreadableLogAsTheReasonAlone) {
  struct Case { std::wstring reason; bool logThere; std::wstring sentReason, sentLog; };
  for (const Case& c : {Case{L"   ", true, L"(none)", L"line 1\r\nline 2\r\n"},
                        Case{L" why ", false, L" why ", L"(none)"}}) {
    NewRun();
    machine.http.script = {};
    if (!c.logThere) machine.files.Remove(kLogFile);
    auto window = Open(c.reason);
    const std::size_t before = Sends();
    window->cmdSend.PerformClick();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), before + 1);
    EXPECT_EQ(std::tuple(ValueOf(sent.back(), L"reason"), ValueOf(sent.back(), L"log"), ui::Ended()),
              std::tuple(c.sentReason, c.sentLog, true));
  }
}

// Each failed attempt logs one line at level 4 with the newest reason before the Retry/Cancel box; the
// same values go out each time. After Cancel the window is open, enabled and keeps the reason.
TEST_F(ReportFeedbackWindow, ThreeFailedAttemptsRetryRetryCancel) {
  auto window = Open();
  machine.http.script.status = 503;
  machine.http.script.statusText = L"Busy 1";
  for (int answer : {4, 4, 2}) machine.desktop.QueueAnswer(answer);
  int boxes = 0;
  std::vector<int> pointers;
  machine.desktop.SetMessageBoxHook([&](const platform::ShownBox& box) {
    pointers.push_back(box.mousePointer);
    machine.http.script.statusText = L"Busy " + std::to_wstring(++boxes + 1);
  });
  window->cmdSend.PerformClick();

  const std::wstring cannot = LoadResString(906);
  EXPECT_EQ(Lines(*feedbackLog), (std::vector<Line>{{kSubmissionFailed, cannot + L"Busy 1", 4, kSend},
                                                    {kSubmissionFailed, cannot + L"Busy 2", 4, kSend},
                                                    {kSubmissionFailed, cannot + L"Busy 3", 4, kSend}}));
  const Box retry{LoadResString(132), 53u};
  EXPECT_EQ(Boxes(), (std::vector<Box>{retry, retry, retry}));
  EXPECT_EQ(pointers, (std::vector<int>{0, 0, 0}));
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  for (const auto& request : sent) EXPECT_EQ(ValueOf(request, L"reason"), L"Too slow");
  EXPECT_TRUE(logger->lines.empty());  // the window logs only through its own logger
  EXPECT_EQ(std::tuple(ui::Ended(), window->Visible(), window->Enabled(), machine.desktop.MousePointer(),
                       window->txtReason.Text()),
            std::tuple(false, true, true, platform::kPointerDefault, L"Too slow"));
}

TEST_F(ReportFeedbackWindow, SendAfterCancelBuildsTheValuesAgain) {
  auto window = Open(L"first");
  machine.http.script.status = 500;
  machine.desktop.QueueAnswer(2);
  window->cmdSend.PerformClick();
  ASSERT_FALSE(ui::Ended());

  machine.http.script.status = 200;
  window->txtReason.SetText(L"second");
  machine.files.AddTextFile(kLogFile, "line 3\r\n");
  window->cmdSend.PerformClick();
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(std::tuple(ValueOf(sent[1], L"reason"), ValueOf(sent[1], L"log")), std::tuple(L"second", L"line 3\r\n"));
  EXPECT_TRUE(ui::Ended());
}

TEST_F(ReportFeedbackWindow, SkipAndTheCloseBoxEndTheProgramWithoutTraffic) {
  for (bool skip : {true, false}) {
    NewRun();
    auto window = Open();
    if (skip) {
      window->cmdCancel.PerformClick();
      EXPECT_FALSE(window->Visible());
    } else {
      window->UserClose();
      EXPECT_FALSE(window->Loaded());
    }
    EXPECT_EQ(std::tuple(ui::Ended(), ui::ExitCode()), std::tuple(true, 0)) << skip;
  }
  EXPECT_EQ(std::tuple(machine.http.Calls().empty(), machine.desktop.Boxes().empty(), feedbackLog->lines.empty()),
            std::tuple(true, true, true));
}

TEST_F(ReportFeedbackWindow, ErrorInTheSendHandlerIsLoggedAndLeavesTheWindowEnabled) {
  auto window = Open();
  machine.http.script.status = 500;
  machine.desktop.SetMessageBoxHook([](const platform::ShownBox&) { throw CError(err::kOutOfMemory, L"Out of memory"); });
  window->cmdSend.PerformClick();
  ASSERT_EQ(feedbackLog->lines.size(), 2u);
  EXPECT_EQ(Lines(*feedbackLog)[1], Line(err::kOutOfMemory, L"Out of memory", 0, kSend));
  EXPECT_EQ(std::tuple(window->Enabled(), machine.desktop.MousePointer(), ui::Ended()),
            std::tuple(true, platform::kPointerDefault, false));
}

// The whole /uninstall mode: the start-up's logger goes to the window, whose log (with the start lines)
// goes out with the reason; the program ends with 0 after the success box.
TEST_F(ReportFeedbackWindow, UninstallModeSendsTheReasonWithTheStartLinesAndEnds) {
  machine.system.SetCommandArguments(L"/uninstall");
  machine.files.SetProgramFolder(L"C:\\Wardline");
  machine.files.Remove(kLogFile);
  const LaterWindows saved = GetLaterWindows();
  GetLaterWindows() = LaterWindows{};
  GetLaterWindows().sendInfo = FSendInfo::Open;
  headless->onIdle = [&] {
    if (auto* window = dynamic_cast<FSendInfo*>(headless->FindLoaded(L"FSendInfo")); window && window->Enabled()) {
      window->txtReason.SetText(L"No need");
      window->cmdSend.PerformClick();
    }
  };
  EXPECT_EQ(RunWardline(), 0);
  GetLaterWindows() = saved;

  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  const bool startLines = ValueOf(sent[0], L"log").find(L"Wardline ver.2.0.24") != std::wstring::npos;
  EXPECT_EQ(std::tuple(ValueOf(sent[0], L"reason"), startLines), std::tuple(L"No need", true));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(131), 64u}}));
}

}  // namespace

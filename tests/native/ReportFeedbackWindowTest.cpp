// The uninstall-feedback window on the headless toolkit with the HTTP double: design, loading, the
// empty reason, the three ways out, the Retry/Cancel loop with its log lines, a send after Cancel, the
// handler's own error, and the /uninstall start-up with this window.
#include <string>
#include <tuple>
#include <vector>

#include "report/FSendInfo.h"
#include "shell/app/FMain.h"
#include "shell/Strings.h"
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

TEST_F(ReportFeedbackWindow, DesignAtItsPositions) {
  FSendInfo window;
  EXPECT_EQ(window.Caption(), L"Wardline Uninstall");
  EXPECT_EQ(std::tuple(window.ScaleWidth(), window.ScaleHeight()), std::tuple(6255, 3405));
  struct Case { const wchar_t* name; int left, top, width, height; };
  std::vector<std::wstring> order;
  for (const Case c : {Case{L"Image1", 240, 270, 960, 960}, Case{L"Label1", 1620, 360, 3975, 855},
                       Case{L"Frame1", 1905, 1320, 3615, 20}, Case{L"Label4", 180, 1350, 780, 195},
                       Case{L"txtReason", 180, 1620, 5865, 1095}, Case{L"cmdSend", 3660, 2880, 1125, 345},
                       Case{L"cmdCancel", 4920, 2880, 1125, 345}}) {
    ui::Control* control = window.FindControl(c.name);
    ASSERT_NE(control, nullptr) << c.name;
    const ui::TwipsRect& b = control->Bounds();
    EXPECT_EQ((std::vector<int>{b.left, b.top, b.width, b.height}), (std::vector<int>{c.left, c.top, c.width, c.height}))
        << c.name;
  }
  for (ui::Control* control : window.Controls()) order.push_back(control->Name());
  EXPECT_EQ(order, (std::vector<std::wstring>{L"Image1", L"Label1", L"Frame1", L"Label4", L"txtReason", L"cmdSend",
                                              L"cmdCancel"}));
  EXPECT_EQ(std::tuple(window.Label4.Caption(), window.cmdSend.Caption(), window.cmdCancel.Caption(),
                       window.Frame1.Caption(), window.txtReason.Text()),
            std::tuple(L"Comments:", L"Send", L"Skip", L"", L""));
  EXPECT_EQ(window.Image1.Picture().width, 64);
}

TEST_F(ReportFeedbackWindow, LoadDrawsTheWhiteFrameAndTheInvitation) {
  auto window = Open();
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(window->Owner(), nullptr);
  EXPECT_EQ(window->Label1.Caption(), LoadResString(133));
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
  EXPECT_EQ(machine.desktop.Boxes()[0].title, L"Wardline");
  EXPECT_TRUE(machine.http.Calls().empty());
  EXPECT_TRUE(window->Enabled());
  EXPECT_FALSE(ui::Ended());
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
  EXPECT_EQ(sent[0].subject, L"LDW\\Uninstall");
  EXPECT_EQ(ValueOf(sent[0], L"reason"), L"Too slow\r\n+ 100%");
  EXPECT_EQ(ValueOf(sent[0], L"log"), L"line 1\r\nline 2\r\n");
  ASSERT_FALSE(duringSend.empty());
  for (const auto& state : duringSend) EXPECT_EQ(state, std::tuple(false, platform::kPointerHourglass));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(131), 64u}}));
  EXPECT_FALSE(endedBeforeBox);
  EXPECT_TRUE(ui::Ended());
  EXPECT_EQ(ui::ExitCode(), 0);
  EXPECT_TRUE(feedbackLog->lines.empty());
}

TEST_F(ReportFeedbackWindow, ReasonOfBlanksGoesOutAsTheLogAloneAndAnUnreadableLogAsTheReasonAlone) {
  struct Case { std::wstring reason; bool logThere; std::wstring sentReason, sentLog; };
  for (const Case& c : {Case{L"   ", true, L"(none)", L"line 1\r\nline 2\r\n"},
                        Case{L" why ", false, L" why ", L"(none)"}}) {
    ui::ResetApplication();
    machine.http.script = {};
    if (!c.logThere) machine.files.Remove(kLogFile);
    auto window = Open(c.reason);
    const std::size_t before = Sends();
    window->cmdSend.PerformClick();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), before + 1);
    EXPECT_EQ(ValueOf(sent.back(), L"reason"), c.sentReason);
    EXPECT_EQ(ValueOf(sent.back(), L"log"), c.sentLog);
    EXPECT_TRUE(ui::Ended());
  }
}

// Each failed attempt logs one line at level 4 with the newest reason before the Retry/Cancel box; the
// same values go out each time. After Cancel the window is open, enabled and keeps the reason.
TEST_F(ReportFeedbackWindow, ThreeFailedAttemptsRetryRetryCancel) {
  auto window = Open();
  machine.http.script.status = 503;
  machine.http.script.statusText = L"Busy 1";
  machine.desktop.QueueAnswer(4);
  machine.desktop.QueueAnswer(4);
  machine.desktop.QueueAnswer(2);
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
  EXPECT_FALSE(ui::Ended());
  EXPECT_TRUE(window->Visible());
  EXPECT_TRUE(window->Enabled());
  EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerDefault);
  EXPECT_EQ(window->txtReason.Text(), L"Too slow");
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
    ui::ResetApplication();
    auto window = Open();
    if (skip) {
      window->cmdCancel.PerformClick();
      EXPECT_FALSE(window->Visible());
    } else {
      window->UserClose();
      EXPECT_FALSE(window->Loaded());
    }
    EXPECT_TRUE(ui::Ended()) << skip;
    EXPECT_EQ(ui::ExitCode(), 0);
  }
  EXPECT_TRUE(machine.http.Calls().empty());
  EXPECT_TRUE(machine.desktop.Boxes().empty());
  EXPECT_TRUE(feedbackLog->lines.empty());
}

TEST_F(ReportFeedbackWindow, ErrorInTheSendHandlerIsLoggedAndLeavesTheWindowEnabled) {
  auto window = Open();
  machine.http.script.status = 500;
  machine.desktop.SetMessageBoxHook([](const platform::ShownBox&) { throw CError(err::kOutOfMemory, L"Out of memory"); });
  window->cmdSend.PerformClick();
  ASSERT_EQ(feedbackLog->lines.size(), 2u);
  EXPECT_EQ(Lines(*feedbackLog)[1], Line(err::kOutOfMemory, L"Out of memory", 0, kSend));
  EXPECT_TRUE(window->Enabled());
  EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerDefault);
  EXPECT_FALSE(ui::Ended());
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
  EXPECT_EQ(ValueOf(sent[0], L"reason"), L"No need");
  EXPECT_NE(ValueOf(sent[0], L"log").find(L"Wardline ver.2.0.24"), std::wstring::npos);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(131), 64u}}));
}

}  // namespace

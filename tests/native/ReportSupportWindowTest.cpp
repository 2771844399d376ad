// The support-request window on the headless toolkit with the HTTP double: design, loading, the input
// checks, the job inside the progress dialog, success, failure and cancel, and the modal show.
#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "report/FRequestSupport.h"
#include "shell/Strings.h"
#include "tests/native/FormChecks.h"
#include "tests/native/ReportWindowsFixture.h"

namespace {

const std::wstring kClick = L"FRequestSupport.cmdRequestSupport_Click";
using Line = std::tuple<long, std::wstring, int, std::wstring>;
using Box = std::tuple<std::wstring, unsigned>;

// A system whose descriptions can be made to fail, as any call of the shared library can; installed
// in place of the machine's for its lifetime.
class FailingSystem : public platform::FakeSystem {
 public:
  FailingSystem() : previous_(platform::Install(platform::Services{.system = this})) {}
  ~FailingSystem() override { platform::Install(previous_); }
  std::wstring CpuDescription() override {
    if (failCpu) throw CError(err::kOutOfMemory, L"Out of memory");
    return FakeSystem::CpuDescription();
  }
  std::wstring TimeSeparator() override {
    if (failClock) throw CError(err::kOutOfMemory, L"Out of memory");
    return FakeSystem::TimeSeparator();
  }
  bool failCpu = false;
  bool failClock = false;

 private:
  platform::Services previous_;
};

class ReportSupportWindow : public ReportWindowsTest {
 protected:
  // The window loaded and shown as the main window shows it, with input that passes the checks unless
  // other input is given.
  void Open(FRequestSupport& window, const std::wstring& comments = L"It pops up ads & <more>.",
            const std::wstring& name = L"Ann", const std::wstring& email = L"ann@example.com") {
    window.Show();
    window.txtComments.SetText(comments);
    window.txtYourName.SetText(name);
    window.txtYourEmail.SetText(email);
  }
  // Presses Cancel in the progress dialog at the first pending-message run for which `when` holds.
  void CancelWhen(std::function<bool()> when) {
    headless->onIdle = [this, when] {
      if (auto* dialog = dynamic_cast<FProgressor*>(headless->FindLoaded(L"FProgressor")); dialog && when()) {
        dialog->cmdCancel.PerformClick();
      }
    };
  }
};

TEST_F(ReportSupportWindow, DesignInTabOrderWithItsTexts) {
  FRequestSupport window;
  EXPECT_EQ(window.lblTop.Caption(), LoadResString(135));  // set when the window object is made
  EXPECT_EQ(std::tuple(window.Caption(), window.BorderStyle(), window.ScaleWidth(), window.ScaleHeight()),
            std::tuple(L"Request Support Form", ui::BorderStyle::FixedDialog, 7755, 4635));
  std::vector<std::wstring> order = form_checks::TabOrder(window);
  order.resize(14);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"lblTop", L"Label3", L"txtOS", L"Label4", L"txtCPUType", L"Label5",
                                              L"txtComputerName", L"txtComments", L"Label1", L"txtYourName",
                                              L"Label2", L"txtYourEmail", L"cmdRequestSupport", L"cmdCancel"}));
  EXPECT_EQ(std::tuple(window.Label3.Caption(), window.Label4.Caption(), window.Label5.Caption(),
                       window.Label1.Caption(), window.Label2.Caption(), window.cmdRequestSupport.Caption(),
                       window.cmdCancel.Caption()),
            std::tuple(L"Operating System:", L"CPU Type:", L"Computer Name:", L"Your Name:", L"Your E-mail:",
                       L"Request Support", L"Cancel"));
  for (ui::TextBox* box : {&window.txtOS, &window.txtCPUType, &window.txtComputerName}) {
    EXPECT_EQ(std::tuple(box->Locked(), box->BackColor()), std::tuple(true, window.BackColor())) << box->Name();
  }
  EXPECT_EQ(std::tuple(window.txtComments.Locked(), window.txtComments.MultiLine(),
                       window.cmdRequestSupport.IsDefault(), window.cmdCancel.IsCancel()),
            std::tuple(false, true, true, true));
  // Everything inside the client area.
  for (ui::Control* control : window.Controls()) {
    const ui::TwipsRect& b = control->Bounds();
    EXPECT_LE(b.left + b.width, 7755) << control->Name();
    EXPECT_LE(b.top + b.height, 4635) << control->Name();
  }
}

TEST_F(ReportSupportWindow, OpensWithTheMachineTextsAndTheCommentsSelected) {
  FRequestSupport window;
  window.Show();
  EXPECT_EQ(std::tuple(window.txtOS.Text(), window.txtCPUType.Text(), window.txtComputerName.Text(),
                       window.txtComments.Text()),
            std::tuple(L"Microsoft Windows XP 5.1.2600", L"x86 Family 6 Model 15", L"TESTPC", LoadResString(101)));
  EXPECT_EQ(window.Focused(), &window.txtComments);
  EXPECT_EQ(window.txtComments.SelText(), LoadResString(101));  // typing replaces it
  window.UserKeyPress('W');
  EXPECT_EQ(window.txtComments.Text(), L"W");
}

TEST_F(ReportSupportWindow, MachineTextThatCannotBeHadLeavesItsBoxEmpty) {
  FailingSystem system;
  system.failCpu = true;
  FRequestSupport window;
  window.Show();
  EXPECT_EQ(std::tuple(window.Visible(), window.txtCPUType.Text(), window.txtComputerName.Text()),
            std::tuple(true, L"", L"TESTPC"));
  EXPECT_EQ(Lines(*logger), (std::vector<Line>{{err::kOutOfMemory, L"Out of memory", 4, L"FRequestSupport.Form_Load"}}));
}

TEST_F(ReportSupportWindow, InputChecksInOrderNothingTrimmed) {
  const std::wstring placeholder = LoadResString(101);
  struct Case { std::wstring comments, name, email; int message; };
  const std::vector<Case> cases = {
      {L"", L"Ann", L"a@b", 102},
      {placeholder, L"Ann", L"a@b", 102},
      {L"", L"", L"", 102},
      {L"type your comments here...", L"", L"a@b", 103},  // differs from the placeholder in case only
      {L"Help", L"", L"", 103},
      {L"Help", L"Ann", L"", 104},
      {L"Help", L"  ", L" ", 105},  // blanks pass: sent, and the success told
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    FRequestSupport window;
    Open(window, c.comments, c.name, c.email);
    window.cmdRequestSupport.PerformClick();
    ASSERT_EQ(m.desktop.Boxes().size(), 1u) << c.message;
    const platform::ShownBox& box = m.desktop.Boxes()[0];
    EXPECT_EQ(std::tuple(box.prompt, box.style, box.title, m.http.CallNames().empty() ? L"" : m.http.CallNames()[0]),
              std::tuple(LoadResString(c.message), c.message == 105 ? 64u : 48u, L"Wardline",
                         c.message == 105 ? L"create" : L""));
  }
}

TEST_F(ReportSupportWindow, SentRequestCarriesTheStateAndTurnsCancelIntoADefaultClose) {
  FRequestSupport window;
  Open(window);
  std::vector<std::wstring> progress;
  headless->onIdle = [&] {
    if (auto* dialog = dynamic_cast<FProgressor*>(headless->FindLoaded(L"FProgressor"))) {
      progress.push_back(dialog->lblLine1.Caption() + L"|" + dialog->lblLine2.Caption());
    }
  };
  window.cmdRequestSupport.PerformClick();

  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].subject, L"LDW\\SupportRequest");
  EXPECT_THAT(ValueOf(sent[0], L"state"),
              testing::StartsWith(L"<xml><meta><os>Microsoft Windows XP 5.1.2600</os><cpu>x86 Family 6 Model 15</cpu>"
                                  L"<pcname>TESTPC</pcname><comments>It pops up ads &amp; &lt;more&gt;.</comments>"
                                  L"<yourname>Ann</yourname><youremail>ann@example.com</youremail><appversion>2.0.24"
                                  L"</appversion><sent>2024-01-02 03:04</sent></meta><suspicious>"));
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), LoadResString(111) + L"|" + LoadResString(112));

  EXPECT_EQ(Lines(*logger), (std::vector<Line>{{0, L"Requesting support", 5, kClick}}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(105), 64u}}));
  EXPECT_EQ(std::tuple(window.cmdCancel.Caption(), window.cmdCancel.IsDefault(), window.cmdRequestSupport.IsDefault(),
                       window.Focused(), window.RequestSent(), machine.desktop.MousePointer()),
            std::tuple(L"Close", true, false, static_cast<ui::Control*>(&window.cmdCancel), true,
                       platform::kPointerDefault));

  window.cmdRequestSupport.PerformClick();  // still enabled: a new request
  EXPECT_EQ(Sent().size(), 2u);
  window.UserKeyPress(ui::kKeyEnter);  // Enter presses Close
  EXPECT_FALSE(window.Loaded());
}

TEST_F(ReportSupportWindow, FailedRequestLogsTheClientsReasonAndKeepsTheInput) {
  machine.http.script.status = 404;
  machine.http.script.statusText = L"Not Found";
  FRequestSupport window;
  Open(window);
  window.cmdRequestSupport.PerformClick();

  EXPECT_EQ(Lines(*logger), (std::vector<Line>{{kSubmissionFailed, L"Cannot contact. Not Found", 4, kClick}}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{LoadResString(106), 48u}}));
  EXPECT_EQ(machine.desktop.Boxes()[0].mousePointer, platform::kPointerDefault);
  EXPECT_EQ(std::tuple(window.cmdCancel.Caption(), window.cmdRequestSupport.IsDefault(), window.txtYourName.Text(),
                       window.RequestSent()),
            std::tuple(L"Cancel", true, L"Ann", false));

  window.cmdRequestSupport.PerformClick();  // compiles and sends anew
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(logger->lines.size(), 2u);
}

// Cancel while the state is compiled: nothing goes out and nothing is said. Cancel while the request is
// posted: it still goes out, but the window neither tells nor logs anything.
TEST_F(ReportSupportWindow, CancelLeavesTheWindowAsItWas) {
  struct Case { bool duringPost; std::ptrdiff_t sends; };
  for (const Case c : {Case{false, 0}, Case{true, 1}}) {
    platform::FakeMachine m;
    m.desktop.SetDoEventsHook([] { ui::DoEvents(); });
    m.http.script.readyStates = {1, 1, 4};
    logger->lines.clear();
    CancelWhen([&m, c] { return !c.duringPost || !m.http.LastBody().empty(); });
    FRequestSupport window;
    Open(window);
    window.cmdRequestSupport.PerformClick();
    const auto names = m.http.CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), L"send"), c.sends) << c.duringPost;
    EXPECT_TRUE(m.desktop.Boxes().empty()) << c.duringPost;
    EXPECT_TRUE(logger->lines.empty()) << c.duringPost;
    EXPECT_EQ(std::tuple(window.cmdCancel.Caption(), window.cmdRequestSupport.IsDefault()), std::tuple(L"Cancel", true));
    headless->onIdle = nullptr;
  }
}

// The state report fails as a whole (the clock cannot be read for the time of sending): the request
// still goes out, with an empty state.
TEST_F(ReportSupportWindow, FailedStateReportStillPostsAnEmptyState) {
  FailingSystem system;
  FRequestSupport window;
  Open(window);
  system.failClock = true;
  window.cmdRequestSupport.PerformClick();
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(ValueOf(sent[0], L"state"), L"");
  ASSERT_EQ(logger->lines.size(), 2u);
  EXPECT_EQ(std::tuple(logger->lines[0].source, logger->lines[1].message),
            std::tuple(L"CReporter.MakeStateXML", L"Requesting support"));
}

TEST_F(ReportSupportWindow, EscapeAndTheCloseBoxEndTheModalShow) {
  for (bool closeBox : {false, true}) {
    FRequestSupport window;
    ui::Form owner(L"FMain");
    owner.Show();
    bool modalOverOwner = false;
    headless->onModal = [&](ui::Form& form) {
      modalOverOwner = form.IsModal() && form.Owner() == &owner;
      if (closeBox) {
        form.UserClose();
      } else {
        form.UserKeyPress(ui::kKeyEscape);
      }
      EXPECT_FALSE(form.Loaded());
    };
    window.ShowDialog(owner);
    EXPECT_TRUE(modalOverOwner);
    EXPECT_FALSE(window.Loaded());
    EXPECT_TRUE(machine.http.Calls().empty());
  }
}

}  // namespace

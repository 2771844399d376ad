// The support-request window on the headless toolkit with the HTTP double: design, loading, the input
// checks, the job inside the progress dialog, success, failure and cancel, and the main window's button.
#include <string>
#include <tuple>
#include <vector>

#include "report/FRequestSupport.h"
#include "shell/app/FMain.h"
#include "shell/Strings.h"
#include "tests/native/ReportWindowsFixture.h"

namespace {

const std::wstring kClick = L"FRequestSupport.cmdRequestSupport_Click";

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
  // The window loaded and shown as the main window shows it, with input that passes the checks.
  void Open(FRequestSupport& window) {
    window.Show();
    window.txtComments.SetText(L"It pops up ads & <more>.");
    window.txtYourName.SetText(L"Ann");
    window.txtYourEmail.SetText(L"ann@example.com");
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
  EXPECT_EQ(window.Caption(), L"Request Support Form");
  EXPECT_EQ(window.BorderStyle(), ui::BorderStyle::FixedDialog);
  EXPECT_EQ(std::tuple(window.ScaleWidth(), window.ScaleHeight()), std::tuple(7755, 4635));

  std::vector<std::wstring> order;
  for (ui::Control* control : window.Controls()) order.push_back(control->Name());
  order.resize(14);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"lblTop", L"Label3", L"txtOS", L"Label4", L"txtCPUType", L"Label5",
                                              L"txtComputerName", L"txtComments", L"Label1", L"txtYourName",
                                              L"Label2", L"txtYourEmail", L"cmdRequestSupport", L"cmdCancel"}));
  EXPECT_EQ(std::tuple(window.Label3.Caption(), window.Label4.Caption(), window.Label5.Caption(),
                       window.Label1.Caption(), window.Label2.Caption()),
            std::tuple(L"Operating System:", L"CPU Type:", L"Computer Name:", L"Your Name:", L"Your E-mail:"));
  EXPECT_EQ(std::tuple(window.cmdRequestSupport.Caption(), window.cmdCancel.Caption()),
            std::tuple(L"Request Support", L"Cancel"));
  for (ui::TextBox* box : {&window.txtOS, &window.txtCPUType, &window.txtComputerName}) {
    EXPECT_TRUE(box->Locked()) << box->Name();
    EXPECT_EQ(box->BackColor(), window.BackColor()) << box->Name();
  }
  EXPECT_FALSE(window.txtComments.Locked());
  EXPECT_TRUE(window.txtComments.MultiLine());
  EXPECT_TRUE(window.cmdRequestSupport.IsDefault());
  EXPECT_TRUE(window.cmdCancel.IsCancel());
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
  EXPECT_EQ(window.txtOS.Text(), L"Microsoft Windows XP 5.1.2600");
  EXPECT_EQ(window.txtCPUType.Text(), L"x86 Family 6 Model 15");
  EXPECT_EQ(window.txtComputerName.Text(), L"TESTPC");
  EXPECT_EQ(window.txtComments.Text(), LoadResString(101));
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
  EXPECT_TRUE(window.Visible());
  EXPECT_EQ(window.txtCPUType.Text(), L"");
  EXPECT_EQ(window.txtComputerName.Text(), L"TESTPC");
  EXPECT_EQ(Lines(*logger), (std::vector<std::tuple<long, std::wstring, int, std::wstring>>{
                                {err::kOutOfMemory, L"Out of memory", 4, L"FRequestSupport.Form_Load"}}));
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
      {L"Help", L"  ", L" ", 0},  // blanks pass
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    FRequestSupport window;
    window.Show();
    window.txtComments.SetText(c.comments);
    window.txtYourName.SetText(c.name);
    window.txtYourEmail.SetText(c.email);
    window.cmdRequestSupport.PerformClick();
    if (c.message != 0) {
      ASSERT_EQ(m.desktop.Boxes().size(), 1u) << c.message;
      EXPECT_EQ(std::tuple(m.desktop.Boxes()[0].prompt, m.desktop.Boxes()[0].style, m.desktop.Boxes()[0].title),
                std::tuple(LoadResString(c.message), 48u, L"Wardline"));
      EXPECT_TRUE(m.http.Calls().empty()) << c.message;
    } else {
      EXPECT_EQ(m.desktop.Boxes().at(0).prompt, LoadResString(105));
      EXPECT_EQ(m.http.CallNames().front(), L"create");
    }
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
  const std::wstring state = ValueOf(sent[0], L"state");
  EXPECT_EQ(state.rfind(L"<xml><meta><os>Microsoft Windows XP 5.1.2600</os><cpu>x86 Family 6 Model 15</cpu>"
                        L"<pcname>TESTPC</pcname><comments>It pops up ads &amp; &lt;more&gt;.</comments>"
                        L"<yourname>Ann</yourname><youremail>ann@example.com</youremail><appversion>2.0.24"
                        L"</appversion><sent>2024-01-02 03:04</sent></meta><suspicious>",
                        0),
            0u)
      << state;
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), LoadResString(111) + L"|" + LoadResString(112));

  EXPECT_EQ(Lines(*logger), (std::vector<std::tuple<long, std::wstring, int, std::wstring>>{
                                {0, L"Requesting support", 5, kClick}}));
  EXPECT_EQ(Boxes(), (std::vector<std::tuple<std::wstring, unsigned>>{{LoadResString(105), 64u}}));
  EXPECT_EQ(window.cmdCancel.Caption(), L"Close");
  EXPECT_TRUE(window.cmdCancel.IsDefault());
  EXPECT_FALSE(window.cmdRequestSupport.IsDefault());
  EXPECT_EQ(window.Focused(), &window.cmdCancel);
  EXPECT_TRUE(window.RequestSent());
  EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerDefault);

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

  EXPECT_EQ(Lines(*logger), (std::vector<std::tuple<long, std::wstring, int, std::wstring>>{
                                {kSubmissionFailed, L"Cannot contact. Not Found", 4, kClick}}));
  EXPECT_EQ(Boxes(), (std::vector<std::tuple<std::wstring, unsigned>>{{LoadResString(106), 48u}}));
  EXPECT_EQ(machine.desktop.Boxes()[0].mousePointer, platform::kPointerDefault);
  EXPECT_EQ(window.cmdCancel.Caption(), L"Cancel");
  EXPECT_TRUE(window.cmdRequestSupport.IsDefault());
  EXPECT_EQ(window.txtYourName.Text(), L"Ann");
  EXPECT_FALSE(window.RequestSent());

  window.cmdRequestSupport.PerformClick();  // compiles and sends anew
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(logger->lines.size(), 2u);
}

// Cancel while the state is compiled: nothing goes out and nothing is said. Cancel while the request is
// posted: it still goes out, but the window neither tells nor logs anything.
TEST_F(ReportSupportWindow, CancelLeavesTheWindowAsItWas) {
  struct Case { bool duringPost; std::size_t sends; };
  for (const Case c : {Case{false, 0}, Case{true, 1}}) {
    platform::FakeMachine m;
    m.desktop.SetDoEventsHook([] { ui::DoEvents(); });
    m.http.script.readyStates = {1, 1, 4};
    logger->lines.clear();
    CancelWhen([&m, c] { return !c.duringPost || !m.http.LastBody().empty(); });
    FRequestSupport window;
    Open(window);
    window.cmdRequestSupport.PerformClick();
    std::size_t sends = 0;
    for (const auto& name : m.http.CallNames()) sends += name == L"send" ? 1 : 0;
    EXPECT_EQ(sends, c.sends) << c.duringPost;
    EXPECT_TRUE(m.desktop.Boxes().empty()) << c.duringPost;
    EXPECT_TRUE(logger->lines.empty()) << c.duringPost;
    EXPECT_EQ(window.cmdCancel.Caption(), L"Cancel");
    EXPECT_TRUE(window.cmdRequestSupport.IsDefault());
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
  EXPECT_EQ(logger->lines[0].source, L"CReporter.MakeStateXML");
  EXPECT_EQ(logger->lines[1].message, L"Requesting support");
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

TEST_F(ReportSupportWindow, MainWindowsButtonOpensItModally) {
  FMain main;
  main.Load();
  std::wstring shown;
  ui::Form* owner = nullptr;
  headless->onModal = [&](ui::Form& form) {
    shown = form.Name();
    owner = form.Owner();
    form.UserKeyPress(ui::kKeyEscape);
  };
  main.cmdRequestSupport.PerformClick();
  EXPECT_EQ(shown, L"FRequestSupport");
  EXPECT_EQ(owner, &main);
}

}  // namespace

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Error.h"
#include "shell/app/FAbout.h"
#include "shell/app/FMain.h"
#include "shell/Product.h"
#include "shell/StaticLine.h"
#include "shell/Strings.h"
#include "tests/native/UiHeadlessFixture.h"

namespace {

class ShellMainWindow : public UiHeadlessTest {
 protected:
  ShellMainWindow() { GetLaterWindows() = LaterWindows{}; }
  ~ShellMainWindow() override { GetLaterWindows() = LaterWindows{}; }
  std::tuple<unsigned, std::wstring, std::wstring> OnlyBox() const {
    EXPECT_EQ(machine.desktop.Boxes().size(), 1u);
    if (machine.desktop.Boxes().empty()) return {};
    const platform::ShownBox& box = machine.desktop.Boxes()[0];
    return {box.style, box.title, box.prompt};
  }
};

const std::wstring kExplorer = std::wstring(L"explorer ") + product::kWebSite;

TEST_F(ShellMainWindow, MenusCarryTheirCaptions) {
  FMain main;
  struct Case { const wchar_t* name; const wchar_t* caption; };
  for (const Case c : {Case{L"mnuFile", L"&File"}, Case{L"mnuExit", L"E&xit"}, Case{L"mnuTools", L"&Tools"},
                       Case{L"mnuRestoreRemovedPrograms", L"&Restore Removed Programs..."},
                       Case{L"mnuHelp", L"&Help"}, Case{L"mnuVisitHomepage", L"Wardline Home Page"},
                       Case{L"mnuHelp1", L"-"}, Case{L"mnuAbout", L"&About Wardline..."}}) {
    ui::MenuItem* item = main.FindMenu(c.name);
    ASSERT_NE(item, nullptr) << c.name;
    EXPECT_EQ(item->Caption(), c.caption);
  }
  ASSERT_EQ(main.Menus().size(), 3u);
  EXPECT_EQ(main.Menus()[2]->Items().size(), 3u);
}

TEST_F(ShellMainWindow, LayoutInTwipsAndTabOrder) {
  FMain main;
  struct Case { const wchar_t* name; int left, top, width, height; };
  for (const Case c : {Case{L"Image1", 105, 165, 1515, 4185}, Case{L"Label1", 2445, 135, 5145, 1065},
                       Case{L"cmdLearnMore", 5880, 1185, 1665, 345}, Case{L"StaticLine3", 2820, 1725, 4755, 105},
                       Case{L"cmdRequestSupport", 5910, 2595, 1665, 345}, Case{L"StaticLine1", 180, 4560, 7425, 105},
                       Case{L"cmdSpywareRemover", 5940, 4005, 1665, 345}, Case{L"Label4", 690, 4680, 6375, 195}}) {
    ui::Control* control = main.FindControl(c.name);
    ASSERT_NE(control, nullptr) << c.name;
    const ui::TwipsRect& b = control->Bounds();
    EXPECT_EQ((std::vector<int>{b.left, b.top, b.width, b.height}), (std::vector<int>{c.left, c.top, c.width, c.height}))
        << c.name;
  }
  std::vector<std::wstring> buttons;
  for (ui::Control* control : main.Controls()) {
    if (control->Kind() == ui::ControlKind::Button) buttons.push_back(control->Name());
  }
  EXPECT_EQ(buttons, (std::vector<std::wstring>{L"cmdLearnMore", L"cmdRequestSupport", L"cmdSpywareRemover"}));
  EXPECT_EQ(main.Caption(), L"Wardline");
  EXPECT_EQ(main.BorderStyle(), ui::BorderStyle::FixedSingle);
}

TEST_F(ShellMainWindow, LearnMoreAndHomePageStartExplorerWithTheWebSite) {
  machine.desktop.SetStartSucceeds(false);  // failures stay silent
  FMain main;
  main.Load();
  main.cmdLearnMore.PerformClick();
  main.FindMenu(L"mnuVisitHomepage")->PerformClick(main.Name());
  const platform::StartCall expected{kExplorer, 1};
  EXPECT_EQ(machine.desktop.Starts(), (std::vector<platform::StartCall>{expected, expected}));
  EXPECT_TRUE(machine.desktop.Boxes().empty());
  EXPECT_FALSE(ui::Ended());
}

TEST_F(ShellMainWindow, AboutShowsModallyOverTheMainWindow) {
  FMain main;
  main.Load();
  ui::Form* owner = nullptr;
  std::wstring shown;
  headless->onModal = [&](ui::Form& form) {
    shown = form.Name();
    owner = form.Owner();
    form.UserKeyPress(ui::kKeyEscape);
  };
  main.FindMenu(L"mnuAbout")->PerformClick(main.Name());
  EXPECT_EQ(shown, L"FAbout");
  EXPECT_EQ(owner, &main);
}

TEST_F(ShellMainWindow, CommandsWithoutTheirWindowsOpenNothingAndSayNothing) {
  FMain main;
  main.Load();
  main.cmdSpywareRemover.PerformClick();
  EXPECT_TRUE(headless->ShownForms().empty());
  EXPECT_TRUE(machine.desktop.Boxes().empty());
  EXPECT_FALSE(ui::Ended());
}

TEST_F(ShellMainWindow, ErrorInAButtonIsARunTimeErrorThatEndsTheProgram) {
  ui::SetUnhandledErrorHandler(ReportRunTimeError);
  ui::Form* parent = nullptr;
  GetLaterWindows().spywareRemover = [&](ui::Form& p) {
    parent = &p;
    throw CError(53, L"File not found");
  };
  FMain main;
  main.Load();
  main.cmdSpywareRemover.PerformClick();
  EXPECT_EQ(parent, &main);
  EXPECT_EQ(OnlyBox(), std::tuple(16u, L"Wardline", L"Run-time error '53':\r\n\r\nFile not found"));
  EXPECT_TRUE(ui::Ended());
  EXPECT_NE(ui::ExitCode(), 0);
}

TEST_F(ShellMainWindow, ExitUnloadsTheMainWindow) {
  FMain main;
  main.Show();
  main.FindMenu(L"mnuExit")->PerformClick(main.Name());
  EXPECT_FALSE(main.Loaded());
}

using ShellStaticLineWindow = UiHeadlessTest;

TEST_F(ShellStaticLineWindow, HostsAnEtchedStaticAsWideAsItselfOnEveryResize) {
  ui::Form form(L"FHolder");
  StaticLine line(form, L"StaticLine1", ui::TwipsRect{180, 4560, 7425, 105});
  form.Load();
  ASSERT_NE(line.LineWindow(), 0u);
  const ui::HeadlessWindow* child = headless->Window(line.LineWindow());
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(std::tie(child->className, child->text, child->exStyle, child->style, child->parent),
            std::tuple(L"Static", L"StaticLine", 0x20004u, 0x50000010u, line.Native()));
  EXPECT_EQ(child->rect.right - child->rect.left, 495);  // 7425 twips
  EXPECT_EQ(child->rect.bottom - child->rect.top, 0);
  EXPECT_EQ(headless->Window(line.Native())->className, L"WDL.StaticLine");

  for (int width : {3000, 9000, 15}) {
    line.Move(ui::TwipsRect{180, 4560, width, 105});
    child = headless->Window(line.LineWindow());
    ASSERT_NE(child, nullptr);
    ui::WindowRect host;
    ASSERT_TRUE(headless->GetWindowRect(line.Native(), host));
    EXPECT_EQ(child->rect.right - child->rect.left, ui::TwipsToPixels(width)) << width;
    EXPECT_EQ(child->rect.left, host.left) << width;
    EXPECT_EQ(child->rect.top, host.top) << width;
  }
  const ui::WindowHandle childHandle = line.LineWindow();
  form.Unload();
  EXPECT_EQ(headless->Window(childHandle), nullptr);
}

TEST_F(ShellStaticLineWindow, FailedChildStillLoadsTheControl) {
  headless->failChildWindows = true;
  ui::Form form(L"FHolder");
  StaticLine line(form, L"StaticLine1", ui::TwipsRect{0, 0, 1500, 105});
  form.Load();
  EXPECT_TRUE(form.Loaded());
  EXPECT_NE(line.Native(), 0u);
  EXPECT_EQ(line.LineWindow(), 0u);
  line.Move(ui::TwipsRect{0, 0, 3000, 105});
  form.Unload();
  EXPECT_FALSE(ui::Ended());
}

}  // namespace

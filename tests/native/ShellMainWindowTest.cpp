#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Error.h"
#include "shell/MAPI.h"
#include "shell/app/FAbout.h"
#include "shell/app/FMain.h"
#include "shell/Product.h"
#include "shell/StaticLine.h"
#include "shell/Strings.h"
#include "tests/native/FormChecks.h"
#include "tests/native/UiHeadlessFixture.h"

namespace {

class ShellMainWindow : public UiHeadlessTest {
 protected:
  ShellMainWindow() { GetLaterWindows() = LaterWindows{}; }
  ~ShellMainWindow() override { GetLaterWindows() = LaterWindows{}; }
};

const std::wstring kExplorer = std::wstring(L"explorer ") + product::kWebSite;

TEST_F(ShellMainWindow, MenusCarryTheirCaptionsInOrder) {
  FMain main;
  std::vector<std::pair<std::wstring, std::wstring>> menus;  // entries indented below their menu
  for (const auto& menu : main.Menus()) {
    menus.emplace_back(menu->Name(), menu->Caption());
    for (const auto& item : menu->Items()) menus.emplace_back(L"  " + item->Name(), item->Caption());
  }
  EXPECT_EQ(menus, (std::vector<std::pair<std::wstring, std::wstring>>{
                       {L"mnuFile", L"&File"}, {L"  mnuExit", L"E&xit"}, {L"mnuTools", L"&Tools"},
                       {L"  mnuRestoreRemovedPrograms", L"&Restore Removed Programs..."}, {L"mnuHelp", L"&Help"},
                       {L"  mnuVisitHomepage", L"Wardline Home Page"}, {L"  mnuHelp1", L"-"},
                       {L"  mnuAbout", L"&About Wardline..."}}));
}

TEST_F(ShellMainWindow, LayoutInTwipsAndTabOrder) {
  FMain main;
  EXPECT_EQ(form_checks::Placements(main, {L"Image1", L"Label1", L"cmdLearnMore", L"StaticLine3", L"cmdRequestSupport",
                                           L"StaticLine1", L"cmdSpywareRemover", L"Label4"}),
            (std::vector<form_checks::Placement>{
                {L"Image1", 105, 165, 1515, 4185}, {L"Label1", 2445, 135, 5145, 1065},
                {L"cmdLearnMore", 5880, 1185, 1665, 345}, {L"StaticLine3", 2820, 1725, 4755, 105},
                {L"cmdRequestSupport", 5910, 2595, 1665, 345}, {L"StaticLine1", 180, 4560, 7425, 105},
                {L"cmdSpywareRemover", 5940, 4005, 1665, 345}, {L"Label4", 690, 4680, 6375, 195}}));
  std::vector<std::wstring> buttons;
  for (ui::Control* control : main.Controls()) {
    if (control->Kind() == ui::ControlKind::Button) buttons.push_back(control->Name());
  }
  EXPECT_EQ(buttons, (std::vector<std::wstring>{L"cmdLearnMore", L"cmdRequestSupport", L"cmdSpywareRemover"}));
  EXPECT_EQ(std::tuple(main.Caption(), main.BorderStyle()), std::tuple(L"Wardline", ui::BorderStyle::FixedSingle));
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

// Each window opens modally over the main window, says nothing on its own, and is unloaded once the user
// has closed it (Escape). The removal window comes from the program's own later windows; the restore
// window only when there is something to restore.
TEST_F(ShellMainWindow, EachCommandShowsItsWindowModallyOverTheMainWindow) {
  struct Case {
    std::wstring form;
    std::function<void(FMain&)> command;
  };
  const std::vector<Case> cases = {
      {L"FAbout", [](FMain& main) { main.FindMenu(L"mnuAbout")->PerformClick(main.Name()); }},
      {L"FRequestSupport", [](FMain& main) { main.cmdRequestSupport.PerformClick(); }},
      {L"FSpywareRemover", [](FMain& main) { main.cmdSpywareRemover.PerformClick(); }},
      {L"FRestoreFiles", [](FMain& main) { main.FindMenu(L"mnuRestoreRemovedPrograms")->PerformClick(main.Name()); }},
  };
  GetLaterWindows() = ProgramLaterWindows();
  const std::wstring removed = L"C:\\Apps\\a.dll";
  machine.registry.SetString(platform::kHkeyCurrentUser,
                             L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files", removed, removed);
  machine.files.AddTextFile(MAPI::MakeParasiteFileName(removed), "MZ");
  for (const Case& c : cases) {
    FMain main;
    main.Load();
    std::tuple<std::wstring, bool, ui::Form*> seen;
    headless->onModal = [&](ui::Form& form) {
      seen = {form.Name(), form.IsModal(), form.Owner()};
      form.UserKeyPress(ui::kKeyEscape);
    };
    c.command(main);
    EXPECT_EQ(std::tuple(seen, headless->FindLoaded(c.form), ui::Ended()),
              std::tuple(std::tuple(c.form, true, static_cast<ui::Form*>(&main)), nullptr, false));
  }
  EXPECT_EQ(headless->ShownForms(),
            (std::vector<std::wstring>{L"FAbout", L"FRequestSupport", L"FSpywareRemover", L"FRestoreFiles"}));
  EXPECT_TRUE(machine.desktop.Boxes().empty());
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
  ASSERT_EQ(machine.desktop.Boxes().size(), 1u);
  const platform::ShownBox& box = machine.desktop.Boxes()[0];
  EXPECT_EQ(std::tuple(box.style, box.title, box.prompt, ui::Ended(), ui::ExitCode() != 0),
            std::tuple(16u, L"Wardline", L"Run-time error '53':\r\n\r\nFile not found", true, true));
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
  // 7425 twips wide, no height.
  EXPECT_EQ(std::tuple(child->className, child->text, child->exStyle, child->style, child->parent,
                       child->rect.right - child->rect.left, child->rect.bottom - child->rect.top),
            std::tuple(L"Static", L"StaticLine", 0x20004u, 0x50000010u, line.Native(), 495, 0));
  EXPECT_EQ(headless->Window(line.Native())->className, L"WDL.StaticLine");

  for (int width : {3000, 9000, 15}) {
    line.Move(ui::TwipsRect{180, 4560, width, 105});
    child = headless->Window(line.LineWindow());
    ASSERT_NE(child, nullptr);
    ui::WindowRect host;
    ASSERT_TRUE(headless->GetWindowRect(line.Native(), host));
    EXPECT_EQ(std::tuple(child->rect.right - child->rect.left, child->rect.left, child->rect.top),
              std::tuple(ui::TwipsToPixels(width), host.left, host.top))
        << width;
  }
  const ui::WindowHandle childHandle = line.LineWindow();
  form.Unload();
  EXPECT_EQ(std::pair(headless->Window(childHandle) == nullptr, line.LineWindow()),
            std::pair(true, ui::WindowHandle{0}));
}

TEST_F(ShellStaticLineWindow, FailedChildStillLoadsTheControl) {
  headless->failChildWindows = true;
  ui::Form form(L"FHolder");
  StaticLine line(form, L"StaticLine1", ui::TwipsRect{0, 0, 1500, 105});
  form.Load();
  EXPECT_EQ(std::tuple(form.Loaded(), line.Native() != 0, line.LineWindow()), std::tuple(true, true, 0u));
  line.Move(ui::TwipsRect{0, 0, 3000, 105});
  form.Unload();
  EXPECT_FALSE(ui::Ended());
}

}  // namespace

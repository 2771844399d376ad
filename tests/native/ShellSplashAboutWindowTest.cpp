#include <string>

#include "shell/app/FAbout.h"
#include "shell/app/FSplash.h"
#include "shell/MWDL.h"
#include "shell/Product.h"
#include "tests/native/UiHeadlessFixture.h"

namespace {

using ShellAboutWindow = UiHeadlessTest;

const std::wstring kExplorer = std::wstring(L"explorer ") + product::kWebSite;

class ShellSplashWindow : public UiHeadlessTest {
 protected:
  void Wait(std::uint32_t ms) {
    machine.system.SetTickCount(machine.system.GetTickCount() + ms);
    ui::DoEvents();
  }
};

TEST_F(ShellSplashWindow, ClosesByItselfAfterThreeSeconds) {
  FSplash splash;
  splash.Show();
  ASSERT_TRUE(splash.Visible());
  Wait(2999);
  EXPECT_TRUE(splash.Visible());
  Wait(1);
  EXPECT_FALSE(splash.Loaded());
  EXPECT_FALSE(splash.Timer1.Enabled());
}

TEST_F(ShellSplashWindow, AnyMouseButtonReleasedOnThePictureClosesItAndStopsTheTimer) {
  for (int button : {ui::kLeftButton, ui::kRightButton, ui::kMiddleButton}) {
    FSplash splash;
    int timerEvents = 0;
    splash.Show();
    splash.Timer1.OnTimer = [&] { ++timerEvents; };
    splash.Image1.UserMouseUp(ui::MouseEventArgs{button, 0, 10, 10});
    EXPECT_FALSE(splash.Loaded()) << button;
    Wait(10000);
    EXPECT_EQ(timerEvents, 0) << button;
  }
}

TEST_F(ShellSplashWindow, IsAsLargeAsItsPicture) {
  FSplash splash;
  EXPECT_EQ((std::vector<int>{splash.Image1.Picture().width, splash.Image1.Picture().height,
                              ui::TwipsToPixels(splash.ScaleWidth()), ui::TwipsToPixels(splash.ScaleHeight())}),
            (std::vector<int>{400, 316, 400, 316}));
  EXPECT_EQ(splash.BorderStyle(), ui::BorderStyle::None);
}

TEST_F(ShellAboutWindow, TextStartsWithNameAndVersion) {
  MWDL::gsVersion = L"2.0.24";
  FAbout about;
  about.Load();
  const std::wstring& text = about.lblName.Caption();
  EXPECT_EQ(text.substr(0, text.find(L"\r\n")), L"Wardline Version 2.0.24");
  EXPECT_EQ(text.compare(text.find(L"\r\n"), 4, L"\r\n\r\n"), 0);
  EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
}

TEST_F(ShellAboutWindow, DrawsEightWhiteLinesAtLoad) {
  FAbout about;
  about.Load();
  ASSERT_EQ(about.Drawing().size(), 8u);
  const int W = 5235, H = 3420;
  EXPECT_EQ(about.ScaleWidth(), W);
  const ui::DrawnLine& second = about.Drawing()[1];
  EXPECT_EQ((std::vector<int>{second.x1, second.y1, second.x2, second.y2}), (std::vector<int>{W - 14, 0, W - 14, H}));
  const ui::DrawnLine& last = about.Drawing()[7];
  EXPECT_EQ((std::vector<int>{last.x1, last.y1, last.x2, last.y2}), (std::vector<int>{14, H - 28, W, H - 28}));
  for (const ui::DrawnLine& line : about.Drawing()) EXPECT_EQ(line.color, ui::Rgb(255, 255, 255));
  EXPECT_EQ(about.BackColor(), ui::Rgb(0, 0, 102));
}

TEST_F(ShellAboutWindow, EscapeClosesItAndOtherKeysDoNot) {
  struct Case { int key; bool closes; };
  for (const Case c : {Case{'a', false}, Case{ui::kKeyEscape, true}, Case{ui::kKeyEnter, true}, Case{' ', false}}) {
    FAbout about;
    about.Load();
    about.UserKeyPress(c.key);
    EXPECT_EQ(!about.Loaded(), c.closes) << c.key;
  }
  FAbout direct;
  direct.Load();
  int key = 'x';  // the handler called directly
  direct.Form_KeyPress(key);
  EXPECT_TRUE(direct.Loaded());
  direct.Form_KeyPress(key = ui::kKeyEscape);
  EXPECT_FALSE(direct.Loaded());
}

TEST_F(ShellAboutWindow, LinkOpensTheWebSiteOnTheLeftButtonOnly) {
  FAbout about;
  about.Load();
  for (int button : {ui::kRightButton, ui::kMiddleButton, ui::kLeftButton}) {
    about.lblVisitWebsite.UserMouseUp(ui::MouseEventArgs{button, 0, 0, 0});
  }
  EXPECT_EQ(machine.desktop.Starts(), (std::vector<platform::StartCall>{{kExplorer, 1}}));
  EXPECT_EQ(about.lblVisitWebsite.Caption(), std::wstring(L"Go ") + product::kWebSite);
}

TEST_F(ShellAboutWindow, DoubleClickOnThePictureOpensTheWebSiteAndFailureIsQuiet) {
  machine.desktop.SetStartSucceeds(false);
  FAbout about;
  about.Load();
  about.Image1.UserDblClick();
  ASSERT_EQ(machine.desktop.Starts().size(), 1u);
  EXPECT_EQ(machine.desktop.Starts()[0].commandLine, kExplorer);
  EXPECT_TRUE(machine.desktop.Boxes().empty());
  EXPECT_FALSE(ui::Ended());
}

}  // namespace

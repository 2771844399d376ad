#include <string>
#include <tuple>
#include <vector>

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
  EXPECT_EQ(std::tuple(splash.Loaded(), splash.Timer1.Enabled()), std::tuple(false, false));
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
  EXPECT_EQ(std::tuple(splash.Image1.Picture().width, splash.Image1.Picture().height,
                       ui::TwipsToPixels(splash.ScaleWidth()), ui::TwipsToPixels(splash.ScaleHeight()),
                       splash.BorderStyle()),
            std::tuple(400, 316, 400, 316, ui::BorderStyle::None));
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
  const ui::DrawnLine &second = about.Drawing()[1], &last = about.Drawing()[7];
  EXPECT_EQ(std::tuple(about.ScaleWidth(), about.BackColor()), std::tuple(W, ui::Rgb(0, 0, 102)));
  EXPECT_EQ((std::vector<int>{second.x1, second.y1, second.x2, second.y2, last.x1, last.y1, last.x2, last.y2}),
            (std::vector<int>{W - 14, 0, W - 14, H, 14, H - 28, W, H - 28}));
  for (const ui::DrawnLine& line : about.Drawing()) EXPECT_EQ(line.color, ui::Rgb(255, 255, 255));
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
  EXPECT_EQ(machine.desktop.Starts(), (std::vector<platform::StartCall>{{kExplorer, 1}}));
  EXPECT_EQ(std::tuple(machine.desktop.Boxes().size(), ui::Ended()), std::tuple(0u, false));
}

}  // namespace

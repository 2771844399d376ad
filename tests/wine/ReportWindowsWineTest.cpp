// The support-request window on the real API: typed into and pressed as the user does, it compiles the
// state of the running Wine system, posts it through MSXML's XMLHTTP and the real vbzip10.dll to the
// local stand-in for the vendor's endpoint (tests/endpoint/endpoint.py, reached through the current
// user's proxy setting), which decodes it with the vendor's tool.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "report/FRequestSupport.h"
#include "shell/Strings.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

using namespace ::testing;

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

// The program-wide objects as the start-up makes them, and the endpoint answering 200.
class ReportWindowsWine : public UiWin32Test {
 protected:
  // Types `text` into the edit box as keystrokes reach it.
  static void Type(HWND box, const std::wstring& text) {
    for (wchar_t c : text) ::SendMessageW(box, WM_CHAR, c, 0);
  }

  std::shared_ptr<wine_test::RecordingLogger> logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};
  wine_test::FreshEndpoint endpoint;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Element(const std::wstring& name, const std::wstring& text) {
  return qn::ToUtf8(L"<" + name + L">" + Utilities().EscapeXML(text) + L"</" + name + L">");
}

TEST_F(ReportWindowsWine, TypedSupportRequestReachesTheVendorWithThisMachinesState) {
  ui::Form owner(L"FOwner");
  owner.SetCaption(L"Owner");
  owner.Show();
  FRequestSupport window;
  window.Show(&owner);
  HWND comments = H(window.txtComments.Native());
  ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == comments; })) << "the comments never took the focus";

  // The placeholder is selected, so the first keystroke replaces it.
  Type(comments, L"Pop-ups & <ads>");
  Type(H(window.txtYourName.Native()), L"Ann O'Neil");
  Type(H(window.txtYourEmail.Native()), L"ann@example.com");
  EXPECT_EQ(window.txtComments.Text(), L"Pop-ups & <ads>");

  MessageBoxCloser closer;
  ASSERT_TRUE(::PostMessageW(H(window.cmdRequestSupport.Native()), BM_CLICK, 0, 0));
  ASSERT_TRUE(PumpUntil([&] { return !closer.texts.empty(); }, 240000)) << logger->lines;
  PumpUntil([] { return false; }, 300);

  EXPECT_EQ(closer.texts, std::vector<std::wstring>{LoadResString(105)}) << logger->lines;
  EXPECT_THAT(logger->lines, AllOf(HasSubstr(L"FRequestSupport.cmdRequestSupport_Click (5): 0 Requesting support"),
                                   Not(HasSubstr(L"CReporter."))));
  // Close, the default button, holds the focus after the box: Enter presses it.
  EXPECT_EQ(program_wine::TextOf(H(window.cmdCancel.Native())), L"Close");
  EXPECT_EQ(::GetFocus(), H(window.cmdCancel.Native()));

  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].id.size(), 36u);
  long major = 0, minor = 0, build = 0, platformId = 0;
  std::wstring extra;
  wchar_t image[MAX_PATH * 2] = {};
  const std::wstring self(image, ::GetModuleFileNameW(nullptr, image, MAX_PATH * 2));
  const auto state = AllOf(
      StartsWith("<xml><meta>"),
      HasSubstr(Element(L"os", Utilities().GetOSVersion(major, minor, build, platformId, extra))),
      HasSubstr(Element(L"cpu", Utilities().GetCPUType())),
      HasSubstr(Element(L"pcname", Utilities().GetComputerName())),
      HasSubstr("<comments>Pop-ups &amp; &lt;ads&gt;</comments><yourname>Ann O&apos;Neil</yourname>"
                "<youremail>ann@example.com</youremail><appversion>2.0.24</appversion>"),
      Truly([](const std::string& xml) {
        return std::regex_search(xml, std::regex("<sent>[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}</sent></meta>"));
      }),
      // Our own process is among the files, with its size and checksum.
      ResultOf(Lower, HasSubstr(Lower(" i='" + qn::ToUtf8(Utilities().EscapeXML(self)) + "' s='"))),
      EndsWith("</fileinfo></xml>"));
  EXPECT_THAT(wine_test::Arrivals(),
              ElementsAre(FieldsAre("ok", "LDW\\SupportRequest", ElementsAre(Pair("state", state)))));

  ASSERT_TRUE(::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0));
  EXPECT_TRUE(PumpUntil([&] { return !window.Loaded(); }));
  EXPECT_TRUE(errors.empty());
}

}  // namespace

// The support-request and uninstall windows on the real API, typed into through the system's input as
// the user types: their keys (the whole tab order, Escape, Enter, Ctrl+A), and a request that compiles
// the state of the running Wine system and posts it through MSXML's XMLHTTP and the real vbzip10.dll to
// the local stand-in for the vendor's endpoint (tests/endpoint/endpoint.py, reached through the current
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
#include "report/FSendInfo.h"
#include "shell/Strings.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/Keyboard.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

using namespace ::testing;

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

using wine_keys::Press;
using wine_keys::Type;

// The program-wide objects as the start-up makes them, and the endpoint answering 200.
class ReportWindowsWine : public UiWin32Test {
 protected:
  // The support window shown over `owner`, with the keyboard's input reaching it and the comments box
  // focused.
  void Open(ui::Form& owner, FRequestSupport& window) {
    owner.SetCaption(L"Owner");
    owner.Show();
    window.Show(&owner);
    ASSERT_TRUE(wine_keys::KeyboardReaches(window));
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == H(window.txtComments.Native()); }))
        << "the comments never took the focus";
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

// 100,000 characters of lines that begin with `first`: more than the 30,000 an edit control keeps by
// default.
std::wstring HundredThousandCharacters(const std::wstring& first) {
  std::wstring text = first + L"\r\n";
  for (int line = 1; text.size() < 100000; ++line) text += L"line " + std::to_wstring(line) + L" of what I typed\r\n";
  text.resize(100000);
  return text;
}

// The edit control's own selection, as (start, end).
std::pair<DWORD, DWORD> Selection(HWND edit) {
  DWORD start = 0xDEAD, end = 0xBEEF;
  ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

// Tab and Shift+Tab walk the whole tab order from the comments box (which they leave as it was), Escape
// presses Cancel from every control, Enter presses Request Support from every one-line box, and Ctrl+A
// selects nothing in any box: no handler of the window asks for it.
TEST_F(ReportWindowsWine, KeysOfTheSupportWindowFollowItsTabOrderAndButtons) {
  ui::Form owner(L"FOwner");
  FRequestSupport window;
  ASSERT_NO_FATAL_FAILURE(Open(owner, window));

  const std::vector<std::wstring> order = {L"txtYourName", L"txtYourEmail", L"cmdRequestSupport", L"cmdCancel",
                                           L"txtOS",       L"txtCPUType",   L"txtComputerName",   L"txtComments"};
  wine_keys::ExpectTabOrder(window, L"txtComments", order);
  EXPECT_EQ(window.txtComments.Text(), LoadResString(101));
  EXPECT_EQ(wine_keys::PressingFrom(window, VK_ESCAPE, window.cmdCancel, order), order);
  const std::vector<std::wstring> oneLine = {L"txtOS", L"txtCPUType", L"txtComputerName", L"txtYourName",
                                             L"txtYourEmail"};
  EXPECT_EQ(wine_keys::PressingFrom(window, VK_RETURN, window.cmdRequestSupport, oneLine), oneLine);

  window.txtYourName.SetText(L"Ann");
  window.txtYourEmail.SetText(L"ann@example.com");
  std::vector<std::wstring> selectedByCtrlA;
  for (ui::TextBox* box : {&window.txtOS, &window.txtCPUType, &window.txtComputerName, &window.txtComments,
                           &window.txtYourName, &window.txtYourEmail}) {
    ASSERT_GT(box->Text().size(), 1u) << "nothing to select in " << qn::ToUtf8(box->Name());
    wine_keys::FocusOn(window, box->Name());
    ::SendMessageW(H(box->Native()), EM_SETSEL, 1, 1);
    Press('A', {VK_CONTROL});
    if (Selection(H(box->Native())) != std::make_pair(DWORD{1}, DWORD{1})) selectedByCtrlA.push_back(box->Name());
  }
  EXPECT_THAT(selectedByCtrlA, IsEmpty());

  wine_keys::FocusOn(window, L"txtComments");
  Press(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !window.Loaded(); }));
  EXPECT_TRUE(errors.empty());
}

TEST_F(ReportWindowsWine, TypedSupportRequestReachesTheVendorWithThisMachinesState) {
  ui::Form owner(L"FOwner");
  FRequestSupport window;
  ASSERT_NO_FATAL_FAILURE(Open(owner, window));

  // The placeholder is selected, so the paste replaces it; the box keeps all that was pasted.
  const std::wstring pasted = HundredThousandCharacters(L"Pop-ups & <ads>");
  ASSERT_TRUE(ui::SetClipboardText(pasted));
  Press('V', {VK_CONTROL});
  EXPECT_EQ(window.txtComments.Text().size(), pasted.size());
  Press(VK_TAB);
  Type(L"Ann O'Neil");
  Press(VK_TAB);
  Type(L"ann@example.com");

  MessageBoxCloser closer;
  Press(VK_RETURN);  // the default button, Request Support
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
      HasSubstr(Element(L"comments", pasted) + Element(L"yourname", L"Ann O'Neil") +
                Element(L"youremail", L"ann@example.com") + "<appversion>2.0.24</appversion>"),
      Truly([](const std::string& xml) {
        return std::regex_search(xml, std::regex("<sent>[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}</sent></meta>"));
      }),
      // Our own process is among the files, with its size and checksum.
      ResultOf(Lower, HasSubstr(Lower(" i='" + qn::ToUtf8(Utilities().EscapeXML(self)) + "' s='"))),
      EndsWith("</fileinfo></xml>"));
  EXPECT_THAT(wine_test::Arrivals(),
              ElementsAre(FieldsAre("ok", "LDW\\SupportRequest", ElementsAre(Pair("state", state)))));

  Press(VK_RETURN);
  EXPECT_TRUE(PumpUntil([&] { return !window.Loaded(); }));
  EXPECT_TRUE(errors.empty());
}

// The uninstall window: Tab and Shift+Tab walk its tab order from the reason box, Escape presses Skip
// from every control, and a reason of 100,000 pasted characters reaches the vendor whole when Send is
// pressed from the keyboard; the program ends after the thanks.
TEST_F(ReportWindowsWine, KeysOfTheUninstallWindowSendAWholePastedReason) {
  FSendInfo window;
  window.Init(logger);
  window.Show();
  ASSERT_TRUE(wine_keys::KeyboardReaches(window));
  ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == H(window.txtReason.Native()); }));

  const std::vector<std::wstring> order = {L"cmdSend", L"cmdCancel", L"txtReason"};
  wine_keys::ExpectTabOrder(window, L"txtReason", order);
  EXPECT_EQ(wine_keys::PressingFrom(window, VK_ESCAPE, window.cmdCancel, order), order);

  const std::wstring reason = HundredThousandCharacters(L"Too slow for me");
  ASSERT_TRUE(ui::SetClipboardText(reason));
  wine_keys::FocusOn(window, L"txtReason");
  Press('V', {VK_CONTROL});
  EXPECT_EQ(window.txtReason.Text().size(), reason.size());
  MessageBoxCloser closer;
  Press(VK_TAB);
  Press(VK_RETURN);  // Send, which holds the focus
  ASSERT_TRUE(PumpUntil([&] { return !closer.texts.empty(); }, 120000)) << logger->lines;
  EXPECT_EQ(closer.texts, std::vector<std::wstring>{LoadResString(131)});
  EXPECT_TRUE(ui::Ended());
  EXPECT_THAT(wine_test::Arrivals(),
              ElementsAre(FieldsAre("ok", "LDW\\Uninstall", Contains(Pair("reason", qn::ToUtf8(reason))))));
  EXPECT_TRUE(errors.empty());
}

}  // namespace

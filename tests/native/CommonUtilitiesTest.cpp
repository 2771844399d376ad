#include <gtest/gtest.h>

#include <set>

#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "tests/doubles/FakeMachine.h"

namespace {

std::vector<FormatArg> Numbered(int n) {
  std::vector<FormatArg> args;
  for (int i = 1; i <= n; ++i) args.emplace_back(L"a" + std::to_wstring(i));
  return args;
}

TEST(CommonFormatStringTest, FillsPlaceholders) {
  struct Case { std::wstring templ; std::vector<FormatArg> args; std::wstring expected; };
  const std::vector<Case> cases = {
      {L"File %1 has %2 bytes", {std::wstring(L"x.dll"), 42LL}, L"File x.dll has 42 bytes"},
      {L"%2%1", {std::wstring(L"a"), std::wstring(L"b")}, L"ba"},
      {L"%1 and %3", {std::wstring(L"a")}, L"a and %3"},
      {L"%10", Numbered(10), L"a10"},
      {L"%10", Numbered(2), L"a10"},  // argument 1, then "0"
      {L"%0 % %%1", Numbered(1), L"%0 % %a1"},
      {L"%1", {std::wstring(L"%1")}, L"%1"},  // no second pass
      {L"%1", {-7LL}, L"-7"},
      {L"", {}, L""},
      {L"100%", {}, L"100%"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utilities().FormatString(c.templ, c.args), c.expected) << c.templ;
}

TEST(CommonUtilitiesTest, NewIdIsUniqueAndAFileName) {
  std::set<std::wstring> seen;
  for (int i = 0; i < 500; ++i) {
    const std::wstring id = Utilities().NewID();
    ASSERT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_of(L"\\/:*?\"<>|{} "), std::wstring::npos);
    EXPECT_TRUE(seen.insert(id).second);
  }
}

// Any text (a comment typed over several lines, a path or version string with control characters)
// stays one line of well-formed XML and keeps what XML can hold.
TEST(CommonUtilitiesTest, EscapeXmlKeepsTheDocumentOneLineAndWellFormed) {
  const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  const std::wstring lone{static_cast<wchar_t>(0xDC00), L'x', static_cast<wchar_t>(0xD800)};
  const struct {
    std::wstring text, escaped;
  } cases[] = {
      {L"a<b>&\"c'", L"a&lt;b&gt;&amp;&quot;c&apos;"},
      {L"line 1\r\nline 2\tend\n", L"line 1&#13;&#10;line 2&#9;end&#10;"},
      {std::wstring{L'\0', L'\x01', L'\x08', L'\x0B', L'\x0C', L'\x1F', L'\x7F'},
       L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\x7F"},
      {L"\uFFFE\uFFFF\uFFFD\uE000\uD7FF", L"\uFFFD\uFFFD\uFFFD\uE000\uD7FF"},
      {pair + L"&", pair + L"&amp;"},
      {lone, L"\uFFFDx\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utilities().EscapeXML(c.text), c.escaped) << qn::ToUtf8(c.text);
  if constexpr (sizeof(wchar_t) == 4) {  // one unit per character natively
    EXPECT_EQ(Utilities().EscapeXML(std::wstring{static_cast<wchar_t>(0x1F600)}), std::wstring{static_cast<wchar_t>(0x1F600)});
    EXPECT_EQ(Utilities().EscapeXML(std::wstring{static_cast<wchar_t>(0x110000)}), L"\uFFFD");
  }
}

TEST(CommonUtilitiesTest, TextHelpers) {
  EXPECT_EQ(std::tuple(Utilities().EncodeString({0x00, 0xAB, 0x7F}), Utilities().IsArrayEmpty({})),
            std::tuple(L"00AB7F", true));
}

TEST(CommonUtilitiesTest, SystemTextsComeFromThePlatform) {
  platform::FakeMachine m;
  m.system.SetComputerName(L"BOX");
  m.system.SetVersion(0x1DB10106);  // 6.1 build 7601
  m.system.SetErrorText(5, L"Access is denied.");
  m.files.SetTempFolder(L"T:\\tmp\\");
  m.files.SetEnv(L"windir", L"C:\\Windows");
  m.versionInfo.Set(L"C:\\x.dll", {{L"CompanyName", L"Acme"}, {L"LegalCopyright", L"(c)"}});
  long major = 0, minor = 0, build = 0, platformId = 0;
  std::wstring extra = L"x";
  EXPECT_EQ(Utilities().GetOSVersion(major, minor, build, platformId, extra), m.system.OsDescription());
  EXPECT_EQ((std::vector<long>{major, minor, build, platformId}), (std::vector<long>{6, 1, 7601, 2}));
  const std::wstring temp = Utilities().GetTempFileName(L"wdl");
  EXPECT_EQ(std::tuple(Utilities().GetComputerName(), Utilities().GetErrorText(5), temp.substr(0, 10),
                       temp.substr(temp.size() - 4), Utilities().ExpandEnvironmentStrings(L"%WINDIR%\\x;%NOPE%")),
            std::tuple(L"BOX", L"Access is denied.", L"T:\\tmp\\wdl", L".tmp", L"C:\\Windows\\x;%NOPE%"));
  auto info = Utilities().GetFileVersionInfo(L"c:\\X.DLL");
  ASSERT_EQ(info.Count(), 1u);
  EXPECT_EQ(std::tuple(info.Item(L"CompanyName"), Utilities().GetFileVersionInfo(L"C:\\none.dll").Count()),
            std::tuple(L"Acme", 0u));
  int pumped = 0;
  m.desktop.SetDoEventsHook([&] { ++pumped; });
  Utilities().DoEventsEx();
  EXPECT_EQ(pumped, 1);
}

}  // namespace

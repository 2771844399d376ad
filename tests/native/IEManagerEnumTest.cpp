#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/IEManager.h"

using platform::Hive;
using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

const std::wstring kBHOs = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const std::wstring kToolbarLM = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
const std::wstring kToolbarCU = L"Software\\Microsoft\\Internet Explorer\\Toolbar\\WebBrowser";
const std::wstring kVertical = L"{00021493-0000-0000-C000-000000000046}";
const std::wstring kHorizontal = L"{00021494-0000-0000-C000-000000000046}";

constexpr std::int32_t kLM = -2147483646;
constexpr std::int32_t kCU = -2147483647;

// A class id in braces, 38 characters: {00000000-0000-0000-0000-0000000000nn}.
std::wstring Clsid(int n) {
  std::wstring tail = std::to_wstring(n);
  return L"{00000000-0000-0000-0000-" + std::wstring(12 - tail.size(), L'0') + tail + L"}";
}

class IEManagerEnumTest : public InspectionEnumTest {
 protected:
  void Class(const std::wstring& id, const std::wstring& title, const std::wstring& server,
             const wchar_t* serverKey = L"InProcServer32") {
    if (!title.empty()) machine.registry.SetString(kHkeyClassesRoot, L"CLSID\\" + id, L"", title);
    machine.registry.SetString(kHkeyClassesRoot, L"CLSID\\" + id + L"\\" + serverKey, L"", server);
  }
  void Bho(const std::wstring& id, const std::wstring& title, const std::wstring& server) {
    machine.registry.CreateKey(kHkeyLocalMachine, kBHOs + L"\\" + id);
    if (!title.empty()) machine.registry.SetString(kHkeyLocalMachine, kBHOs + L"\\" + id, L"", title);
    Class(id, L"", server);
  }
  void Toolbar(Hive hive, const std::wstring& id) {
    machine.registry.SetString(hive, hive == kHkeyLocalMachine ? kToolbarLM : kToolbarCU, id, L"");
  }
  void Bar(const std::wstring& id, const std::wstring& category, const std::wstring& title, const std::wstring& server,
           const std::wstring& url = L"") {
    Class(id, title, server);
    machine.registry.CreateKey(kHkeyClassesRoot, L"CLSID\\" + id + L"\\Implemented Categories\\" + category);
    if (!url.empty()) {
      machine.registry.SetString(kHkeyClassesRoot, L"CLSID\\" + id + L"\\Instance\\InitPropertyBag", L"Url", url);
    }
  }
  static std::vector<std::wstring> Column(const CItemList& list, const std::wstring& property) {
    std::vector<std::wstring> texts;
    for (const auto& item : list) texts.push_back(Text(*item, property));
    return texts;
  }
};

}  // namespace

TEST_F(IEManagerEnumTest, OnlyNamesOf38CharactersAreUsed) {
  const std::wstring good = Clsid(1);
  const std::wstring names[] = {good.substr(0, 37), good + L"x", L"NotAClassId", good};
  for (const std::wstring& name : names) {
    Bho(name, L"T", L"C:\\Ext\\x.dll");
    Class(name, L"T", L"C:\\Ext\\x.dll");
    Toolbar(kHkeyLocalMachine, name);
    Bar(name, kVertical, L"T", L"C:\\Ext\\x.dll");
  }
  CIEManager manager;
  for (const auto& list : {manager.EnumBHOs(), manager.EnumToolbars(), manager.EnumExplorerBars()}) {
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{good}));
  }
}

TEST_F(IEManagerEnumTest, BhoTitleFallsBackToProductNameThenToThePath) {
  machine.files.SetEnv(L"EXT", L"C:\\Ext");
  for (const wchar_t* file : {L"C:\\Ext\\one.dll", L"C:\\Ext\\two.dll", L"C:\\Ext\\three.dll"}) {
    machine.files.AddFile(file, {'M', 'Z'});
  }
  Bho(Clsid(1), L"Own &Title", L"C:\\Ext\\one.dll");
  Bho(Clsid(2), L"", L"\"%EXT%\\two.dll\"");
  Bho(Clsid(3), L"", L"C:\\Ext\\three.dll");
  Bho(Clsid(4), L"", L"");
  // Version strings are looked up for the resolved file.
  machine.versionInfo.SetString(L"C:\\Ext\\two.dll", L"ProductName", L"Two & Product");
  machine.versionInfo.SetString(L"C:\\Ext\\three.dll", L"CompanyName", L"No product here");
  auto list = CIEManager().EnumBHOs();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 4u);
  EXPECT_EQ(Column(*list, L"Name"), (std::vector<std::wstring>{L"Own Title", L"Two  Product", L"C:\\Ext\\three.dll", L""}));
  EXPECT_EQ(Column(*list, L"DLL"), (std::vector<std::wstring>{L"C:\\Ext\\one.dll", L"C:\\Ext\\two.dll", L"C:\\Ext\\three.dll", L""}));
  EXPECT_EQ(PropertyNames(list->Item(1)), (std::vector<std::wstring>{L"Name", L"DLL"}));
}

TEST_F(IEManagerEnumTest, EveryAmpersandIsRemoved) {
  Bho(Clsid(1), L"&A&&b& c&", L"C:\\Ext\\a.dll");
  Class(Clsid(2), L"&Tool&bar&&", L"C:\\Ext\\t.dll");
  Toolbar(kHkeyLocalMachine, Clsid(2));
  Bar(Clsid(3), kVertical, L"&&Ba&r", L"C:\\Ext\\b.dll");
  CIEManager manager;
  EXPECT_EQ(Column(*manager.EnumBHOs(), L"Name"), (std::vector<std::wstring>{L"Ab c"}));
  EXPECT_EQ(Column(*manager.EnumToolbars(), L"Name"), (std::vector<std::wstring>{L"Toolbar"}));
  EXPECT_EQ(Column(*manager.EnumExplorerBars(), L"Name"), (std::vector<std::wstring>{L"Bar"}));
}

TEST_F(IEManagerEnumTest, BrowsersOwnToolbarsAreLeftOutByTheirRegisteredServer) {
  struct Case {
    std::wstring server;
    bool listed;
  };
  const Case cases[] = {
      {L"C:\\WINDOWS\\System32\\SHELL32.dll", false}, {L"c:\\windows\\system32\\shell32.DLL", false},
      {L"C:\\WINDOWS\\System32\\BrowseUI.dll", false}, {L"C:\\Program Files\\WMP\\MSDXM.OCX", false},
      {L"shell32.dll", true},                          {L"C:\\Ext\\bar.dll", true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Class(Clsid(static_cast<int>(i)), L"Bar", cases[i].server);
    Toolbar(kHkeyLocalMachine, Clsid(static_cast<int>(i)));
  }
  auto list = CIEManager().EnumToolbars();
  ASSERT_NE(list, nullptr);
  std::vector<std::wstring> expected;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    if (cases[i].listed) expected.push_back(Clsid(static_cast<int>(i)));
  }
  EXPECT_EQ(Names(*list), expected);
  EXPECT_EQ(Column(*list, L"DLL"), (std::vector<std::wstring>{L"shell32.dll", L"C:\\Ext\\bar.dll"}));
}

TEST_F(IEManagerEnumTest, ToolbarInBothHivesGivesOneItemPerHive) {
  Class(Clsid(7), L"", L"C:\\Ext\\tb.exe", L"LocalServer32");
  Toolbar(kHkeyLocalMachine, Clsid(7));
  Toolbar(kHkeyCurrentUser, Clsid(7));
  auto list = CIEManager().EnumToolbars();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 2u);
  for (std::size_t i = 1; i <= 2; ++i) {
    const CItem& item = list->Item(i);
    EXPECT_EQ(item.Name, Clsid(7));
    EXPECT_EQ(PropertyNames(item), (std::vector<std::wstring>{L"Name", L"DLL", L"Key"}));
    EXPECT_EQ(Text(item, L"Name"), L"");  // no fallback for toolbars
    EXPECT_EQ(Text(item, L"DLL"), L"C:\\Ext\\tb.exe");
  }
  EXPECT_EQ(std::get<std::int32_t>(Value(list->Item(1), L"Key")), kLM);
  EXPECT_EQ(std::get<std::int32_t>(Value(list->Item(2), L"Key")), kCU);
}

TEST_F(IEManagerEnumTest, ExplorerBarHostedByShdocvwIsNamedByItsUrl) {
  const std::wstring shdocvw = L"C:\\WINDOWS\\System32\\SHDOCVW.DLL";
  struct Case {
    std::wstring server;
    std::wstring url;
    std::wstring dll;
  };
  const Case cases[] = {
      {shdocvw, L"", L""},
      {shdocvw, L"C:\\Bars\\page.htm", L"C:\\Bars\\page.htm"},
      {shdocvw, L"C:\\Bars\\page.htm/extra", L"C:\\Bars\\page.htm"},
      {shdocvw, L"res://shdocvw.dll/bar.htm", shdocvw},
      {L"C:\\Ext\\bar.dll", L"C:\\Bars\\ignored.htm", L"C:\\Ext\\bar.dll"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Bar(Clsid(static_cast<int>(i)), kVertical, L"Bar", cases[i].server, cases[i].url);
  }
  auto list = CIEManager().EnumExplorerBars();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(Text(list->Item(i + 1), L"DLL"), cases[i].dll) << i;
}

TEST_F(IEManagerEnumTest, ExplorerBarInBothCategoriesGivesTwoItemsWithOwnCategory) {
  Bar(Clsid(1), kVertical, L"Both", L"C:\\Ext\\both.dll");
  machine.registry.CreateKey(kHkeyClassesRoot, L"CLSID\\" + Clsid(1) + L"\\Implemented Categories\\" + kHorizontal);
  auto list = CIEManager().EnumExplorerBars();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{Clsid(1), Clsid(1)}));
  EXPECT_EQ(Column(*list, L"CATID"), (std::vector<std::wstring>{kVertical, kHorizontal}));
  EXPECT_EQ(PropertyNames(list->Item(1)), (std::vector<std::wstring>{L"Name", L"DLL", L"CATID"}));
}

TEST_F(IEManagerEnumTest, SystemsOwnExplorerBarsAreLeftOutOnlyWhenSpelledExactly) {
  const std::wstring own = L"{EFA24E61-B078-11d0-89E4-00C04FC9E26E}";
  const std::wstring ownOtherCase = L"{32683183-48A0-441B-A342-7C2A440A9478}";
  const std::wstring ownExact = L"{BDEADE7F-C265-11D0-BCED-00A0C90AB50F}";
  Bar(own, kVertical, L"Search", L"C:\\x.dll");
  Bar(ownOtherCase, kVertical, L"Listed", L"C:\\y.dll");
  Bar(ownExact, kHorizontal, L"Search", L"C:\\z.dll");
  auto list = CIEManager().EnumExplorerBars();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{ownOtherCase}));
}

TEST_F(IEManagerEnumTest, ExplorerBarTitleFallsBackToProductNameOfTheUnresolvedServer) {
  machine.files.SetEnv(L"BARS", L"C:\\Bars");
  machine.files.AddFile(L"C:\\Bars\\bar.dll", {'M', 'Z'});
  machine.files.AddFile(L"C:\\Bars\\plain.dll", {'M', 'Z'});
  Bar(Clsid(1), kVertical, L"", L"%BARS%\\bar.dll");
  Bar(Clsid(2), kVertical, L"", L"%BARS%\\plain.dll");
  machine.versionInfo.SetString(L"%BARS%\\bar.dll", L"ProductName", L"Bar Product");
  machine.versionInfo.SetString(L"C:\\Bars\\plain.dll", L"ProductName", L"Not asked");
  auto list = CIEManager().EnumExplorerBars();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Column(*list, L"Name"), (std::vector<std::wstring>{L"Bar Product", L"C:\\Bars\\plain.dll"}));
  EXPECT_EQ(Column(*list, L"DLL"), (std::vector<std::wstring>{L"C:\\Bars\\bar.dll", L"C:\\Bars\\plain.dll"}));
}

// A failing listing ends itself only; the enumeration goes on with its next listing.
TEST_F(IEManagerEnumTest, FillErrorIsLoggedAndTheNextListingRead) {
  Class(Clsid(1), L"First", L"C:\\Ext\\1.dll");
  Class(Clsid(2), L"Broken", L"C:\\Ext\\2.dll");
  Class(Clsid(3), L"User", L"C:\\Ext\\3.dll");
  Toolbar(kHkeyLocalMachine, Clsid(1));
  Toolbar(kHkeyLocalMachine, Clsid(2));
  Toolbar(kHkeyLocalMachine, Clsid(3));
  Toolbar(kHkeyCurrentUser, Clsid(3));
  raising.RaiseOnRead(kHkeyClassesRoot, L"CLSID\\" + Clsid(2), L"");

  Bar(Clsid(4), kVertical, L"V1", L"C:\\Ext\\4.dll");
  Bar(Clsid(5), kVertical, L"V2", L"C:\\Ext\\5.dll", L"C:\\x.htm");
  Bar(Clsid(6), kVertical, L"V3", L"C:\\Ext\\6.dll");
  Bar(Clsid(7), kHorizontal, L"H", L"C:\\Ext\\7.dll");
  raising.RaiseOnRead(kHkeyClassesRoot, L"CLSID\\" + Clsid(5) + L"\\Instance\\InitPropertyBag", L"Url");

  CIEManager manager;
  auto toolbars = manager.EnumToolbars();
  ASSERT_NE(toolbars, nullptr);
  EXPECT_EQ(Names(*toolbars), (std::vector<std::wstring>{Clsid(1), Clsid(3)}));
  EXPECT_EQ(std::get<std::int32_t>(Value(toolbars->Item(2), L"Key")), kCU);
  auto bars = manager.EnumExplorerBars();
  ASSERT_NE(bars, nullptr);
  EXPECT_EQ(Names(*bars), (std::vector<std::wstring>{Clsid(4), Clsid(7)}));

  ASSERT_EQ(logger->lines.size(), 2u);
  EXPECT_EQ(logger->lines[0].source, L"CIEManager.FillTBInfo");
  EXPECT_EQ(logger->lines[1].source, L"CIEManager.FillExplorerBarInfo");
  for (const LogLine& line : logger->lines) {
    EXPECT_EQ(line.level, 4);
    EXPECT_EQ(line.number, err::kOutOfMemory);
  }
}

TEST_F(IEManagerEnumTest, BhoFillErrorKeepsTheItemsBuiltBefore) {
  Bho(Clsid(1), L"One", L"C:\\Ext\\1.dll");
  Bho(Clsid(2), L"Two", L"C:\\Ext\\2.dll");
  Bho(Clsid(3), L"Three", L"C:\\Ext\\3.dll");
  raising.RaiseOnRead(kHkeyClassesRoot, L"CLSID\\" + Clsid(2) + L"\\InProcServer32", L"");
  auto list = CIEManager().EnumBHOs();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{Clsid(1)}));
  ASSERT_EQ(logger->lines.size(), 1u);
  EXPECT_EQ(logger->lines[0].source, L"CIEManager.FillBHOInfo");
  EXPECT_EQ(logger->lines[0].level, 4);
}

TEST_F(IEManagerEnumTest, ErrorOfTheEnumerationItselfGivesNoList) {
  Bho(Clsid(1), L"One", L"C:\\Ext\\1.dll");
  Class(Clsid(2), L"Tb", L"C:\\Ext\\2.dll");
  Toolbar(kHkeyCurrentUser, Clsid(2));
  machine.registry.FailEnum(kHkeyLocalMachine, kBHOs, platform::kErrorAccessDenied);
  machine.registry.FailEnum(kHkeyLocalMachine, kToolbarLM, platform::kErrorAccessDenied);
  machine.registry.FailCategories(platform::kErrorAccessDenied);
  CIEManager manager;
  EXPECT_EQ(manager.EnumBHOs(), nullptr);
  EXPECT_EQ(manager.EnumToolbars(), nullptr);
  EXPECT_EQ(manager.EnumExplorerBars(), nullptr);
  ASSERT_EQ(logger->lines.size(), 3u);
  const wchar_t* sources[] = {L"CIEManager.EnumBHOs", L"CIEManager.EnumToolbars", L"CIEManager.EnumExplorerBars"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(logger->lines[i].source, sources[i]);
    EXPECT_EQ(logger->lines[i].level, 4);
  }
}

TEST_F(IEManagerEnumTest, DeleteBHORemovesTheRegistrationAndLogsTheOutcome) {
  Bho(Clsid(1), L"One", L"C:\\Ext\\1.dll");
  CIEManager().DeleteBHO(Clsid(1));
  EXPECT_TRUE(machine.registry.WasKeyDeleted(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(1)));
  EXPECT_TRUE(machine.registry.HasKey(kHkeyClassesRoot, L"CLSID\\" + Clsid(1)));  // the class stays

  Bho(Clsid(2), L"Two", L"C:\\Ext\\2.dll");
  machine.registry.FailWrite(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(2), platform::kErrorAccessDenied);
  CIEManager().DeleteBHO(Clsid(2));
  EXPECT_TRUE(machine.registry.HasKey(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(2)));

  ASSERT_EQ(logger->lines.size(), 2u);
  EXPECT_EQ(logger->lines[0].message, L"Deleting BHO(" + Clsid(1) + L")");
  const std::wstring failed = L"Failed to delete BHO(" + Clsid(2) + L"): ";
  EXPECT_EQ(logger->lines[1].message.substr(0, failed.size()), failed);
  for (const LogLine& line : logger->lines) {
    EXPECT_EQ(line.number, 0);
    EXPECT_EQ(line.level, 5);
    EXPECT_EQ(line.source, L"");
  }
}

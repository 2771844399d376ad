#include <string>
#include <tuple>
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

class IEManagerEnumTest : public InspectionEnumTest {
 protected:
  // The helpers write into `target`: the native view unless a test points it at the 32-bit one.
  void Class(const std::wstring& id, const std::wstring& title, const std::wstring& server,
             const wchar_t* serverKey = L"InProcServer32") {
    if (!title.empty()) target->SetString(kHkeyClassesRoot, L"CLSID\\" + id, L"", title);
    target->SetString(kHkeyClassesRoot, L"CLSID\\" + id + L"\\" + serverKey, L"", server);
  }
  void Bho(const std::wstring& id, const std::wstring& title, const std::wstring& server) {
    target->CreateKey(kHkeyLocalMachine, kBHOs + L"\\" + id);
    if (!title.empty()) target->SetString(kHkeyLocalMachine, kBHOs + L"\\" + id, L"", title);
    Class(id, L"", server);
  }
  void Toolbar(Hive hive, const std::wstring& id) {
    target->SetString(hive, hive == kHkeyLocalMachine ? kToolbarLM : kToolbarCU, id, L"");
  }
  void Bar(const std::wstring& id, const std::wstring& category, const std::wstring& title, const std::wstring& server,
           const std::wstring& url = L"") {
    Class(id, title, server);
    target->CreateKey(kHkeyClassesRoot, L"CLSID\\" + id + L"\\Implemented Categories\\" + category);
    const std::wstring bag = L"CLSID\\" + id + L"\\Instance\\InitPropertyBag";
    if (!url.empty()) target->SetString(kHkeyClassesRoot, bag, L"Url", url);
  }

  // One property (empty: the names) of the BHOs, the toolbars and the explorer bars, listed in that order.
  static std::vector<Texts> All(const std::wstring& property = L"") {
    auto of = [&](const auto& list) { return property.empty() ? Names(list) : Column(list, property); };
    CIEManager m;
    return {of(m.EnumBHOs()), of(m.EnumToolbars()), of(m.EnumExplorerBars())};
  }

  platform::FakeRegistry* target = &registry;
};

}  // namespace

TEST_F(IEManagerEnumTest, OnlyNamesOf38CharactersAreUsed) {
  const std::wstring good = Clsid(1);
  for (const std::wstring& name : {good.substr(0, 37), good + L"x", std::wstring(L"NotAClassId"), good}) {
    Bho(name, L"T", L"C:\\Ext\\x.dll");
    Class(name, L"T", L"C:\\Ext\\x.dll");
    Toolbar(kHkeyLocalMachine, name);
    Bar(name, kVertical, L"T", L"C:\\Ext\\x.dll");
  }
  EXPECT_EQ(All(), std::vector<Texts>(3, Texts{good}));
}

TEST_F(IEManagerEnumTest, BhoTitleFallsBackToProductNameThenToThePath) {
  machine.files.SetEnv(L"EXT", L"C:\\Ext");
  for (const std::wstring n : {L"one", L"two", L"three"}) machine.files.AddFile(L"C:\\Ext\\" + n + L".dll", {'M', 'Z'});
  Bho(Clsid(1), L"Own &Title", L"C:\\Ext\\one.dll");
  Bho(Clsid(2), L"", L"\"%EXT%\\two.dll\"");
  Bho(Clsid(3), L"", L"C:\\Ext\\three.dll");
  Bho(Clsid(4), L"", L"");
  // Version strings are looked up for the resolved file.
  machine.versionInfo.SetString(L"C:\\Ext\\two.dll", L"ProductName", L"Two & Product");
  machine.versionInfo.SetString(L"C:\\Ext\\three.dll", L"CompanyName", L"No product here");
  auto list = CIEManager().EnumBHOs();
  ASSERT_EQ(Column(list, L"Name"), (Texts{L"Own Title", L"Two  Product", L"C:\\Ext\\three.dll", L""}));
  EXPECT_EQ(Column(list, L"DLL"), (Texts{L"C:\\Ext\\one.dll", L"C:\\Ext\\two.dll", L"C:\\Ext\\three.dll", L""}));
  EXPECT_EQ(PropertyNames(list->Item(1)), (Texts{L"Name", L"DLL"}));
}

TEST_F(IEManagerEnumTest, EveryAmpersandIsRemoved) {
  Bho(Clsid(1), L"&A&&b& c&", L"C:\\Ext\\a.dll");
  Class(Clsid(2), L"&Tool&bar&&", L"C:\\Ext\\t.dll");
  Toolbar(kHkeyLocalMachine, Clsid(2));
  Bar(Clsid(3), kVertical, L"&&Ba&r", L"C:\\Ext\\b.dll");
  EXPECT_EQ(All(L"Name"), (std::vector<Texts>{{L"Ab c"}, {L"Toolbar"}, {L"Bar"}}));
}

TEST_F(IEManagerEnumTest, BrowsersOwnToolbarsAreLeftOutByTheirRegisteredServer) {
  const Texts servers = {L"C:\\WINDOWS\\System32\\SHELL32.dll", L"c:\\windows\\system32\\shell32.DLL",
                         L"C:\\WINDOWS\\System32\\BrowseUI.dll", L"C:\\Program Files\\WMP\\MSDXM.OCX",
                         L"shell32.dll", L"C:\\Ext\\bar.dll"};
  for (std::size_t i = 0; i < servers.size(); ++i) {
    Class(Clsid(i), L"Bar", servers[i]);
    Toolbar(kHkeyLocalMachine, Clsid(i));
  }
  auto list = CIEManager().EnumToolbars();
  EXPECT_EQ(Names(list), (Texts{Clsid(4), Clsid(5)}));  // only the last two are listed
  EXPECT_EQ(Column(list, L"DLL"), (Texts{L"shell32.dll", L"C:\\Ext\\bar.dll"}));
}

TEST_F(IEManagerEnumTest, ToolbarInBothHivesGivesOneItemPerHive) {
  Class(Clsid(7), L"", L"C:\\Ext\\tb.exe", L"LocalServer32");
  Toolbar(kHkeyLocalMachine, Clsid(7));
  Toolbar(kHkeyCurrentUser, Clsid(7));
  auto list = CIEManager().EnumToolbars();
  ASSERT_EQ(Names(list), (Texts{Clsid(7), Clsid(7)}));
  // No fallback for a toolbar's title.
  EXPECT_EQ(Records(list, {L"Name", L"DLL", L"Key"}),
            (std::vector<Record>{{L"", L"C:\\Ext\\tb.exe", kLM}, {L"", L"C:\\Ext\\tb.exe", kCU}}));
  for (const auto& item : *list) EXPECT_EQ(PropertyNames(*item), (Texts{L"Name", L"DLL", L"Key"}));
}

TEST_F(IEManagerEnumTest, ExplorerBarHostedByShdocvwIsNamedByItsUrl) {
  const std::wstring shdocvw = L"C:\\WINDOWS\\System32\\SHDOCVW.DLL";
  struct Case { std::wstring server, url, dll; };
  const Case cases[] = {
      {shdocvw, L"", L""},
      {shdocvw, L"C:\\Bars\\page.htm", L"C:\\Bars\\page.htm"},
      {shdocvw, L"C:\\Bars\\page.htm/extra", L"C:\\Bars\\page.htm"},
      {shdocvw, L"res://shdocvw.dll/bar.htm", shdocvw},
      {L"C:\\Ext\\bar.dll", L"C:\\Bars\\ignored.htm", L"C:\\Ext\\bar.dll"},
  };
  Texts expected;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Bar(Clsid(i), kVertical, L"Bar", cases[i].server, cases[i].url);
    expected.push_back(cases[i].dll);
  }
  EXPECT_EQ(Column(CIEManager().EnumExplorerBars(), L"DLL"), expected);
}

TEST_F(IEManagerEnumTest, ExplorerBarInBothCategoriesGivesTwoItemsWithOwnCategory) {
  Bar(Clsid(1), kVertical, L"Both", L"C:\\Ext\\both.dll");
  registry.CreateKey(kHkeyClassesRoot, L"CLSID\\" + Clsid(1) + L"\\Implemented Categories\\" + kHorizontal);
  auto list = CIEManager().EnumExplorerBars();
  ASSERT_EQ(Names(list), (Texts{Clsid(1), Clsid(1)}));
  EXPECT_EQ(Column(list, L"CATID"), (Texts{kVertical, kHorizontal}));
  EXPECT_EQ(PropertyNames(list->Item(1)), (Texts{L"Name", L"DLL", L"CATID"}));
}

// A class id names the same class in any letter case; the category manager gives them in upper case.
TEST_F(IEManagerEnumTest, SystemsOwnExplorerBarsAreLeftOutInAnyLetterCase) {
  const Texts own = {
      L"{EFA24E61-B078-11D0-89E4-00C04FC9E26E}", L"{efa24e64-b078-11d0-89e4-00c04fc9e26e}",
      L"{EFA24E62-B078-11d0-89E4-00C04FC9E26E}", L"{30D02401-6A81-11D0-8274-00C04FD5AE38}",
      L"{32683183-48A0-441B-A342-7C2A440A9478}", L"{c4ee31f3-4768-11d2-be5c-00a0c9a83da1}",
      L"{4D5C8C25-D075-11D0-B416-00C04FB90376}", L"{BDEADE7F-C265-11D0-BCED-00A0C90AB50F}",
  };
  for (std::size_t i = 0; i < own.size(); ++i) Bar(own[i], i % 2 == 0 ? kVertical : kHorizontal, L"Own", L"C:\\x.dll");
  Bar(Clsid(1), kVertical, L"Listed", L"C:\\y.dll");
  EXPECT_EQ(Names(CIEManager().EnumExplorerBars()), Texts{Clsid(1)});
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
  EXPECT_EQ(Column(list, L"Name"), (Texts{L"Bar Product", L"C:\\Bars\\plain.dll"}));
  EXPECT_EQ(Column(list, L"DLL"), (Texts{L"C:\\Bars\\bar.dll", L"C:\\Bars\\plain.dll"}));
}

// A failing item ends its own listing only (BHOs keep what was built); the next listing is still read.
TEST_F(IEManagerEnumTest, FillErrorIsLoggedAndTheNextListingRead) {
  Bho(Clsid(11), L"One", L"C:\\Ext\\11.dll");
  Bho(Clsid(12), L"Two", L"C:\\Ext\\12.dll");
  Bho(Clsid(13), L"Three", L"C:\\Ext\\13.dll");
  registry.RaiseOnRead(kHkeyClassesRoot, L"CLSID\\" + Clsid(12) + L"\\InProcServer32", L"");

  for (std::size_t id = 1; id <= 3; ++id) {
    Class(Clsid(id), L"Tb", L"C:\\Ext\\tb.dll");
    Toolbar(kHkeyLocalMachine, Clsid(id));
  }
  Toolbar(kHkeyCurrentUser, Clsid(3));
  registry.RaiseOnRead(kHkeyClassesRoot, L"CLSID\\" + Clsid(2), L"");

  Bar(Clsid(4), kVertical, L"V1", L"C:\\Ext\\4.dll");
  Bar(Clsid(5), kVertical, L"V2", L"C:\\Ext\\5.dll", L"C:\\x.htm");
  Bar(Clsid(6), kVertical, L"V3", L"C:\\Ext\\6.dll");
  Bar(Clsid(7), kHorizontal, L"H", L"C:\\Ext\\7.dll");
  registry.RaiseOnRead(kHkeyClassesRoot, L"CLSID\\" + Clsid(5) + L"\\Instance\\InitPropertyBag", L"Url");

  EXPECT_EQ(All(), (std::vector<Texts>{{Clsid(11)}, {Clsid(1), Clsid(3)}, {Clsid(4), Clsid(7)}}));
  EXPECT_EQ(LoggedErrors(), (Errors{{err::kOutOfMemory, 4, L"CIEManager.FillBHOInfo"},
                                    {err::kOutOfMemory, 4, L"CIEManager.FillTBInfo"},
                                    {err::kOutOfMemory, 4, L"CIEManager.FillExplorerBarInfo"}}));
  EXPECT_EQ(Records(CIEManager().EnumToolbars(), {L"Key"}), (std::vector<Record>{{kLM}, {kCU}}));
}

TEST_F(IEManagerEnumTest, ErrorOfTheEnumerationItselfGivesNoList) {
  Bho(Clsid(1), L"One", L"C:\\Ext\\1.dll");
  Class(Clsid(2), L"Tb", L"C:\\Ext\\2.dll");
  Toolbar(kHkeyCurrentUser, Clsid(2));
  registry.FailEnum(kHkeyLocalMachine, kBHOs, platform::kErrorAccessDenied);
  registry.FailEnum(kHkeyLocalMachine, kToolbarLM, platform::kErrorAccessDenied);
  registry.FailCategories(platform::kErrorAccessDenied);
  EXPECT_EQ(All(), std::vector<Texts>(3, Texts{L"(no list)"}));
  EXPECT_EQ(Logged(), (Log{{4, L"CIEManager.EnumBHOs"},
                           {4, L"CIEManager.EnumToolbars"},
                           {4, L"CIEManager.EnumExplorerBars"}}));
}

TEST_F(IEManagerEnumTest, DeleteBHORemovesTheRegistrationAndLogsTheOutcome) {
  Bho(Clsid(1), L"One", L"C:\\Ext\\1.dll");
  CIEManager().DeleteBHO(Clsid(1));
  EXPECT_TRUE(registry.WasKeyDeleted(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(1)));
  EXPECT_TRUE(registry.HasKey(kHkeyClassesRoot, L"CLSID\\" + Clsid(1)));  // the class stays

  Bho(Clsid(2), L"Two", L"C:\\Ext\\2.dll");
  registry.FailWrite(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(2), platform::kErrorAccessDenied);
  CIEManager().DeleteBHO(Clsid(2));
  EXPECT_TRUE(registry.HasKey(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(2)));

  ASSERT_EQ(LoggedErrors(), (Errors{{0, 5, L""}, {0, 5, L""}}));
  EXPECT_EQ(logger->lines[0].message, L"Deleting BHO(" + Clsid(1) + L")");
  const std::wstring failed = L"Failed to delete BHO(" + Clsid(2) + L"): ";
  EXPECT_EQ(logger->lines[1].message.substr(0, failed.size()), failed);
}

// Without a class id the key path would name the registration key of every browser helper object.
TEST_F(IEManagerEnumTest, DeleteBHOWithoutAClassIdDeletesNothing) {
  Bho(Clsid(1), L"One", L"C:\\Ext\\1.dll");
  const Texts ids = {L"", L"   ", L"\\", L" \\ ", L"\t"};
  for (const std::wstring& id : ids) CIEManager().DeleteBHO(id);
  EXPECT_TRUE(registry.Changes().empty());
  EXPECT_TRUE(registry.HasKey(kHkeyLocalMachine, kBHOs + L"\\" + Clsid(1)));
  ASSERT_EQ(LoggedErrors(), Errors(ids.size(), {0, 5, L""}));
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(logger->lines[i].message, L"Failed to delete BHO(" + ids[i] + L"): " + CIEManager::kNoClassIdText);
  }
}

// On 64-bit Windows each listing of the local machine and each category is read in the 32-bit view too,
// right after the same listing of the native view. A class found there is looked up in that view (the
// same class id may have another server there, or none in the native view) and its file is found where
// a 32-bit program finds it. The current user's toolbars are read once. Without a second view only the
// native view is read, and so it is where the 32-bit view's keys are the native view's own (keys that
// both views share).
TEST_F(IEManagerEnumTest, ListingsOfThe32BitViewFollowTheSameListingsOn64BitWindows) {
  machine.files.SetEnv(L"SystemRoot", L"C:\\WINDOWS");
  machine.files.AddFile(L"C:\\WINDOWS\\system32\\ext.dll", {'M', 'Z'});
  machine.files.AddFile(L"C:\\WINDOWS\\SysWOW64\\ext.dll", {'M', 'Z'});
  const std::wstring ext = L"%SystemRoot%\\System32\\ext.dll";
  Bho(Clsid(1), L"B", ext);
  Class(Clsid(3), L"T", L"C:\\Ext\\t64.dll");
  Toolbar(kHkeyLocalMachine, Clsid(3));
  Toolbar(kHkeyCurrentUser, Clsid(3));
  Bar(Clsid(5), kVertical, L"V", L"C:\\Ext\\v64.dll");
  Bar(Clsid(6), kHorizontal, L"H", L"C:\\Ext\\h64.dll");
  target = &registry.Wow32();
  Bho(Clsid(1), L"B", ext);
  Bho(Clsid(2), L"", L"C:\\Ext\\b32.dll");
  Class(Clsid(4), L"T32", L"C:\\Ext\\t32.dll");
  Toolbar(kHkeyLocalMachine, Clsid(4));
  Toolbar(kHkeyCurrentUser, Clsid(4));  // the current user's key is the same in both views
  Bar(Clsid(7), kVertical, L"V32", L"C:\\Ext\\v32.dll");
  Bar(Clsid(8), kHorizontal, L"H32", L"C:\\Ext\\h32.dll");

  const std::wstring native = L"C:\\WINDOWS\\System32\\ext.dll", wow64 = L"C:\\WINDOWS\\SysWOW64\\ext.dll";
  // The names and files of the BHOs, of the toolbars, and the names and categories of the explorer bars.
  using Listed = std::vector<Texts>;
  const Listed on64 = {{Clsid(1), Clsid(1), Clsid(2)},
                       {native, wow64, L"C:\\Ext\\b32.dll"},
                       {Clsid(3), Clsid(4), Clsid(3)},
                       {L"C:\\Ext\\t64.dll", L"C:\\Ext\\t32.dll", L"C:\\Ext\\t64.dll"},
                       {Clsid(5), Clsid(7), Clsid(6), Clsid(8)},
                       {kVertical, kVertical, kHorizontal, kHorizontal}};
  const Listed on32 = {{Clsid(1)},           {native},
                       {Clsid(3), Clsid(3)}, {L"C:\\Ext\\t64.dll", L"C:\\Ext\\t64.dll"},
                       {Clsid(5), Clsid(6)}, {kVertical, kHorizontal}};
  // (64-bit Windows, the keys shared from here on, expected), in this order.
  for (const auto& [is64, share, expected] :
       std::vector<std::tuple<bool, bool, Listed>>{{true, false, on64}, {false, false, on32}, {true, true, on32}}) {
    machine.system.Set64BitWindows(is64);
    if (share) {
      registry.ShareKey(kHkeyLocalMachine, kBHOs);
      registry.ShareKey(kHkeyLocalMachine, kToolbarLM);
      registry.ShareKey(kHkeyClassesRoot, L"CLSID");
    }
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
    CIEManager manager;
    auto bhos = manager.EnumBHOs(), toolbars = manager.EnumToolbars(), bars = manager.EnumExplorerBars();
    EXPECT_EQ((Listed{Names(bhos), Column(bhos, L"DLL"), Names(toolbars), Column(toolbars, L"DLL"), Names(bars),
                      Column(bars, L"CATID")}),
              expected)
        << (is64 ? "64-bit Windows" : "32-bit Windows") << (share ? ", shared keys" : "");
  }
  EXPECT_TRUE(logger->lines.empty());
}

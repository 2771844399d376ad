#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/Registry.h"
#include "tests/doubles/FakeMachine.h"

namespace {

using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
const std::wstring kKey = L"Software\\Test";

// Text, expandable text and DWORD values are read; a value of another type, one too short, a refused read
// and a missing value or key are no value and read as empty.
TEST(CommonRegistryTest, GetValueReadsTextTypesAndDwordAndAnythingElseIsNoValue) {
  platform::FakeMachine m;
  m.registry.SetString(kHkeyLocalMachine, kKey, L"Sz", L"plain");
  m.registry.SetExpandString(kHkeyLocalMachine, kKey, L"Expand", L"%windir%\\x");
  m.registry.SetStringNoNul(kHkeyLocalMachine, kKey, L"NoNul", L"abc");
  m.registry.SetBytes(kHkeyLocalMachine, kKey, L"Odd", platform::kRegSz, {'a', 0, 'b'});
  m.registry.SetDword(kHkeyLocalMachine, kKey, L"Num", 4000000000u);
  m.registry.SetBytes(kHkeyLocalMachine, kKey, L"ShortDword", platform::kRegDword, {1, 2});
  m.registry.SetBytes(kHkeyLocalMachine, kKey, L"Bin", platform::kRegBinary, {1, 2, 3});
  m.registry.SetString(kHkeyLocalMachine, kKey, L"", L"default");
  m.registry.SetString(kHkeyLocalMachine, kKey, L"Refused", L"x");
  m.registry.FailQuery(kHkeyLocalMachine, kKey, L"Refused", platform::kErrorAccessDenied);
  struct Case { std::wstring name; bool ok; std::wstring data; };
  const Case cases[] = {{L"sz", true, L"plain"},      {L"Expand", true, L"%windir%\\x"}, {L"NoNul", true, L"abc"},
                        {L"Odd", true, L"a"},         {L"Num", true, L"4000000000"},     {L"ShortDword", false, L""},
                        {L"Bin", false, L""},         {L"", true, L"default"},           {L"Missing", false, L""},
                        {L"Refused", false, L""}};
  CRegistry reg;
  // (result, data) of each read, its output poisoned before.
  const auto get = [&](const std::wstring& key, const std::wstring& name) {
    std::wstring data = L"poison";
    const bool ok = reg.GetValue(kHkeyLocalMachine, key, name, data);
    return std::pair(ok, data);
  };
  for (const auto& c : cases) EXPECT_EQ(get(kKey, c.name), std::pair(c.ok, c.data)) << c.name;
  EXPECT_EQ(get(L"Software\\Nope", L"x"), std::pair(false, std::wstring()));  // a missing key
}

TEST(CommonRegistryTest, WritesAndDeletes) {
  platform::FakeMachine m;
  CRegistry reg;
  EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey + L"\\Sub", L"Name", L"C:\\a b.exe"));
  // Stored with its NUL.
  EXPECT_EQ(std::tuple(m.registry.StringValue(kHkeyCurrentUser, kKey + L"\\Sub", L"Name"),
                       m.registry.Value(kHkeyCurrentUser, kKey + L"\\Sub", L"Name")->data.size()),
            std::tuple(L"C:\\a b.exe", 22u));
  EXPECT_TRUE(reg.DeleteValue(kHkeyCurrentUser, kKey + L"\\SUB", L"name"));
  EXPECT_FALSE(reg.DeleteValue(kHkeyCurrentUser, kKey + L"\\Sub", L"name"));
  std::wstring error = L"poison";
  const bool deleted = reg.DeleteKey(kHkeyCurrentUser, kKey, error);
  EXPECT_EQ(std::tuple(deleted, error, m.registry.HasKey(kHkeyCurrentUser, kKey + L"\\Sub")),
            std::tuple(true, L"", false));
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, kKey, error));
  EXPECT_EQ(error, m.system.ErrorText(2));
  m.registry.FailWrite(kHkeyCurrentUser, L"Locked", platform::kErrorAccessDenied);
  EXPECT_FALSE(reg.SetValue(kHkeyCurrentUser, L"Locked", L"v", L"d"));
}

TEST(CommonRegistryTest, EnumerationsInOrderMissingKeyEmptyFailuresThrow) {
  platform::FakeMachine m;
  m.registry.SetString(kHkeyLocalMachine, kKey, L"b", L"1");
  m.registry.SetString(kHkeyLocalMachine, kKey, L"A", L"2");
  m.registry.CreateKey(kHkeyLocalMachine, kKey + L"\\Zed");
  m.registry.CreateKey(kHkeyLocalMachine, kKey + L"\\alpha");
  CRegistry reg;
  auto values = reg.EnumValues(kHkeyLocalMachine, kKey);
  ASSERT_EQ(values.Count(), 2u);
  EXPECT_EQ(std::tuple(values.Item(1), values.Exists(L"a")), std::tuple(L"b", true));
  auto keys = reg.EnumKeys(kHkeyLocalMachine, kKey);
  ASSERT_EQ(keys.Count(), 2u);
  EXPECT_EQ(keys.Item(2), L"alpha");
  EXPECT_EQ(reg.EnumKeys(kHkeyLocalMachine, L"Software\\Missing").Count(), 0u);
  m.registry.FailEnum(kHkeyLocalMachine, kKey, platform::kErrorAccessDenied);
  try {
    reg.EnumValues(kHkeyLocalMachine, kKey);
    FAIL();
  } catch (const CError& e) {
    EXPECT_EQ(std::pair(e.Number(), e.Description()), std::pair(err::FromBits(0x80070005u), m.system.ErrorText(5)));
  }
  EXPECT_THROW(reg.EnumKeys(kHkeyLocalMachine, kKey), CError);
}

TEST(CommonRegistryTest, CategoryClassesFromImplementedCategories) {
  platform::FakeMachine m;
  const std::wstring cat = L"{00021493-0000-0000-C000-000000000046}";
  m.registry.CreateKey(platform::kHkeyClassesRoot, L"CLSID\\{B}\\Implemented Categories\\" + cat);
  m.registry.CreateKey(platform::kHkeyClassesRoot, L"CLSID\\{C}\\Implemented Categories\\{other}");
  m.registry.CreateKey(platform::kHkeyClassesRoot, L"CLSID\\{A}\\implemented categories\\{00021493-0000-0000-c000-000000000046}");
  auto classes = CRegistry().EnumCategoryClasses(cat);
  ASSERT_EQ(classes.Count(), 2u);
  EXPECT_EQ(std::tuple(classes.Item(1), classes.Item(2)), std::tuple(L"{B}", L"{A}"));
  m.registry.FailCategories(platform::kErrorAccessDenied);
  EXPECT_THROW(CRegistry().EnumCategoryClasses(cat), CError);
}

// Each call works in the registry view it names; in the double the 32-bit view is a registry of its own.
TEST(CommonRegistryTest, EveryCallWorksInTheViewNamed) {
  platform::FakeMachine m;
  platform::FakeRegistry& wow32 = m.registry.Wow32();
  const auto view = platform::RegView::kWow32;
  const std::wstring sub = kKey + L"\\Sub", cat = L"{00021493-0000-0000-C000-000000000046}";
  CRegistry reg;
  ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, sub, L"Name", L"x86", view));
  EXPECT_EQ(wow32.StringValue(kHkeyLocalMachine, sub, L"Name"), L"x86");
  EXPECT_FALSE(m.registry.HasKey(kHkeyLocalMachine, kKey));
  wow32.SetDword(kHkeyLocalMachine, sub, L"Count", 3);
  wow32.CreateKey(platform::kHkeyClassesRoot, L"CLSID\\{W}\\Implemented Categories\\" + cat);

  std::wstring data = L"poison";
  EXPECT_FALSE(reg.GetValue(kHkeyLocalMachine, sub, L"Name", data));
  EXPECT_TRUE(reg.GetValue(kHkeyLocalMachine, sub, L"Name", data, view));
  std::wstring number;
  EXPECT_TRUE(reg.GetValue(kHkeyLocalMachine, sub, L"Count", number, view));
  EXPECT_EQ(std::tuple(data, number), std::tuple(L"x86", L"3"));
  // Keys and category classes in the native view; keys and values in the 32-bit one.
  EXPECT_EQ(std::tuple(reg.EnumKeys(kHkeyLocalMachine, kKey).Count(), reg.EnumCategoryClasses(cat).Count(),
                       reg.EnumKeys(kHkeyLocalMachine, kKey, view).Count(),
                       reg.EnumValues(kHkeyLocalMachine, sub, view).Count()),
            std::tuple(0u, 0u, 1u, 2u));
  ASSERT_EQ(reg.EnumCategoryClasses(cat, view).Count(), 1u);
  EXPECT_EQ(reg.EnumCategoryClasses(cat, view).Item(1), L"{W}");

  EXPECT_FALSE(reg.DeleteValue(kHkeyLocalMachine, sub, L"Name"));
  EXPECT_TRUE(reg.DeleteValue(kHkeyLocalMachine, sub, L"Name", view));
  std::wstring error = L"poison";
  EXPECT_FALSE(reg.DeleteKey(kHkeyLocalMachine, kKey, error));
  EXPECT_TRUE(reg.DeleteKey(kHkeyLocalMachine, kKey, error, view));
  EXPECT_TRUE(wow32.WasKeyDeleted(kHkeyLocalMachine, kKey));
  EXPECT_TRUE(m.registry.Changes().empty());
}

// A key is one and the same in both views only where the views share it (below it too, and what the
// 32-bit view writes there the native view reads); keys of their own in each view, or a key missing in
// either view, are not.
TEST(CommonRegistryTest, SameKeyInBothViewsOnlyWhereTheViewsShareIt) {
  platform::FakeMachine m;
  platform::FakeRegistry& wow32 = m.registry.Wow32();
  const std::wstring own = kKey + L"\\Own", only64 = kKey + L"\\Only64", only32 = kKey + L"\\Only32",
                     shared = kKey + L"\\Shared", below = shared + L"\\Below";
  for (const std::wstring& path : {own, only64, below}) m.registry.CreateKey(kHkeyLocalMachine, path);
  for (const std::wstring& path : {own, only32}) wow32.CreateKey(kHkeyLocalMachine, path);
  m.registry.ShareKey(kHkeyLocalMachine, shared);
  CRegistry reg;
  ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, below, L"v", L"x86", platform::RegView::kWow32));
  EXPECT_EQ(m.registry.StringValue(kHkeyLocalMachine, below, L"v"), L"x86");

  const std::vector<std::pair<std::wstring, bool>> cases = {
      {own, false}, {only64, false}, {only32, false}, {kKey + L"\\Missing", false}, {shared, true}, {below, true}};
  for (const auto& [path, same] : cases) EXPECT_EQ(reg.SameKeyInBothViews(kHkeyLocalMachine, path), same) << path;
}

}  // namespace

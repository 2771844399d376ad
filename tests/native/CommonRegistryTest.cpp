#include <gtest/gtest.h>

#include <string>
#include <utility>

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
  for (const auto& c : cases) {
    std::wstring data = L"poison";
    EXPECT_EQ(reg.GetValue(kHkeyLocalMachine, kKey, c.name, data), c.ok) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
  std::wstring data = L"poison";  // a missing key
  EXPECT_FALSE(reg.GetValue(kHkeyLocalMachine, L"Software\\Nope", L"x", data));
  EXPECT_EQ(data, L"");
  std::uint32_t number = 7;
  EXPECT_TRUE(reg.GetDwordValue(kHkeyLocalMachine, kKey, L"NUM", number));
  EXPECT_EQ(number, 4000000000u);
  number = 7;
  EXPECT_FALSE(reg.GetDwordValue(kHkeyLocalMachine, kKey, L"ShortDword", number));
  EXPECT_EQ(number, 7u);
}

TEST(CommonRegistryTest, WritesAndDeletes) {
  platform::FakeMachine m;
  CRegistry reg;
  EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey + L"\\Sub", L"Name", L"C:\\a b.exe"));
  EXPECT_EQ(m.registry.StringValue(kHkeyCurrentUser, kKey + L"\\Sub", L"Name"), L"C:\\a b.exe");
  EXPECT_EQ(m.registry.Value(kHkeyCurrentUser, kKey + L"\\Sub", L"Name")->data.size(), 22u);  // with the NUL
  EXPECT_TRUE(reg.DeleteValue(kHkeyCurrentUser, kKey + L"\\SUB", L"name"));
  EXPECT_FALSE(reg.DeleteValue(kHkeyCurrentUser, kKey + L"\\Sub", L"name"));
  std::wstring error = L"poison";
  EXPECT_TRUE(reg.DeleteKey(kHkeyCurrentUser, kKey, error));
  EXPECT_EQ(error, L"");
  EXPECT_FALSE(m.registry.HasKey(kHkeyCurrentUser, kKey + L"\\Sub"));
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
  EXPECT_EQ(values.Item(1), L"b");
  EXPECT_TRUE(values.Exists(L"a"));
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
  EXPECT_EQ(classes.Item(1), L"{B}");
  EXPECT_EQ(classes.Item(2), L"{A}");
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
  EXPECT_EQ(data, L"x86");
  std::uint32_t number = 0;
  EXPECT_TRUE(reg.GetDwordValue(kHkeyLocalMachine, sub, L"Count", number, view));
  EXPECT_EQ(number, 3u);
  EXPECT_EQ(reg.EnumKeys(kHkeyLocalMachine, kKey).Count(), 0u);
  EXPECT_EQ(reg.EnumKeys(kHkeyLocalMachine, kKey, view).Count(), 1u);
  EXPECT_EQ(reg.EnumValues(kHkeyLocalMachine, sub, view).Count(), 2u);
  EXPECT_EQ(reg.EnumCategoryClasses(cat).Count(), 0u);
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

}  // namespace

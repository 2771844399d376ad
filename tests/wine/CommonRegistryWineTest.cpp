// CRegistry and the Win32 registry implementation against the real registry, in scratch keys that every
// test deletes first, in either registry view of 64-bit Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistryScratch.h"
#include "common/Error.h"
#include "common/Registry.h"
#include "platform/Platform.h"

namespace {

const std::wstring kScratch = L"Software\\WardlineTests\\CommonRegistry", kViewScratch = L"Software\\WardlineTests";

class CommonRegistryWineTest : public ::testing::Test {
 protected:
  // The scratch keys go first and after: ours of the current user, and the one of the 32-bit view of the
  // local machine.
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
    wine_test::DeleteTree(HKEY_LOCAL_MACHINE, kViewScratch, wine_test::k32);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kScratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_) ::RegCloseKey(key_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
    wine_test::DeleteTree(HKEY_LOCAL_MACHINE, kViewScratch, wine_test::k32);
  }
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  }
  HKEY key_ = nullptr;
  CRegistry reg_;
};

TEST_F(CommonRegistryWineTest, SetGetEnumAndDeleteValues) {
  ASSERT_TRUE(reg_.SetValue(platform::kHkeyCurrentUser, kScratch, L"First", L"C:\\one.exe"));
  ASSERT_TRUE(reg_.SetValue(platform::kHkeyCurrentUser, kScratch, L"", L"default"));
  std::wstring data = L"poison";
  EXPECT_TRUE(reg_.GetValue(platform::kHkeyCurrentUser, kScratch, L"FIRST", data));
  EXPECT_EQ(data, L"C:\\one.exe");
  EXPECT_TRUE(reg_.GetValue(platform::kHkeyCurrentUser, kScratch, L"", data));
  EXPECT_EQ(data, L"default");
  auto names = reg_.EnumValues(platform::kHkeyCurrentUser, kScratch);
  ASSERT_EQ(names.Count(), 2u);
  EXPECT_TRUE(names.Exists(L"first"));
  EXPECT_TRUE(reg_.DeleteValue(platform::kHkeyCurrentUser, kScratch, L"First"));
  EXPECT_FALSE(reg_.DeleteValue(platform::kHkeyCurrentUser, kScratch, L"First"));
  data = L"poison";
  EXPECT_FALSE(reg_.GetValue(platform::kHkeyCurrentUser, kScratch, L"First", data));
  EXPECT_EQ(data, L"");
}

TEST_F(CommonRegistryWineTest, UntrustedDataTypesAndMissingNul) {
  const DWORD number = 123456;
  // What each value holds (`bytes` long, none for a missing value) and what GetValue makes of it.
  struct Case { const wchar_t* name; DWORD type; const void* raw; DWORD bytes; bool ok; std::wstring data; } cases[] = {
      {L"NoNul", REG_SZ, L"abc", 3 * sizeof(wchar_t), true, L"abc"},
      {L"Expand", REG_EXPAND_SZ, L"%SystemRoot%\\x", sizeof L"%SystemRoot%\\x", true, L"%SystemRoot%\\x"},
      {L"Number", REG_DWORD, &number, sizeof number, true, L"123456"},
      {L"Binary", REG_BINARY, "\1\2\3", 3, false, L""}, {L"Missing", REG_SZ, nullptr, 0, false, L""}};
  for (const auto& c : cases) {
    if (c.raw != nullptr) SetRaw(c.name, c.type, c.raw, c.bytes);
    std::wstring data = L"poison";
    EXPECT_EQ(reg_.GetValue(platform::kHkeyCurrentUser, kScratch, c.name, data), c.ok) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
}

TEST_F(CommonRegistryWineTest, KeysEnumerateAndDeleteWithSubkeys) {
  ASSERT_TRUE(reg_.SetValue(platform::kHkeyCurrentUser, kScratch + L"\\Sub\\Deep", L"v", L"x"));
  ASSERT_TRUE(reg_.SetValue(platform::kHkeyCurrentUser, kScratch + L"\\Other", L"v", L"x"));
  auto keys = reg_.EnumKeys(platform::kHkeyCurrentUser, kScratch);
  ASSERT_EQ(keys.Count(), 2u);
  EXPECT_TRUE(keys.Exists(L"SUB"));
  std::wstring error = L"poison";
  EXPECT_TRUE(reg_.DeleteKey(platform::kHkeyCurrentUser, kScratch + L"\\Sub", error));
  EXPECT_EQ(error, L"");
  EXPECT_EQ(reg_.EnumKeys(platform::kHkeyCurrentUser, kScratch).Count(), 1u);
  EXPECT_FALSE(reg_.DeleteKey(platform::kHkeyCurrentUser, kScratch + L"\\Sub", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(reg_.EnumKeys(platform::kHkeyCurrentUser, kScratch + L"\\Sub").Count(), 0u);
  EXPECT_EQ(reg_.EnumValues(platform::kHkeyCurrentUser, kScratch + L"\\Missing").Count(), 0u);
}

TEST_F(CommonRegistryWineTest, DeletingAHiveRootIsRefused) {
  EXPECT_EQ(platform::Registry().DeleteKey(platform::kHkeyCurrentUser, L""), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(platform::Registry().DeleteKey(platform::kHkeyCurrentUser, L"\\"), ERROR_INVALID_PARAMETER);
}

// The category's classes in each view: in the program's own view from the category manager (class ids
// in upper case), in the 32-bit view from that view's class keys.
TEST_F(CommonRegistryWineTest, CategoryClassesListTheClassesRegisteredInEachView) {
  const std::wstring category = L"{5C1B0F3E-7A2D-4E8B-9F61-2D3C4B5A6978}";
  const std::wstring native = L"{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}";
  const std::wstring wow = L"{1B2C3D4E-5F60-4172-9384-A5B6C7D8E9FA}";
  for (const REGSAM view : {wine_test::k64, wine_test::k32}) {
    for (const std::wstring& id : {native, wow}) wine_test::DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + id, view);
  }
  const auto implementing = [&](const std::wstring& id) {
    return L"CLSID\\" + id + L"\\Implemented Categories\\" + category;
  };
  const wine_test::ScratchKey nativeKey(HKEY_CLASSES_ROOT, implementing(native), wine_test::k64);
  const wine_test::ScratchKey wowKey(HKEY_CLASSES_ROOT, implementing(wow), wine_test::k32);
  ASSERT_TRUE(nativeKey.Created() && wowKey.Created());
  const auto upper = [](const CKeyedCollection<std::wstring>& ids) {
    std::vector<std::wstring> texts;
    for (std::wstring id : ids) texts.push_back(::CharUpperW(id.data()));
    return texts;
  };
  EXPECT_EQ(upper(reg_.EnumCategoryClasses(category)), std::vector<std::wstring>{native});
  EXPECT_EQ(upper(reg_.EnumCategoryClasses(category, platform::RegView::kWow32)), std::vector<std::wstring>{wow});

  std::vector<std::wstring> ids{L"poison"};
  EXPECT_EQ(platform::Registry().EnumCategoryClasses(L"not a guid", ids), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(ids.empty());
}

// What the 32-bit view holds under HKEY_LOCAL_MACHINE\Software is reached in that view only.
TEST_F(CommonRegistryWineTest, EveryCallWorksInTheViewNamed) {
  const std::wstring key = kViewScratch + L"\\Views", sub = key + L"\\Sub";
  const auto view = platform::RegView::kWow32;
  const auto opens = [&](REGSAM flag) {
    HKEY opened = nullptr;
    const LONG result = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_READ | flag, &opened);
    if (opened != nullptr) ::RegCloseKey(opened);
    return result;
  };
  ASSERT_TRUE(reg_.SetValue(platform::kHkeyLocalMachine, sub, L"Name", L"x86", view));
  EXPECT_EQ(opens(wine_test::k32), ERROR_SUCCESS);
  EXPECT_EQ(opens(wine_test::k64), ERROR_FILE_NOT_FOUND);

  std::wstring data = L"poison";
  EXPECT_FALSE(reg_.GetValue(platform::kHkeyLocalMachine, sub, L"Name", data));
  EXPECT_TRUE(reg_.GetValue(platform::kHkeyLocalMachine, sub, L"Name", data, view));
  EXPECT_EQ(data, L"x86");
  EXPECT_EQ(reg_.EnumKeys(platform::kHkeyLocalMachine, key).Count(), 0u);
  EXPECT_EQ(reg_.EnumKeys(platform::kHkeyLocalMachine, key, view).Count(), 1u);
  EXPECT_EQ(reg_.EnumValues(platform::kHkeyLocalMachine, sub, view).Count(), 1u);
  EXPECT_FALSE(reg_.DeleteValue(platform::kHkeyLocalMachine, sub, L"Name"));
  EXPECT_TRUE(reg_.DeleteValue(platform::kHkeyLocalMachine, sub, L"Name", view));

  ASSERT_TRUE(reg_.SetValue(platform::kHkeyLocalMachine, sub + L"\\Deep", L"v", L"x", view));
  std::wstring error = L"poison";
  EXPECT_FALSE(reg_.DeleteKey(platform::kHkeyLocalMachine, key, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(reg_.DeleteKey(platform::kHkeyLocalMachine, key, error, view));
  EXPECT_EQ(error, L"");
  EXPECT_EQ(opens(wine_test::k32), ERROR_FILE_NOT_FOUND);
}

// A key's own name, as the system gives it, tells whether both views reach one key: the current user's
// keys (not redirected) and a key that the local machine's views share (the 32-bit view's policies key
// leads to the 64-bit view's) have one name; a redirected key has one in each view, and a key missing in
// a view has none there.
TEST_F(CommonRegistryWineTest, AKeyIsTheSameInBothViewsOnlyWhereTheyReachOneKey) {
  std::wstring name = L"poison";
  platform::IRegistry& native = platform::Registry();
  ASSERT_EQ(native.KeyName(platform::kHkeyCurrentUser, kScratch, name), ERROR_SUCCESS);
  const std::wstring tail = L"\\Software\\WardlineTests\\CommonRegistry";
  ASSERT_GT(name.size(), tail.size());
  EXPECT_EQ(::CompareStringOrdinal(name.c_str() + name.size() - tail.size(), -1, tail.c_str(), -1, TRUE), CSTR_EQUAL)
      << name;
  EXPECT_EQ(::CompareStringOrdinal(name.c_str(), 15, L"\\REGISTRY\\USER\\", -1, TRUE), CSTR_EQUAL) << name;
  const std::wstring before = name;
  EXPECT_EQ(native.KeyName(platform::kHkeyCurrentUser, kScratch + L"\\Missing", name), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(name, before);

  const std::wstring only32 = kViewScratch + L"\\Only32", cv = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
  ASSERT_TRUE(reg_.SetValue(platform::kHkeyLocalMachine, only32, L"v", L"x86", platform::RegView::kWow32));
  const struct {
    platform::Hive hive;
    std::wstring path;
    bool same;
  } cases[] = {{platform::kHkeyCurrentUser, kScratch, true},
               {platform::kHkeyLocalMachine, cv + L"Policies", true},
               {platform::kHkeyLocalMachine, cv + L"RunOnce", false},
               {platform::kHkeyLocalMachine, only32, false},
               {platform::kHkeyLocalMachine, kViewScratch + L"\\Missing", false}};
  for (const auto& c : cases) EXPECT_EQ(reg_.SameKeyInBothViews(c.hive, c.path), c.same) << c.path;
}

}  // namespace

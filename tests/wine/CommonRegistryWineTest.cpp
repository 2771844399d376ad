// CRegistry and the Win32 registry implementation against the real registry, in a scratch HKCU key
// that every test deletes first.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "common/Registry.h"
#include "platform/Platform.h"

namespace {

const std::wstring kScratch = L"Software\\WardlineTests\\CommonRegistry";

class CommonRegistryWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kScratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_) ::RegCloseKey(key_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
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
  const wchar_t noNul[] = {L'a', L'b', L'c'};
  SetRaw(L"NoNul", REG_SZ, noNul, sizeof noNul);
  const wchar_t expand[] = L"%SystemRoot%\\x";
  SetRaw(L"Expand", REG_EXPAND_SZ, expand, sizeof expand);
  const DWORD number = 123456;
  SetRaw(L"Number", REG_DWORD, &number, sizeof number);
  const BYTE binary[] = {1, 2, 3};
  SetRaw(L"Binary", REG_BINARY, binary, sizeof binary);
  struct Case { const wchar_t* name; bool ok; std::wstring data; } cases[] = {
      {L"NoNul", true, L"abc"}, {L"Expand", true, L"%SystemRoot%\\x"}, {L"Number", true, L"123456"},
      {L"Binary", false, L""}, {L"Missing", false, L""}};
  for (const auto& c : cases) {
    std::wstring data = L"poison";
    EXPECT_EQ(reg_.GetValue(platform::kHkeyCurrentUser, kScratch, c.name, data), c.ok) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
  std::uint32_t read = 0;
  EXPECT_TRUE(reg_.GetDwordValue(platform::kHkeyCurrentUser, kScratch, L"Number", read));
  EXPECT_EQ(read, 123456u);
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

TEST_F(CommonRegistryWineTest, CategoryClassesAnswerWithoutError) {
  // "Controls" category: the list may be empty under Wine, but the call must succeed.
  EXPECT_NO_THROW(reg_.EnumCategoryClasses(L"{40FC6ED4-2438-11CF-A3DB-080036F12502}"));
  std::vector<std::wstring> ids{L"poison"};
  EXPECT_EQ(platform::Registry().EnumCategoryClasses(L"not a guid", ids), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(ids.empty());
}

}  // namespace

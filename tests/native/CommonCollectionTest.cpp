#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>

#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "tests/native/ErrorOf.h"

namespace {

TEST(CommonKeyFoldTest, KeysCompareWithoutRegardToCase) {
  struct Case { std::wstring a, b; bool same; };
  for (const Case& c : {Case{L"C:\\WINDOWS\\Explorer.EXE", L"c:\\windows\\explorer.exe", true},
                        Case{L"\u00C4RGER", L"\u00E4rger", true},                        // Latin-1
                        Case{L"\u00D7", L"\u00F7", false},                               // multiplication / division
                        Case{L"\u0141\u00D3D\u0179", L"\u0142\u00F3d\u017A", true},      // Latin Extended-A
                        Case{L"\u0178", L"\u00FF", true},                                // Y diaeresis
                        Case{L"\u0391\u0392\u03A3", L"\u03B1\u03B2\u03C3", true},        // Greek
                        Case{L"\u03C2", L"\u03A3", true},                                // final sigma
                        Case{L"\u0416\u0401", L"\u0436\u0451", true},                    // Cyrillic
                        Case{L"\u0490", L"\u0491", true},                                // Cyrillic extended pairs
                        Case{L"a", L"b", false}, Case{L"", L"", true}}) {
    EXPECT_EQ(qn::FoldKey(c.a) == qn::FoldKey(c.b), c.same) << "a=" << c.a.size() << " b=" << c.b.size();
  }
}

TEST(CommonCollectionTest, NumberKeyIsUnderscoreAndDecimalDigitsWithMinusWhenNegative) {
  const std::pair<std::int64_t, std::wstring> cases[] = {
      {0, L"_0"},
      {7, L"_7"},
      {2048, L"_2048"},
      {-5, L"_-5"},
      {std::numeric_limits<std::int32_t>::max(), L"_2147483647"},
      {std::numeric_limits<std::int32_t>::min(), L"_-2147483648"},
      {std::numeric_limits<std::uint32_t>::max(), L"_4294967295"},
      {std::numeric_limits<std::int64_t>::min(), L"_-9223372036854775808"},
  };
  for (const auto& [n, key] : cases) EXPECT_EQ(qn::NumberKey(n), key) << n;
  EXPECT_EQ(qn::FileKey(L"C:\\a.dll"), L"_C:\\a.dll");
}

TEST(CommonCollectionTest, KeepsOrderAndFindsByKeyAnyCase) {
  CKeyedCollection<int> c;
  c.Add(3, L"Three");
  c.Add(1, L"one");
  c.Add(2, L"");
  ASSERT_EQ(c.Count(), 3u);
  EXPECT_EQ(std::vector<int>(c.begin(), c.end()), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(std::tuple(c.Item(L"THREE"), c.Item(L""), c.Exists(L"ONE"), c.Item(2), c.Key(1)),
            std::tuple(3, 2, true, 1, L"Three"));
}

// A duplicate key leaves the collection unchanged.
TEST(CommonCollectionTest, ErrorsHaveTheirNumbers) {
  CKeyedCollection<int> c;
  c.Add(1, L"a");
  EXPECT_EQ(ErrorOf([&] { c.Add(2, L"A"); }), err::kDuplicateKey);
  EXPECT_EQ(std::tuple(c.Count(), c.Item(L"a")), std::tuple(1u, 1));
  EXPECT_EQ(ErrorOf([&] { c.Item(L"missing"); }), err::kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { c.Item(std::size_t{0}); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { c.Item(std::size_t{2}); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { c.Key(5); }), err::kSubscriptOutOfRange);
}

TEST(CommonItemsTest, ItemsHoldChildrenAndProperties) {
  CItemList list;
  auto item = list.Add();
  item->Name = L"C:\\a.exe";
  item->Children().Add()->Name = L"C:\\b.dll";
  item->Properties().Add(L"Key", std::wstring(L"Run"));
  item->Properties().Add(L"Hive", std::int32_t{-2147483646});
  ASSERT_EQ(list.Count(), 1u);
  const CProperties& properties = list.Item(1).Properties();
  EXPECT_EQ(std::tuple(list.Item(1).Children().Item(1).Name, properties.Item(L"KEY").Text(), properties.Item(2).Text(),
                       properties.Item(L"Key").Values().Count()),
            std::tuple(L"C:\\b.dll", L"Run", L"-2147483646", 1u));
  EXPECT_EQ(list.Add()->Children().Count(), 0u);
}

TEST(CommonItemsTest, ErrorsOfItemsAndProperties) {
  EXPECT_THROW(CItemList().Item(1), CError);
  CProperties props;
  props.Add(L"DLL", std::wstring(L"x"));
  EXPECT_EQ(ErrorOf([&] { props.Add(L"dll", std::wstring(L"y")); }), err::kDuplicateKey);
  EXPECT_EQ(ErrorOf([&] { props.Item(L"Name"); }), err::kInvalidArgument);
  EXPECT_EQ(CProperty(L"Empty").Text(), L"");
}

}  // namespace

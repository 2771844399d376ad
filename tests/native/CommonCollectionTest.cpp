#include <gtest/gtest.h>

#include <functional>

#include "common/Items.h"
#include "common/KeyedCollection.h"

namespace {

struct FoldCase {
  std::wstring a, b;
  bool same;
};

class CommonKeyFoldTest : public ::testing::TestWithParam<FoldCase> {};

TEST_P(CommonKeyFoldTest, KeysCompareWithoutRegardToCase) {
  const auto& c = GetParam();
  EXPECT_EQ(qn::FoldKey(c.a) == qn::FoldKey(c.b), c.same) << "a=" << c.a.size() << " b=" << c.b.size();
}

INSTANTIATE_TEST_SUITE_P(
    Letters, CommonKeyFoldTest,
    ::testing::Values(FoldCase{L"C:\\WINDOWS\\Explorer.EXE", L"c:\\windows\\explorer.exe", true},
                      FoldCase{L"\u00C4RGER", L"\u00E4rger", true},            // Latin-1
                      FoldCase{L"\u00D7", L"\u00F7", false},                   // multiplication / division signs
                      FoldCase{L"\u0141\u00D3D\u0179", L"\u0142\u00F3d\u017A", true},  // Latin Extended-A
                      FoldCase{L"\u0178", L"\u00FF", true},                    // Y diaeresis
                      FoldCase{L"\u0391\u0392\u03A3", L"\u03B1\u03B2\u03C3", true},  // Greek
                      FoldCase{L"\u03C2", L"\u03A3", true},                    // final sigma
                      FoldCase{L"\u0416\u0401", L"\u0436\u0451", true},        // Cyrillic
                      FoldCase{L"\u0490", L"\u0491", true},                    // Cyrillic extended pairs
                      FoldCase{L"a", L"b", false}, FoldCase{L"", L"", true}));

TEST(CommonCollectionTest, KeepsOrderAndFindsByKeyAnyCase) {
  CKeyedCollection<int> c;
  c.Add(3, L"Three");
  c.Add(1, L"one");
  c.Add(2, L"");
  ASSERT_EQ(c.Count(), 3u);
  std::vector<int> order(c.begin(), c.end());
  EXPECT_EQ(order, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(c.Item(L"THREE"), 3);
  EXPECT_EQ(c.Item(L""), 2);
  EXPECT_TRUE(c.Exists(L"ONE"));
  EXPECT_EQ(c.Item(2), 1);
  EXPECT_EQ(c.Key(1), L"Three");
}

TEST(CommonCollectionTest, DuplicateKeyIsError457AndLeavesCollectionUnchanged) {
  CKeyedCollection<int> c;
  c.Add(1, L"Key");
  try {
    c.Add(2, L"kEY");
    FAIL() << "no error";
  } catch (const CError& e) {
    EXPECT_EQ(e.Number(), err::kDuplicateKey);
  }
  EXPECT_EQ(c.Count(), 1u);
  EXPECT_EQ(c.Item(L"key"), 1);
}

TEST(CommonCollectionTest, LookupErrorsHaveTheirNumbers) {
  CKeyedCollection<int> c;
  c.Add(1, L"a");
  struct Case {
    std::function<void()> call;
    long number;
  } cases[] = {{[&] { c.Item(L"missing"); }, err::kInvalidArgument},
               {[&] { c.Item(std::size_t{0}); }, err::kSubscriptOutOfRange},
               {[&] { c.Item(std::size_t{2}); }, err::kSubscriptOutOfRange},
               {[&] { c.Key(5); }, err::kSubscriptOutOfRange}};
  for (const auto& cs : cases) {
    try {
      cs.call();
      ADD_FAILURE() << "no error for case " << cs.number;
    } catch (const CError& e) {
      EXPECT_EQ(e.Number(), cs.number);
    }
  }
}

TEST(CommonItemsTest, ItemsHoldChildrenAndProperties) {
  CItemList list;
  auto item = list.Add();
  item->Name = L"C:\\a.exe";
  item->Children().Add()->Name = L"C:\\b.dll";
  item->Properties().Add(L"Key", std::wstring(L"Run"));
  item->Properties().Add(L"Hive", std::int32_t{-2147483646});
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Item(1).Children().Item(1).Name, L"C:\\b.dll");
  EXPECT_EQ(list.Item(1).Properties().Item(L"KEY").Text(), L"Run");
  EXPECT_EQ(list.Item(1).Properties().Item(2).Text(), L"-2147483646");
  EXPECT_EQ(list.Item(1).Properties().Item(L"Key").Values().Count(), 1u);
  EXPECT_TRUE(list.Add()->Children().Count() == 0);
}

TEST(CommonItemsTest, ErrorsOfItemsAndProperties) {
  CItemList list;
  EXPECT_THROW(list.Item(1), CError);
  CProperties props;
  props.Add(L"DLL", std::wstring(L"x"));
  try {
    props.Add(L"dll", std::wstring(L"y"));
    FAIL();
  } catch (const CError& e) {
    EXPECT_EQ(e.Number(), err::kDuplicateKey);
  }
  try {
    props.Item(L"Name");
    FAIL();
  } catch (const CError& e) {
    EXPECT_EQ(e.Number(), err::kInvalidArgument);
  }
  EXPECT_EQ(CProperty(L"Empty").Text(), L"");
}

}  // namespace

// CKeyedCollection's lookups, which fold the key as they hash and compare it instead of building its
// folded copy: they must find exactly what the folded form finds.
#include <gtest/gtest.h>

#include <string>

#include "common/KeyedCollection.h"

namespace {

TEST(CommonCollectionLookupTest, CharacterFoldAgreesWithTheKeyFoldForEveryCharacter) {
  int differing = 0;
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const auto c = static_cast<wchar_t>(code);
    if (qn::FoldKeyChar(c) != qn::FoldKey(std::wstring(1, c))[0]) ++differing;
  }
  EXPECT_EQ(differing, 0);
}

// Every spelling that folds alike finds the entry, by Exists, Item and Find, whichever spelling was
// added; other keys find nothing.
TEST(CommonCollectionLookupTest, KeysThatFoldAlikeFindTheEntryByEveryLookup) {
  const std::pair<std::wstring, std::wstring> alike[] = {
      {L"C:\\WINDOWS\\Explorer.EXE", L"c:\\windows\\explorer.exe"},
      {L"\u00C4RGER", L"\u00E4rger"},
      {L"\u0391\u0392\u03A3 long enough to span several words", L"\u03B1\u03B2\u03C2 LONG ENOUGH TO SPAN SEVERAL WORDS"},
      {L"\u0416\u0401", L"\u0436\u0451"},
      {L"_-2048", L"_-2048"},
  };
  for (const auto& [added, asked] : alike) {
    for (const auto& [first, second] : {std::pair{added, asked}, std::pair{asked, added}}) {
      CKeyedCollection<std::wstring> c;
      c.Add(L"other", L"x" + first);
      c.Add(first, first);
      const std::wstring* none = nullptr;
      EXPECT_EQ(std::tuple(c.Exists(second), c.Find(second), c.Find(second + L" "), c.Exists(second.substr(1))),
                std::tuple(true, &c.Item(2), none, false));
      EXPECT_EQ(c.Item(second), first);
    }
  }
}

TEST(CommonCollectionLookupTest, ReserveChangesNothingVisible) {
  CKeyedCollection<int> c;
  c.Add(1, L"one");
  c.Reserve(1000);
  c.Add(2, L"Two");
  ASSERT_EQ(c.Count(), 2u);
  EXPECT_EQ(std::tuple(c.Item(L"ONE"), c.Key(2)), std::tuple(1, L"Two"));
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "tests/native/ErrorOf.h"
#include "ui/PropertyBag.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A bag with one value of every kind, texts outside ASCII and beyond the basic plane included.
ui::PropertyBag Sample() {
  CProperties set;
  set.Add(L"reason", std::wstring(L"too slow\r\n+100% & more"));
  set.Add(L"count", std::int32_t{-7});
  set.Add(L"empty", std::wstring());
  set.Item(L"count").Values().Add(std::wstring(L"second"), L"k2");
  ui::PropertyBag bag;
  bag.WriteProperty(L"cat", L"LDW\\Uninstall");
  bag.WriteProperty(L"n", std::int32_t{-2147483647 - 1});
  bag.WriteProperty(L"dat", set);
  bag.WriteProperty(L"text", std::wstring(L"\u00e9\u4e2d") + static_cast<wchar_t>(0x1F600));
  return bag;
}

TEST(UiPropertyBagTest, EveryKindOfValueSurvivesTheByteForm) {
  ui::PropertyBag copy;
  copy.SetContents(Sample().Contents());
  ASSERT_EQ(copy.Count(), 4u);
  EXPECT_EQ(copy.ReadProperty(L"cat", L"x"), L"LDW\\Uninstall");
  EXPECT_EQ(copy.ReadProperty(L"n", 0), -2147483647 - 1);
  EXPECT_EQ(copy.ReadProperty(L"text", L""), std::wstring(L"\u00e9\u4e2d") + static_cast<wchar_t>(0x1F600));
  auto set = copy.ReadProperty(L"dat", std::shared_ptr<CProperties>());
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->Count(), 3u);
  EXPECT_EQ(set->Item(1).Name(), L"reason");
  EXPECT_EQ(set->Item(L"reason").Text(), L"too slow\r\n+100% & more");
  EXPECT_EQ(std::get<std::int32_t>(set->Item(L"count").Values().Item(1)), -7);
  EXPECT_EQ(std::get<std::wstring>(set->Item(L"count").Values().Item(L"k2")), L"second");
  EXPECT_EQ(set->Item(3).Text(), L"");
  EXPECT_EQ(copy.Contents(), Sample().Contents());
}

TEST(UiPropertyBagTest, ReadsGiveDefaultsConvertNumbersAndRefuseOtherKinds) {
  const ui::PropertyBag bag = Sample();
  EXPECT_EQ(bag.ReadProperty(L"missing", L"def"), L"def");
  EXPECT_EQ(bag.ReadProperty(L"missing", 42), 42);
  EXPECT_EQ(bag.ReadProperty(L"missing", std::shared_ptr<CProperties>()), nullptr);
  EXPECT_EQ(bag.ReadProperty(L"CAT", L""), L"LDW\\Uninstall");  // names ignore letter case
  EXPECT_EQ(bag.ReadProperty(L"n", L""), L"-2147483648");
  EXPECT_EQ(ErrorOf([&] { bag.ReadProperty(L"cat", 0); }), ui::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { bag.ReadProperty(L"dat", L""); }), ui::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { bag.ReadProperty(L"dat", 0); }), ui::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { bag.ReadProperty(L"n", std::shared_ptr<CProperties>()); }), ui::kTypeMismatch);
}

TEST(UiPropertyBagTest, WritingANameAgainReplacesItInPlaceAndASetIsCopiedWhenWritten) {
  CProperties set;
  set.Add(L"a", std::wstring(L"1"));
  ui::PropertyBag bag;
  bag.WriteProperty(L"first", L"x");
  bag.WriteProperty(L"dat", set);
  set.Add(L"b", std::wstring(L"later"));
  bag.WriteProperty(L"FIRST", 5);
  ui::PropertyBag copy;
  copy.SetContents(bag.Contents());
  EXPECT_EQ(copy.Count(), 2u);
  EXPECT_EQ(copy.ReadProperty(L"first", 0), 5);
  EXPECT_EQ(copy.ReadProperty(L"dat", std::shared_ptr<CProperties>())->Count(), 1u);
}

// The layout that docs/formats.md gives, byte for byte.
TEST(UiPropertyBagTest, ByteFormIsTheDocumentedLayout) {
  CProperties set;
  set.Add(L"r", std::wstring(L"Z"));
  ui::PropertyBag bag;
  bag.WriteProperty(L"id", L"A");
  bag.WriteProperty(L"n", 258);
  bag.WriteProperty(L"d", set);
  const Bytes expected = {
      'W', 'D', 'P', 'B', 1, 0, 3, 0, 0, 0,                  // magic, version 1, 3 values
      4, 0, 0, 0, 'i', 0, 'd', 0, 1, 2, 0, 0, 0, 'A', 0,     // "id" text "A"
      2, 0, 0, 0, 'n', 0, 2, 2, 1, 0, 0,                     // "n" number 258
      2, 0, 0, 0, 'd', 0, 3, 1, 0, 0, 0,                     // "d" value set of 1 name
      2, 0, 0, 0, 'r', 0, 1, 0, 0, 0,                        //   "r" with 1 value
      0, 0, 0, 0, 1, 2, 0, 0, 0, 'Z', 0};                    //     key "", text "Z"
  EXPECT_EQ(bag.Contents(), expected);
  EXPECT_EQ(ui::PropertyBag().Contents(), (Bytes{'W', 'D', 'P', 'B', 1, 0, 0, 0, 0, 0}));
}

// Every proper prefix of a bag's bytes is refused with the bag's own error, and leaves the bag as it was.
TEST(UiPropertyBagTest, TruncatedBytesAtEveryPositionAreRefused) {
  const Bytes bytes = Sample().Contents();
  ui::PropertyBag bag;
  bag.WriteProperty(L"keep", L"me");
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    try {
      bag.SetContents(cut);
      ADD_FAILURE() << "accepted " << size << " bytes";
    } catch (const CError& e) {
      EXPECT_EQ(e.Number(), ui::kInvalidPropertyBag) << size;
      EXPECT_NE(e.Description().find(L"not a property bag"), std::wstring::npos);
    }
  }
  EXPECT_EQ(bag.Count(), 1u);
  EXPECT_EQ(bag.ReadProperty(L"keep", L""), L"me");
}

// Each byte set to each of a few telling values: the reader either takes the bytes or refuses them with
// its own error; it never crashes, reads outside the bytes or allocates for a length it has not got
// (the sanitizers watch every case).
TEST(UiPropertyBagTest, CorruptedBytesAtEveryPositionAreReadSafely) {
  const Bytes bytes = Sample().Contents();
  int refused = 0;
  for (std::size_t pos = 0; pos < bytes.size(); ++pos) {
    for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x01}, std::uint8_t{0x03}, std::uint8_t{0x7F},
                               std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
      if (bytes[pos] == value) continue;
      Bytes bad = bytes;
      bad[pos] = value;
      ui::PropertyBag bag;
      const long error = ErrorOf([&] { bag.SetContents(bad); });
      if (error != 0) {
        EXPECT_EQ(error, ui::kInvalidPropertyBag) << pos;
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, static_cast<int>(bytes.size()));  // most changes break the form
}

TEST(UiPropertyBagTest, BytesThatAreNotABagAreRefusedWithTheReason) {
  struct Case { const char* what; Bytes bytes; const wchar_t* reason; };
  const std::vector<Case> cases = {
      {"other magic", {'W', 'D', 'P', 'C', 1, 0, 0, 0, 0, 0}, L"WDPB"},
      {"version 2", {'W', 'D', 'P', 'B', 2, 0, 0, 0, 0, 0}, L"version 2"},
      {"huge count", {'W', 'D', 'P', 'B', 1, 0, 0xFF, 0xFF, 0xFF, 0xFF}, L"more than the bytes"},
      {"huge name", {'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0}, L"longer than"},
      {"odd length", {'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'a', 1, 0, 0, 0, 0}, L"odd length"},
      {"unknown kind", {'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0}, L"kind 9"},
      {"left over", {'W', 'D', 'P', 'B', 1, 0, 0, 0, 0, 0, 0}, L"follow the last value"},
      {"name twice",
       {'W', 'D', 'P', 'B', 1, 0, 2, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 'A', 0, 2, 0, 0, 0, 0},
       L"stands twice"},
      {"set name without value",
       {'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       L"no value"},
      {"set value kind 3",
       {'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0,
        0, 0, 0},
       L"kind 3"},
      {"first key not empty",
       {'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'k', 0,
        2, 0, 0, 0, 0},
       L"empty key"},
  };
  for (const Case& c : cases) {
    ui::PropertyBag bag;
    try {
      bag.SetContents(c.bytes);
      ADD_FAILURE() << c.what;
    } catch (const CError& e) {
      EXPECT_EQ(e.Number(), ui::kInvalidPropertyBag) << c.what;
      EXPECT_NE(e.Description().find(c.reason), std::wstring::npos) << c.what;
    }
  }
}

}  // namespace

#include <gmock/gmock.h>

#include <string>
#include <tuple>
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

// The description with which SetContents refuses `bytes` as not a bag: "(accepted)" when it takes them,
// "(error n)" when it raises another error.
std::wstring RefusalOf(ui::PropertyBag& bag, const Bytes& bytes) {
  try {
    bag.SetContents(bytes);
  } catch (const CError& e) {
    return e.Number() == ui::kInvalidPropertyBag ? e.Description() : L"(error " + std::to_wstring(e.Number()) + L")";
  }
  return L"(accepted)";
}

// A bag's bytes: the magic, version 1, `count` values, then `rest`.
Bytes BagOf(std::uint8_t count, std::initializer_list<std::uint8_t> rest) {
  Bytes bytes = {'W', 'D', 'P', 'B', 1, 0, count, 0, 0, 0};
  bytes.insert(bytes.end(), rest);
  return bytes;
}

TEST(UiPropertyBagTest, EveryKindOfValueSurvivesTheByteForm) {
  ui::PropertyBag copy;
  copy.SetContents(Sample().Contents());
  EXPECT_EQ(std::tuple(copy.Count(), copy.ReadProperty(L"cat", L"x"), copy.ReadProperty(L"n", 0),
                       copy.ReadProperty(L"text", L"")),
            std::tuple(4u, L"LDW\\Uninstall", -2147483647 - 1,
                       std::wstring(L"\u00e9\u4e2d") + static_cast<wchar_t>(0x1F600)));
  auto set = copy.ReadProperty(L"dat", std::shared_ptr<CProperties>());
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->Count(), 3u);
  EXPECT_EQ(std::tuple(set->Item(1).Name(), set->Item(L"reason").Text(),
                       std::get<std::int32_t>(set->Item(L"count").Values().Item(1)),
                       std::get<std::wstring>(set->Item(L"count").Values().Item(L"k2")), set->Item(3).Text()),
            std::tuple(L"reason", L"too slow\r\n+100% & more", -7, L"second", L""));
  EXPECT_EQ(copy.Contents(), Sample().Contents());
}

TEST(UiPropertyBagTest, ReadsGiveDefaultsConvertNumbersAndRefuseOtherKinds) {
  const ui::PropertyBag bag = Sample();
  EXPECT_EQ(std::tuple(bag.ReadProperty(L"missing", L"def"), bag.ReadProperty(L"missing", 42),
                       bag.ReadProperty(L"missing", std::shared_ptr<CProperties>()),
                       bag.ReadProperty(L"CAT", L""),  // names ignore letter case
                       bag.ReadProperty(L"n", L"")),
            std::tuple(L"def", 42, nullptr, L"LDW\\Uninstall", L"-2147483648"));
  EXPECT_EQ((std::vector<long>{ErrorOf([&] { bag.ReadProperty(L"cat", 0); }),
                               ErrorOf([&] { bag.ReadProperty(L"dat", L""); }),
                               ErrorOf([&] { bag.ReadProperty(L"dat", 0); }),
                               ErrorOf([&] { bag.ReadProperty(L"n", std::shared_ptr<CProperties>()); })}),
            std::vector<long>(4, ui::kTypeMismatch));
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
  EXPECT_EQ(std::tuple(copy.Count(), copy.ReadProperty(L"first", 0),
                       copy.ReadProperty(L"dat", std::shared_ptr<CProperties>())->Count()),
            std::tuple(2u, 5, 1u));
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
    EXPECT_THAT(RefusalOf(bag, cut), testing::HasSubstr(L"not a property bag")) << size;
  }
  EXPECT_EQ(std::tuple(bag.Count(), bag.ReadProperty(L"keep", L"")), std::tuple(1u, L"me"));
}

// Each byte set to each of a few telling values: the reader either takes the bytes or refuses them with
// its own error; it never crashes, reads outside the bytes or allocates for a length it has not got
// (the sanitizers watch every case).
TEST(UiPropertyBagTest, CorruptedBytesAtEveryPositionAreReadSafely) {
  const Bytes bytes = Sample().Contents();
  int refused = 0;
  for (std::size_t pos = 0; pos < bytes.size(); ++pos) {
    for (int value : {0x00, 0x01, 0x03, 0x7F, 0x80, 0xFF}) {
      if (bytes[pos] == value) continue;
      Bytes bad = bytes;
      bad[pos] = static_cast<std::uint8_t>(value);
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
      {"huge name", BagOf(1, {0xFE, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0}), L"longer than"},
      {"odd length", BagOf(1, {1, 0, 0, 0, 'a', 1, 0, 0, 0, 0}), L"odd length"},
      {"unknown kind", BagOf(1, {0, 0, 0, 0, 9, 0, 0, 0, 0}), L"kind 9"},
      {"left over", BagOf(0, {0}), L"follow the last value"},
      {"name twice", BagOf(2, {2, 0, 0, 0, 'a', 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 'A', 0, 2, 0, 0, 0, 0}), L"stands twice"},
      // Value sets: a name without values, a value of kind 3, a first value under a key.
      {"set name without value", BagOf(1, {0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), L"no value"},
      {"set value kind 3", BagOf(1, {0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0}),
       L"kind 3"},
      {"first key not empty",
       BagOf(1, {0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'k', 0, 2, 0, 0, 0, 0}), L"empty key"},
  };
  for (const Case& c : cases) {
    ui::PropertyBag bag;
    EXPECT_THAT(RefusalOf(bag, c.bytes), testing::HasSubstr(c.reason)) << c.what;
  }
}

}  // namespace

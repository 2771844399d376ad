#include <gmock/gmock.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <type_traits>
#include <vector>

#include "detection/tables/KnownFileTables.h"

namespace {

using Values = std::vector<std::int64_t>;

constexpr std::int64_t kShortMax = 32767;
constexpr std::int64_t kMiB = 1 << 20;

// The element types hold every 16-bit array within 16-bit items and every value below 2^31.
template <typename T, typename... Arrays>
constexpr bool kAllOf = (std::is_same_v<typename Arrays::value_type, T> && ...);
static_assert(kAllOf<std::int16_t, decltype(tables::kParasiteSizes16), decltype(tables::kGoodSizes16)>);
static_assert(kAllOf<std::int32_t, decltype(tables::kParasiteSizes32), decltype(tables::kGoodSizes32),
                     decltype(tables::kParasiteHashes), decltype(tables::kGoodHashes1),
                     decltype(tables::kGoodHashes2), decltype(tables::kGoodHashes3)>);

template <typename... Arrays>
Values Join(const Arrays&... arrays) {
  Values out;
  (out.insert(out.end(), arrays.begin(), arrays.end()), ...);
  return out;
}

// Each table and each of its arrays, as the analyser loads them: the 16-bit items, then the 32-bit items.
const Values kA16 = Join(tables::kParasiteSizes16), kA32 = Join(tables::kParasiteSizes32), kA = Join(kA16, kA32);
const Values kB = Join(tables::kParasiteHashes);
const Values kC16 = Join(tables::kGoodSizes16), kC32 = Join(tables::kGoodSizes32), kC = Join(kC16, kC32);
const Values kD1 = Join(tables::kGoodHashes1), kD2 = Join(tables::kGoodHashes2), kD3 = Join(tables::kGoodHashes3);
const Values kD = Join(kD1, kD2, kD3);

struct Table {
  const char* name;
  Values shortItems;
  Values longItems;
  std::size_t count;
  std::size_t shortCount;
};
const std::vector<Table> kTables = {
    {"A parasite sizes", kA16, kA32, 261, 80},
    {"B parasite checksums", {}, kB, 385, 0},
    {"C good sizes", kC16, kC32, 733, 98},
    {"D good checksums", {}, kD, 1575, 0},
};

bool Holds(const Values& sorted, std::int64_t v) { return std::binary_search(sorted.begin(), sorted.end(), v); }

Values Shared(const Values& a, const Values& b) {
  Values out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

std::size_t CountIf(const Values& values, bool (*test)(std::int64_t)) {
  return static_cast<std::size_t>(std::count_if(values.begin(), values.end(), test));
}

TEST(KnownFileTables, EveryTableHoldsItsCountOfDistinctAscendingPositiveValues) {
  for (const Table& t : kTables) {
    const Values values = Join(t.shortItems, t.longItems);
    ASSERT_EQ(values.size(), t.count) << t.name;
    EXPECT_GT(values.front(), 0) << t.name;
    EXPECT_EQ(std::adjacent_find(values.begin(), values.end(), std::greater_equal<>()), values.end())
        << t.name << " is not strictly ascending";
  }
}

TEST(KnownFileTables, ValuesUpTo32767AreExactlyTheSixteenBitItems) {
  for (const Table& t : kTables) {
    EXPECT_EQ(t.shortItems.size(), t.shortCount) << t.name;
    ASSERT_FALSE(t.longItems.empty()) << t.name;
    EXPECT_GT(*std::min_element(t.longItems.begin(), t.longItems.end()), kShortMax) << t.name;
  }
}

TEST(KnownFileTables, EachTableAndEachChecksumRunStartsAndEndsWithItsKnownValues) {
  const struct { const char* name; const Values& values; Values first, last; } cases[] = {
      {"A", kA, {2048, 2560, 2645, 3072, 4096, 5120, 5632, 6144}, {581632, 587776, 616448, 635392, 637440, 668160}},
      {"A 16-bit", kA16, {2048}, {31232}},
      {"A 32-bit", kA32, {32892}, {668160}},
      {"B", kB, {522891, 4116460, 11757499, 12649235, 13084053, 14144318},
       {2104844698, 2107839065, 2109057513, 2138506532, 2144776197, 2147235512}},
      {"C", kC, {2295, 2397, 2858, 3584, 4096, 4272, 4608, 5120},
       {3784704, 3792896, 4657152, 5324560, 6369280, 8470528, 12598440, 13244072}},
      {"C 16-bit", kC16, {2295}, {31744}},
      {"C 32-bit", kC32, {32768}, {13244072}},
      {"D run 1", kD1, {228221}, {799120638}},
      {"D run 2", kD2, {800080493}, {1607827241}},
      {"D run 3", kD3, {1610894657}, {2147483647}},
  };
  for (const auto& c : cases) {
    ASSERT_GE(c.values.size(), c.first.size() + c.last.size()) << c.name;
    EXPECT_EQ(Values(c.values.begin(), c.values.begin() + c.first.size()), c.first) << c.name;
    EXPECT_EQ(Values(c.values.end() - c.last.size(), c.values.end()), c.last) << c.name;
  }
}

TEST(KnownFileTables, SizeTablesHoldTheirMixOfAlignedOddAndLargeSizes) {
  // multiplesOf4096: -1 where no count is kept.
  const struct { const char* name; const Values& values; std::size_t multiplesOf512; int multiplesOf4096;
                 std::size_t odd, aboveOneMiB; } cases[] = {{"A", kA, 97, -1, 78, 0}, {"C", kC, 361, 169, 153, 65}};
  for (const auto& c : cases) {
    ASSERT_FALSE(c.values.empty()) << c.name;
    EXPECT_EQ(CountIf(c.values, [](std::int64_t v) { return v % 512 == 0; }), c.multiplesOf512) << c.name;
    if (c.multiplesOf4096 >= 0) {
      EXPECT_EQ(CountIf(c.values, [](std::int64_t v) { return v % 4096 == 0; }),
                static_cast<std::size_t>(c.multiplesOf4096)) << c.name;
    }
    EXPECT_EQ(CountIf(c.values, [](std::int64_t v) { return v % 2 == 1; }), c.odd) << c.name;
    EXPECT_EQ(CountIf(c.values, [](std::int64_t v) { return v > kMiB; }), c.aboveOneMiB) << c.name;
  }
  EXPECT_LT(tables::kParasiteSizes32.back(), kMiB) << "every parasite size is below 1 MiB";
}

TEST(KnownFileTables, ParasiteAndGoodSizesShareExactlyFiftyNineMultiplesOf512) {
  const Values shared = Shared(kA, kC);
  ASSERT_EQ(shared.size(), 59u);
  EXPECT_EQ(shared.front(), 4096);
  EXPECT_EQ(shared.back(), 286720);
  EXPECT_EQ(CountIf(shared, [](std::int64_t v) { return v % 512 != 0; }), 0u);
  for (std::int64_t v : {4096, 5120, 16384, 65536, 286720}) EXPECT_TRUE(Holds(shared, v)) << v;
}

TEST(KnownFileTables, NoChecksumIsBothParasiteAndGood) {
  ASSERT_FALSE(kB.empty());
  ASSERT_FALSE(kD.empty());
  EXPECT_EQ(Shared(kB, kD), Values());
}

TEST(KnownFileTables, GoodChecksumsSpreadOverEveryEighthOfTheRange) {
  constexpr std::int64_t kEighth = (std::int64_t{1} << 31) / 8;
  std::vector<int> perEighth(8, 0);
  for (std::int64_t v : kD) ++perEighth.at(v / kEighth);
  EXPECT_THAT(perEighth, testing::Each(testing::AllOf(testing::Ge(180), testing::Le(205))));
}

TEST(KnownFileTables, GoodSizesHoldTheirBoundaryValuesAndNotTheirNeighbours) {
  const struct { std::int64_t size; bool held; } cases[] = {
      {2295, true}, {31744, true}, {32768, true}, {5324560, true}, {13244072, true},
      {0, false}, {2294, false}, {32767, false}, {13244073, false},
  };
  for (const auto& c : cases) EXPECT_EQ(Holds(kC, c.size), c.held) << c.size;
  EXPECT_TRUE(Holds(kC16, 31744)) << "31744 is a 16-bit item";
  EXPECT_TRUE(Holds(kC32, 32768)) << "32768 is a 32-bit item";
}

}  // namespace

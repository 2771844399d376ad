#pragma once
// The checksum's forms against the plain loop, exact to the bit, with the number of blocks each vector
// form took from its vector passes. Included once by the native tests and once by the Wine tests, so
// that both compilers' code is proven.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "inspection/Checksum31.h"
#include "inspection/Hashier.h"
#include "tests/native/Checksum31Data.h"

namespace checksum31_test {

using Form = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t, inspection::Checksum31Blocks*) noexcept;
struct NamedForm {
  const char* name;
  Form form;
};

// Every vector form this CPU runs, each called by name, and the one the program calls.
inline std::vector<NamedForm> Forms() {
  std::vector<NamedForm> forms = {{"SSE2", inspection::Checksum31Sse2}, {"fastest", inspection::Checksum31Fast}};
  if (inspection::Checksum31HasAvx2()) {
    forms.push_back({"AVX2", inspection::Checksum31Avx2});
  } else {
    std::printf("This CPU has no AVX2: the AVX2 form is not tested.\n");
  }
  if (inspection::Checksum31HasAvx512()) {
    forms.push_back({"AVX-512", inspection::Checksum31Avx512});
  } else {
    std::printf("This CPU has no AVX-512: the AVX-512 form is not tested.\n");
  }
  return forms;
}

// Each form on `size` bytes at `data` from `h`: the plain loop's value, and the expected block counts.
inline void ExpectAllFormsAgree(std::uint32_t h, const std::uint8_t* data, std::size_t size, const std::string& what) {
  const std::uint32_t plain = inspection::Checksum31Plain(h, data, size);
  const inspection::Checksum31Blocks expected = ExpectedBlocks(h, data, size);
  for (const NamedForm& form : Forms()) {
    inspection::Checksum31Blocks blocks;
    EXPECT_EQ(form.form(h, data, size, &blocks), plain) << form.name << ", " << what;
    EXPECT_EQ(blocks.vector, expected.vector) << form.name << ", " << what;
    EXPECT_EQ(blocks.redone, expected.redone) << form.name << ", " << what;
  }
}
inline void ExpectAllFormsAgree(const Builder& built, const std::string& what) {
  ExpectAllFormsAgree(0, built.bytes().data(), built.size(), what);
}

TEST(Checksum31Forms, MatchTheWorkedValues) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint32_t expected;
  };
  const std::vector<Row> rows = {
      {"a", {0x61}, 97},
      {"ab", {0x61, 0x62}, 1073741970},
      {"abc", {0x61, 0x62, 0x63}, 536871084},
      {"31 x FF", std::vector<std::uint8_t>(31, 0xFF), 2147483647},
      {"32 x FF", std::vector<std::uint8_t>(32, 0xFF), 2147483647},
      {"40 x FF", std::vector<std::uint8_t>(40, 0xFF), 2147483647},
      {"three blocks of FF", std::vector<std::uint8_t>(3 * kChecksum31BlockBytes, 0xFF), 2147483647},
      {"three blocks of zeros", std::vector<std::uint8_t>(3 * kChecksum31BlockBytes, 0), 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(inspection::Checksum31Plain(0, row.bytes.data(), row.bytes.size()), row.expected) << row.name;
    EXPECT_EQ(inspection::Checksum31(row.bytes.data(), row.bytes.size()), static_cast<std::int32_t>(row.expected)) << row.name;
    ExpectAllFormsAgree(0, row.bytes.data(), row.bytes.size(), row.name);
  }
}

// Inputs too short for a short block go through the plain loop alone.
TEST(Checksum31Forms, AgreeOnEveryShortLength) {
  std::mt19937 random(11);
  std::vector<std::uint8_t> randomBytes(300), mixed(300);
  for (auto& b : randomBytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t i = 0; i < mixed.size(); ++i) mixed[i] = i % 7 < 4 ? 0xFF : static_cast<std::uint8_t>(random() % 3);
  std::vector<std::uint8_t> ff(300, 0xFF), zeros(300, 0);
  for (const auto* bytes : {&randomBytes, &ff, &zeros, &mixed}) {
    for (std::size_t length = 0; length <= 300; ++length) {
      ExpectAllFormsAgree(0, bytes->data(), length, "length " + std::to_string(length));
    }
  }
}

// Whole blocks, whole lanes and a byte more or less, at every alignment of the first byte.
TEST(Checksum31Forms, AgreeAroundBlockAndLaneSizes) {
  std::mt19937 random(12);
  std::vector<std::uint8_t> bytes(3 * kChecksum31BlockBytes + 2 * kChecksum31LaneBytes + 64);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t blocks = 0; blocks <= 3; ++blocks) {
    for (std::size_t lanes : {0u, 1u, 2u, 31u}) {
      for (int extra = -1; extra <= 1; ++extra) {
        const std::size_t length = blocks * kChecksum31BlockBytes + lanes * kChecksum31LaneBytes + extra;
        if (length > bytes.size() - 32 || (blocks == 0 && lanes == 0 && extra < 0)) continue;
        for (std::size_t offset : {0u, 1u, 3u, 31u}) {
          ExpectAllFormsAgree(0, bytes.data() + offset, length,
                              "length " + std::to_string(length) + " at offset " + std::to_string(offset));
        }
      }
    }
  }
  ExpectAllFormsAgree(0, bytes.data(), 3 * kChecksum31BlockBytes, "three blocks");
  EXPECT_EQ(ExpectedBlocks(0, bytes.data(), 3 * kChecksum31BlockBytes).vector, 3u) << "random bytes drop no step here";
}

// Every length up to a few short lanes past the first short block, and a few lengths on either side of
// each step of the short lane up to a whole block and past it (the rest after a whole block), on bytes
// of four kinds: random (also one byte off the alignment), 0xFF, zeros, and mostly high with small ones
// between (h near the top, steps dropped).
TEST(Checksum31Forms, AgreeOnLengthsAroundEveryShortLane) {
  const std::size_t lanes = inspection::kChecksum31Lanes, step = inspection::kChecksum31ShortLaneStep;
  std::vector<std::size_t> lengths;
  for (std::size_t length = 0; length <= lanes * (inspection::kChecksum31ShortLaneMin + 4 * step); ++length) {
    lengths.push_back(length);
  }
  for (std::size_t whole : {std::size_t{0}, kChecksum31BlockBytes}) {
    for (std::size_t lane = inspection::kChecksum31ShortLaneMin; lane <= kChecksum31LaneBytes; lane += step) {
      for (std::size_t extra : {0u, 1u, 15u, 256u}) {
        for (int before : {0, 1}) {
          const std::size_t length = whole + lanes * lane + extra - before;
          if (length > whole) lengths.push_back(length);
        }
      }
    }
  }
  ASSERT_EQ(inspection::Checksum31ShortLaneBytes(lanes * inspection::kChecksum31ShortLaneMin - 1), 0u);
  ASSERT_EQ(inspection::Checksum31ShortLaneBytes(kChecksum31BlockBytes - 1), kChecksum31LaneBytes - step);

  std::size_t withShortBlock = 0;
  for (std::size_t length : lengths) withShortBlock += inspection::Checksum31ShortLaneBytes(length % kChecksum31BlockBytes) != 0;
  EXPECT_GT(withShortBlock, lengths.size() / 2);

  std::mt19937 random(17);
  const std::size_t size = 2 * kChecksum31BlockBytes + 512;
  std::vector<std::uint8_t> randomBytes(size), ff(size, 0xFF), zeros(size, 0), high(size);
  for (auto& b : randomBytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t i = 0; i < size; ++i) high[i] = i % 9 < 7 ? 0xF0 | static_cast<std::uint8_t>(random()) : static_cast<std::uint8_t>(random() % 4);
  const std::pair<const char*, const std::uint8_t*> kinds[] = {
      {"random", randomBytes.data()}, {"random, one byte on", randomBytes.data() + 1}, {"0xFF", ff.data()},
      {"zeros", zeros.data()}, {"high", high.data()}};
  for (const auto& [kind, bytes] : kinds) {
    for (std::size_t length : lengths) ExpectAllFormsAgree(0, bytes, length, std::string(kind) + ", length " + std::to_string(length));
  }
}

// h steered (31 bytes of 0 and 1 reach any value) to where steps are dropped or reach the top, in the
// first, a middle and the last lane of a block, at lane and block boundaries.
TEST(Checksum31Forms, FollowSteeredDropsAndTheTop) {
  const std::size_t lane = kChecksum31LaneBytes, block = kChecksum31BlockBytes, never = Builder::kNever;
  // From `nearTop` a step with a byte above 5 is dropped; a zero byte then takes h away from the top.
  const std::uint32_t nearTop = kChecksum31Top - 10;
  const std::vector<std::uint8_t> drop = {0, 200, 0};
  const std::vector<std::uint8_t> dropRun = {0, 200, 100, 50, 11, 6, 13, 200, 200, 200, 255, 200, 200, 200, 200, 0};
  // From `belowTop` a step with the byte 1 reaches the top.
  const std::uint32_t belowTop = Before(kChecksum31Top, 1);
  std::vector<std::uint8_t> topThenZeros(block - 4 * lane + 1, 0);
  topThenZeros[0] = 1;
  struct Row {
    const char* name;
    std::size_t at;  // h is steered to `value` after this many bytes, then `then` follows
    std::uint32_t value;
    std::vector<std::uint8_t> then;
    std::size_t dropped;  // steps dropped, before the top when h reaches it
    std::size_t top;      // the byte with which h reaches the top
  };
  const std::vector<Row> rows = {
      {"a dropped step at the start of a block", block - 1, Before(nearTop, 0), drop, 1, never},
      {"a dropped step at the start of lane 1", block + lane - 1, Before(nearTop, 0), drop, 1, never},
      {"a dropped step at the end of lane 0", block + lane - 2, Before(nearTop, 0), drop, 1, never},
      {"a dropped step in lane 17", block + 17 * lane + 500, Before(nearTop, 0), drop, 1, never},
      {"a dropped step at the end of the last lane", 2 * block - 2, Before(nearTop, 0), drop, 1, never},
      {"a dropped step at the end of the first block", block - 2, Before(nearTop, 0), drop, 1, never},
      {"a run of dropped steps across lanes 5 and 6", block + 6 * lane - 8, Before(nearTop, 0), dropRun, 14, never},
      {"the top reached in lane 9", block + 9 * lane + 100, belowTop, {1, 0, 0, 5}, 0, block + 9 * lane + 100},
      {"the top reached at the end of lane 3", block + 4 * lane - 1, belowTop, {1, 0, 0}, 0, block + 4 * lane - 1},
      {"the top reached at the end of lane 3, zeros to the block's end", block + 4 * lane - 1, belowTop,
       topThenZeros, 0, block + 4 * lane - 1},
      {"the top reached at the end of the last lane", 2 * block - 1, belowTop, {1}, 0, 2 * block - 1},
      {"the top reached at the end of the first block, zeros after", block - 1, belowTop, {1, 0, 0}, 0, block - 1},
      {"just below the top at a lane boundary", block + 8 * lane, kChecksum31Top - 1, {}, 0, never},
      {"just below the top at a block boundary", 2 * block, kChecksum31Top - 1, {}, 0, never},
      {"255 below the top at a lane boundary", block + 30 * lane, kChecksum31Top - 255, {}, 0, never},
      // Odd values near the top rotate to values nearer still: M-256, M-128, ..., M-1.
      {"256 below the top at the last lane, a step dropped from there", block + 31 * lane, kChecksum31Top - 256,
       {200, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, never},
      {"1 at a lane boundary", block + 2 * lane, 1, {}, 0, never},
  };
  for (const Row& row : rows) {
    std::mt19937 random(13);
    Builder built;
    ASSERT_TRUE(built.RandomThenSteer(row.at - 31, row.value, random)) << row.name;
    for (std::uint8_t b : row.then) built.Add(b);
    built.AddRandom(3 * block + 100 - built.size(), random);
    ASSERT_EQ(built.top(), row.top) << row.name;
    std::size_t dropped = 0;
    for (std::size_t at : built.dropped()) dropped += at < row.top;
    ASSERT_EQ(dropped, row.dropped) << row.name;
    ExpectAllFormsAgree(built, row.name);
  }
}

// The same in the short block after a whole block: lanes of 144 bytes, 392 bytes for the plain loop.
TEST(Checksum31Forms, FollowSteeredDropsAndTheTopInTheShortBlock) {
  const std::size_t block = kChecksum31BlockBytes, never = Builder::kNever, length = block + 5000;
  const std::size_t lane = inspection::Checksum31ShortLaneBytes(5000);
  ASSERT_EQ(lane, 144u);
  const std::uint32_t nearTop = kChecksum31Top - 10, belowTop = Before(kChecksum31Top, 1);
  const std::vector<std::uint8_t> drop = {0, 200, 0};
  struct Row {
    const char* name;
    std::size_t at;  // h is steered to `value` after this many bytes, then `then` follows
    std::uint32_t value;
    std::vector<std::uint8_t> then;
    std::size_t dropped;
    std::size_t top;
  };
  const std::vector<Row> rows = {
      {"a dropped step at the start of the short block", block - 1, Before(nearTop, 0), drop, 1, never},
      {"a dropped step at the end of short lane 0", block + lane - 2, Before(nearTop, 0), drop, 1, never},
      {"a dropped step in short lane 17", block + 17 * lane + 50, Before(nearTop, 0), drop, 1, never},
      {"a dropped step at the end of the last short lane", block + 32 * lane - 2, Before(nearTop, 0), drop, 1, never},
      {"a dropped step just after the short block", block + 32 * lane, Before(nearTop, 0), drop, 1, never},
      {"the top reached at the end of short lane 3", block + 4 * lane - 1, belowTop, {1, 0, 0}, 0, block + 4 * lane - 1},
      {"the top reached at the end of the last short lane", block + 32 * lane - 1, belowTop, {1}, 0, block + 32 * lane - 1},
      {"just below the top at a short lane boundary", block + 9 * lane, kChecksum31Top - 1, {}, 0, never},
      {"256 below the top at the last short lane, a step dropped from there", block + 31 * lane, kChecksum31Top - 256,
       {200, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, never},
  };
  for (const Row& row : rows) {
    std::mt19937 random(18);
    Builder built;
    ASSERT_TRUE(built.RandomThenSteer(row.at - 31, row.value, random)) << row.name;
    for (std::uint8_t b : row.then) built.Add(b);
    built.AddRandom(length - built.size(), random);
    ASSERT_EQ(built.top(), row.top) << row.name;
    std::size_t dropped = 0;
    for (std::size_t at : built.dropped()) dropped += at < row.top;
    ASSERT_EQ(dropped, row.dropped) << row.name;
    ExpectAllFormsAgree(built, row.name);
  }
}

TEST(Checksum31Forms, ContinueFromChosenStates) {
  std::mt19937 random(14);
  std::vector<std::uint8_t> bytes(3 * kChecksum31BlockBytes + 777);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::uint32_t start : {0u, 1u, 2u, 0x40000000u, 0x12345678u, kChecksum31Top - 256, kChecksum31Top - 1, kChecksum31Top}) {
    ExpectAllFormsAgree(start, bytes.data(), bytes.size(), "from " + std::to_string(start));
  }
  // A checksum taken in two parts, cut anywhere, is the checksum of the whole.
  const std::uint32_t whole = inspection::Checksum31Plain(0, bytes.data(), bytes.size());
  for (std::size_t cut : {std::size_t{1}, kChecksum31LaneBytes, kChecksum31BlockBytes - 1, kChecksum31BlockBytes + 5, bytes.size() - 1}) {
    for (const NamedForm& form : Forms()) {
      const std::uint32_t first = form.form(0, bytes.data(), cut, nullptr);
      EXPECT_EQ(form.form(first, bytes.data() + cut, bytes.size() - cut, nullptr), whole) << form.name << ", cut at " << cut;
    }
  }
}

// Lengths, alignments, start states and kinds of bytes drawn at random: evenly spread bytes, bytes
// mostly high (h near the top, dropped steps), runs of one value, mostly zeros.
TEST(Checksum31Forms, AgreeOnThousandsOfRandomBuffers) {
  std::mt19937 random(15);
  std::vector<std::uint8_t> bytes(3 * kChecksum31BlockBytes + 64);
  std::size_t withDrops = 0, vectorBlocks = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = round % 10 == 0 ? random() % (3 * kChecksum31BlockBytes) : random() % 2000;
    const std::size_t offset = random() % 32;
    const int kind = static_cast<int>(random() % 4);
    std::uint8_t run = 0;
    for (std::size_t i = 0; i < length + offset; ++i) {
      if (random() % 64 == 0) run = static_cast<std::uint8_t>(random());
      const std::uint8_t any = static_cast<std::uint8_t>(random());
      bytes[i] = kind == 0 ? any : kind == 1 ? (random() % 16 ? 0xF0 | any : any) : kind == 2 ? run : (random() % 8 ? 0 : any);
    }
    const std::uint32_t start = random() % 4 == 0 ? 0 : random() & kChecksum31Top;
    const inspection::Checksum31Blocks expected = ExpectedBlocks(start, bytes.data() + offset, length);
    withDrops += expected.redone;
    vectorBlocks += expected.vector;
    ExpectAllFormsAgree(start, bytes.data() + offset, length, "round " + std::to_string(round));
  }
  EXPECT_GT(withDrops, 0u) << "some buffers drop steps inside whole blocks";
  EXPECT_GT(vectorBlocks, 100u) << "and most blocks are clean";
}

// The vector passes, not the plain loop, give the checksum of clean blocks.
TEST(Checksum31Forms, TakeEveryCleanBlockFromTheVectorPasses) {
  std::mt19937 random(16);
  Builder built;
  built.AddRandom(8 * kChecksum31BlockBytes + 1000, random);
  ASSERT_TRUE(built.dropped().empty());
  for (const NamedForm& form : Forms()) {
    inspection::Checksum31Blocks blocks;
    EXPECT_EQ(form.form(0, built.bytes().data(), built.size(), &blocks), built.h()) << form.name;
    EXPECT_EQ(blocks.vector, 8u) << form.name;
    EXPECT_EQ(blocks.redone, 0u) << form.name;
  }
}

}  // namespace checksum31_test

#pragma once
// Data for the 31-bit checksum's tests and benchmarks: the checksum step by step as it is defined, and a
// builder of byte strings that puts h where a test wants it.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "inspection/Checksum31.h"

namespace checksum31_test {

using inspection::kChecksum31BlockBytes;
using inspection::kChecksum31LaneBytes;
using inspection::kChecksum31Top;

// One step in wide arithmetic, as defined: false when the step is dropped.
inline bool Step(std::uint32_t& h, std::uint8_t b) {
  const std::uint64_t t = h / 2 + (h % 2) * 1073741824ull + b;
  if (t > kChecksum31Top) return false;
  h = static_cast<std::uint32_t>(t);
  return true;
}

// Whether the vector forms take a block of `lanes` lanes of `laneBytes` at `data` from their vector
// passes: none of its steps is dropped and none of its lanes but the last ends on the top (whose other
// name modulo 2^31-1 is 0, so the next lane's start does not match it). Moves h over the block.
inline bool CleanBlock(std::uint32_t& h, const std::uint8_t* data, std::size_t laneBytes) {
  bool clean = true;
  const std::size_t bytes = inspection::kChecksum31Lanes * laneBytes;
  for (std::size_t i = 0; i < bytes; ++i) {
    clean = Step(h, data[i]) && clean;
    const bool laneEnd = (i + 1) % laneBytes == 0 && i + 1 < bytes;
    if (laneEnd && h == kChecksum31Top) clean = false;
  }
  return clean;
}

// What the vector forms are to report for `size` bytes from `h`: each whole block, then the short block
// of what is left, taken from the vector passes or redone as CleanBlock says; blocks after h reached the
// top are not run.
inline inspection::Checksum31Blocks ExpectedBlocks(std::uint32_t h, const std::uint8_t* data, std::size_t size) {
  inspection::Checksum31Blocks blocks;
  std::size_t at = 0;
  for (; at + kChecksum31BlockBytes <= size && h != kChecksum31Top; at += kChecksum31BlockBytes) {
    ++(CleanBlock(h, data + at, kChecksum31LaneBytes) ? blocks.vector : blocks.redone);
  }
  const std::size_t shortLane = inspection::Checksum31ShortLaneBytes(size % kChecksum31BlockBytes);
  if (at + kChecksum31BlockBytes > size && shortLane != 0 && h != kChecksum31Top) {
    ++(CleanBlock(h, data + at, shortLane) ? blocks.vector : blocks.redone);
  }
  return blocks;
}

// Bytes with h followed along: where each step was dropped, and what h is after them.
class Builder {
 public:
  explicit Builder(std::uint32_t start = 0) : h_(start) {}

  void Add(std::uint8_t b) {
    if (!Step(h_, b)) dropped_.push_back(bytes_.size());
    if (h_ == kChecksum31Top && top_ == kNever) top_ = bytes_.size();
    bytes_.push_back(b);
  }
  void Add(std::size_t count, std::uint8_t b) {
    for (std::size_t i = 0; i < count; ++i) Add(b);
  }
  void AddRandom(std::size_t count, std::mt19937& random) {
    for (std::size_t i = 0; i < count; ++i) Add(static_cast<std::uint8_t>(random()));
  }
  // Random bytes up to `length` bytes in all, then 31 steering bytes, so that h is `to` after `length`
  // + 31 bytes.
  bool RandomThenSteer(std::size_t length, std::uint32_t to, std::mt19937& random) {
    AddRandom(length - bytes_.size(), random);
    return SteerTo(to);
  }
  // 31 bytes of 0 and 1 that take h to `to` (1..2^31-2). After them h is h + sum(c_i * 2^((i+1) mod 31))
  // modulo 2^31-1, no step dropped as long as h does not pass through the top on the way. False when h
  // is not `to` afterwards (h was at the top, or passed through it).
  bool SteerTo(std::uint32_t to) {
    const std::uint32_t distance = (to + kChecksum31Top - h_ % kChecksum31Top) % kChecksum31Top;
    for (int i = 0; i < 31; ++i) Add(static_cast<std::uint8_t>(distance >> ((i + 1) % 31) & 1));
    return h_ == to;
  }

  std::uint32_t h() const { return h_; }
  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  // Where steps were dropped.
  const std::vector<std::size_t>& dropped() const { return dropped_; }
  // The byte with which h reached the top, or kNever.
  static constexpr std::size_t kNever = ~std::size_t{0};
  std::size_t top() const { return top_; }

 private:
  std::uint32_t h_;
  std::size_t top_ = kNever;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> dropped_;
};

// The h from which one step with byte `b` gives `t` (the step must not be dropped: t >= b).
inline std::uint32_t Before(std::uint32_t t, std::uint8_t b) {
  const std::uint32_t rotated = t - b;  // rotated left by one bit within 31 bits
  return ((rotated << 1) | (rotated >> 30)) & kChecksum31Top;
}

}  // namespace checksum31_test

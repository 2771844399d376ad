#include "inspection/Checksum31.h"

namespace inspection {

std::uint32_t Checksum31Plain(std::uint32_t h, const std::uint8_t* data, std::size_t size) noexcept {
  // h stays within 0..2^31-1, so the rotated value plus a byte fits in 32 bits unsigned, and bit 31 of
  // the sum says whether the step leaves the 31-bit range. A step is dropped only near the top of the
  // range, so the inner loop runs the common case without a select and leaves it for each dropped step:
  // one rotate-and-add of latency per byte.
  std::size_t i = 0;
  while (i < size) {
    for (; i < size; ++i) {
      const std::uint32_t t = (h >> 1) + ((h << 30) & 0x40000000u) + data[i];
      if (t > kChecksum31Top) break;
      h = t;
    }
    if (h == kChecksum31Top) break;  // no later step leaves the top
    ++i;                             // the dropped step (or past the end)
  }
  return h;
}

namespace checksum31_detail {
namespace {

// The representative in 0..2^31-2 of x modulo 2^31-1.
std::uint32_t Reduce(std::uint64_t x) {
  x = (x & kChecksum31Top) + (x >> 31);
  x = (x & kChecksum31Top) + (x >> 31);
  if (x >= kChecksum31Top) x -= kChecksum31Top;
  return static_cast<std::uint32_t>(x);
}

// x times 2^k modulo 2^31-1, for x below 2^31-1 and k from 0 to 30: x rotated left by k within 31 bits.
std::uint32_t TimesPowerOfTwo(std::uint32_t x, unsigned k) {
  return k == 0 ? x : ((x << k) | (x >> (31 - k))) & kChecksum31Top;
}

// One block of lanes of `laneBytes`: h after it, exact to the bit.
std::uint32_t RunBlock(std::uint32_t h, const std::uint8_t* block, std::size_t laneBytes, const std::uint8_t* next,
                       const Passes& passes, Checksum31Blocks* blocks) {
  std::uint64_t sums[kChecksum31Lanes];
  std::uint32_t starts[kChecksum31Lanes], ends[kChecksum31Lanes], seen[kChecksum31Lanes];
  passes.laneSums(block, laneBytes, sums);
  // A run of n bytes with no dropped step takes h to h*2^-n + sum(b_i * 2^-(n-1-i)) modulo 2^31-1, that
  // is (h + 2 * sums[j]) * 2^-n, and 2^-n is 2^k with k = -n modulo 31 (0 for a whole lane of 992 bytes,
  // a multiple of 31). The true value can differ from this start only where a step was dropped or h met
  // 2^31-1 (the other name of 0): the second pass finds both.
  const unsigned k = static_cast<unsigned>((31 - laneBytes % 31) % 31);
  starts[0] = h;
  for (std::size_t j = 0; j + 1 < kChecksum31Lanes; ++j) {
    starts[j + 1] = TimesPowerOfTwo(Reduce(starts[j] + 2 * sums[j]), k);
  }
  passes.runLanes(block, laneBytes, starts, ends, seen, next);

  // Lane 0 starts from the true h. A lane that starts from the true value and drops no step ends on the
  // true value; when that end is the next lane's start, the next lane starts from the true value too.
  for (std::size_t j = 0; j < kChecksum31Lanes; ++j) {
    std::size_t redoFrom = kChecksum31Lanes;
    std::uint32_t redoStart = 0;
    if (seen[j] & 0x80000000u) {
      redoFrom = j;
      redoStart = starts[j];
    } else if (j + 1 < kChecksum31Lanes && ends[j] != starts[j + 1]) {
      redoFrom = j + 1;
      redoStart = ends[j];
    }
    if (redoFrom < kChecksum31Lanes) {
      if (blocks) ++blocks->redone;
      const std::size_t offset = redoFrom * laneBytes;
      return Checksum31Plain(redoStart, block + offset, kChecksum31Lanes * laneBytes - offset);
    }
  }
  if (blocks) ++blocks->vector;
  return ends[kChecksum31Lanes - 1];
}

}  // namespace

std::uint32_t RunBlocks(std::uint32_t h, const std::uint8_t* data, std::size_t size, const Passes& passes,
                        const Passes& shortPasses, Checksum31Blocks* blocks) noexcept {
  for (; size >= kChecksum31BlockBytes; data += kChecksum31BlockBytes, size -= kChecksum31BlockBytes) {
    if (h == kChecksum31Top) return h;
    const std::uint8_t* next = size >= 2 * kChecksum31BlockBytes ? data + kChecksum31BlockBytes : nullptr;
    h = RunBlock(h, data, kChecksum31LaneBytes, next, passes, blocks);
  }
  const std::size_t shortLane = Checksum31ShortLaneBytes(size);
  if (shortLane != 0 && h != kChecksum31Top) {
    h = RunBlock(h, data, shortLane, nullptr, shortPasses, blocks);
    data += kChecksum31Lanes * shortLane;
    size -= kChecksum31Lanes * shortLane;
  }
  return Checksum31Plain(h, data, size);
}

}  // namespace checksum31_detail

std::uint32_t Checksum31Sse2(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                             Checksum31Blocks* blocks) noexcept {
  return checksum31_detail::RunBlocks(h, data, size, checksum31_detail::Sse2Passes(), checksum31_detail::Sse2ShortPasses(),
                                      blocks);
}

std::uint32_t Checksum31Avx2(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                             Checksum31Blocks* blocks) noexcept {
  return checksum31_detail::RunBlocks(h, data, size, checksum31_detail::Avx2Passes(), checksum31_detail::Avx2ShortPasses(),
                                      blocks);
}

std::uint32_t Checksum31Avx512(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                               Checksum31Blocks* blocks) noexcept {
  return checksum31_detail::RunBlocks(h, data, size, checksum31_detail::Avx512Passes(),
                                      checksum31_detail::Avx512ShortPasses(), blocks);
}

bool Checksum31HasAvx2() noexcept {
  // The compiler's own check asks the CPU for AVX2 and the system for the saved YMM state.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool Checksum31HasAvx512() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

std::uint32_t Checksum31Fast(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                             Checksum31Blocks* blocks) noexcept {
  using Form = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t, Checksum31Blocks*) noexcept;
  static const Form fastest = Checksum31HasAvx512() ? Checksum31Avx512
                              : Checksum31HasAvx2() ? Checksum31Avx2
                                                    : Checksum31Sse2;
  return fastest(h, data, size, blocks);
}

}  // namespace inspection

// The checksum's SSE2 form. SSE2 is part of every x86-64 CPU.
#include <emmintrin.h>

#include "inspection/Checksum31.h"

namespace inspection {
namespace {

constexpr std::size_t kLane = kChecksum31LaneBytes;

// Before byte q of a load of 32 bytes at `m`: 0 where q < 32 - m, 0xFF from there on.
alignas(64) constexpr std::uint8_t kLastBytes[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

// 2^((e + m) mod 31) in the even 32-bit elements, for exponents e0 and e1 (30 standing for -1).
inline __m128i Powers(int e0, int e1, std::size_t m) {
  return _mm_setr_epi32(1 << ((e0 + m) % 31), 0, 1 << ((e1 + m) % 31), 0);
}

// Per lane of n bytes (n at least 32): the rows that a load of 32 bytes at 31 * r takes whole, where
// byte q of the load has weight 2^q (q = 31 belongs to the next row and weighs 0), and then the m bytes
// left (1 to 31) as the last 32 bytes of the lane, where byte q weighs 2^(q-1) times 2^m, for the m
// bytes that are the lane's last (the others are masked out). For a whole lane (992 bytes) that is 31
// rows and the last row at 960, of weight 2^(q-1). The bytes of equal weight are added as 16-bit words,
// even and odd bytes apart; then pairs of words are weighed into 32-bit sums that share one exponent,
// and those are multiplied out in 64 bits.
__attribute__((always_inline)) inline void LaneSumsOf(const std::uint8_t* block, std::size_t laneBytes,
                                                      std::uint64_t* sums) {
  const std::size_t rows = (laneBytes - 32) / 31 + 1;
  const std::size_t m = laneBytes - 31 * rows;
  const __m128i lowByte = _mm_set1_epi16(0x00FF);
  // Words 2n and 2n+1 into sum n, weighed relative to the exponent of sum n: 4n-1 for the first 16
  // bytes of a row, 15+4n for the second 16.
  const __m128i evenWeights = _mm_setr_epi16(2, 8, 2, 8, 2, 8, 2, 8);
  const __m128i oddWeights = _mm_setr_epi16(4, 16, 4, 16, 4, 16, 4, 16);
  const __m128i oddWeightsHigh = _mm_setr_epi16(4, 16, 4, 16, 4, 16, 4, 0);
  // The last bytes: the odd ones weigh what the even bytes of the rows weigh, the even ones half that.
  const __m128i lastEvenWeights = _mm_setr_epi16(0, 4, 1, 4, 1, 4, 1, 4);
  const __m128i lastEvenWeightsHigh = _mm_setr_epi16(1, 4, 1, 4, 1, 4, 1, 4);
  const __m128i lastMask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLastBytes + m));
  const __m128i lastMaskHigh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLastBytes + m + 16));
  // 2^(exponent) of sums 0 and 2, and of sums 1 and 3, for the rows and for the last bytes.
  const __m128i powersEven = Powers(30, 7, 0), powersOdd = Powers(3, 11, 0);
  const __m128i powersEvenHigh = Powers(15, 23, 0), powersOddHigh = Powers(19, 27, 0);
  const __m128i lastEven = Powers(30, 7, m), lastOdd = Powers(3, 11, m);
  const __m128i lastEvenHigh = Powers(15, 23, m), lastOddHigh = Powers(19, 27, m);
  const auto weigh = [](__m128i low, __m128i high, __m128i even, __m128i odd, __m128i evenHigh, __m128i oddHigh) {
    return _mm_add_epi64(
        _mm_add_epi64(_mm_mul_epu32(low, even), _mm_mul_epu32(_mm_srli_epi64(low, 32), odd)),
        _mm_add_epi64(_mm_mul_epu32(high, evenHigh), _mm_mul_epu32(_mm_srli_epi64(high, 32), oddHigh)));
  };

  for (std::size_t j = 0; j < kChecksum31Lanes; ++j) {
    const std::uint8_t* lane = block + j * laneBytes;
    __m128i even = _mm_setzero_si128(), odd = _mm_setzero_si128();
    __m128i evenHigh = _mm_setzero_si128(), oddHigh = _mm_setzero_si128();
    for (std::size_t r = 0; r < rows; ++r) {  // at most 31 x 255 per word
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + 31 * r));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + 31 * r + 16));
      even = _mm_add_epi16(even, _mm_and_si128(low, lowByte));
      odd = _mm_add_epi16(odd, _mm_srli_epi16(low, 8));
      evenHigh = _mm_add_epi16(evenHigh, _mm_and_si128(high, lowByte));
      oddHigh = _mm_add_epi16(oddHigh, _mm_srli_epi16(high, 8));
    }
    const __m128i last = _mm_and_si128(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + laneBytes - 32)), lastMask);
    const __m128i lastHigh = _mm_and_si128(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + laneBytes - 16)), lastMaskHigh);
    const __m128i rowSums = _mm_add_epi32(_mm_madd_epi16(even, evenWeights), _mm_madd_epi16(odd, oddWeights));
    const __m128i rowSumsHigh =
        _mm_add_epi32(_mm_madd_epi16(evenHigh, evenWeights), _mm_madd_epi16(oddHigh, oddWeightsHigh));
    const __m128i lastSums = _mm_add_epi32(_mm_madd_epi16(_mm_srli_epi16(last, 8), evenWeights),
                                           _mm_madd_epi16(_mm_and_si128(last, lowByte), lastEvenWeights));
    const __m128i lastSumsHigh = _mm_add_epi32(_mm_madd_epi16(_mm_srli_epi16(lastHigh, 8), evenWeights),
                                               _mm_madd_epi16(_mm_and_si128(lastHigh, lowByte), lastEvenWeightsHigh));
    const __m128i total =
        _mm_add_epi64(weigh(rowSums, rowSumsHigh, powersEven, powersOdd, powersEvenHigh, powersOddHigh),
                      weigh(lastSums, lastSumsHigh, lastEven, lastOdd, lastEvenHigh, lastOddHigh));
    sums[j] = static_cast<std::uint64_t>(_mm_cvtsi128_si64(total)) +
              static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
  }
}

// One step in four lanes. The state y holds h with bit 0 repeated in bit 31, so that y >> 1 is h
// rotated within 31 bits. `seen` collects every sum: its bit 31 tells that a step left the range.
inline void Step(__m128i& y, __m128i& seen, __m128i bytes) {
  const __m128i t = _mm_add_epi32(_mm_srli_epi32(y, 1), bytes);
  seen = _mm_or_si128(seen, t);
  y = _mm_or_si128(t, _mm_slli_epi32(t, 31));
}

// 16 bytes of each of four lanes (`stride` apart) as four vectors: vector k holds bytes 4k..4k+3 of the
// four lanes, in lane order, stored at out + 64 * k.
inline void Transpose(const std::uint8_t* p, std::size_t stride, std::uint8_t* out) {
  const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + stride));
  const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * stride));
  const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * stride));
  const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
  const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(t0, t1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 64), _mm_unpackhi_epi64(t0, t1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 128), _mm_unpacklo_epi64(t2, t3));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 192), _mm_unpackhi_epi64(t2, t3));
}

// The lanes in two halves of 16, each as four vectors of four, 16 bytes of every lane at a time.
__attribute__((always_inline)) inline void RunLanesOf(const std::uint8_t* block, std::size_t laneBytes,
                                                      const std::uint32_t* starts, std::uint32_t* ends,
                                                      std::uint32_t* seen, const std::uint8_t* next) {
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const __m128i top = _mm_set1_epi32(static_cast<int>(kChecksum31Top));
  std::uint8_t columns[4 * 64];  // [4 byte columns][4 groups of lanes][16 bytes]
  for (std::size_t first = 0; first < kChecksum31Lanes; first += 16) {
    __m128i y[4], s[4];
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) {
      const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(starts + first + 4 * g));
      y[g] = _mm_or_si128(h, _mm_slli_epi32(h, 31));
      s[g] = _mm_setzero_si128();
    }
    for (std::size_t c = 0; c < laneBytes; c += 16) {
#pragma GCC unroll 8
      for (int g = 0; g < 4; ++g) Transpose(block + (first + 4 * g) * laneBytes + c, laneBytes, columns + 16 * g);
      checksum31_detail::PrefetchPart(next, (first * kLane / 16 + c) / 16, 2 * kLane / 16);
      for (int k = 0; k < 4; ++k) {
        __m128i x[4];
#pragma GCC unroll 8
        for (int g = 0; g < 4; ++g) x[g] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + 64 * k + 16 * g));
#pragma GCC unroll 8
        for (int b = 0; b < 3; ++b) {
#pragma GCC unroll 8
          for (int g = 0; g < 4; ++g) Step(y[g], s[g], _mm_and_si128(x[g], lowByte));
#pragma GCC unroll 8
          for (int g = 0; g < 4; ++g) x[g] = _mm_srli_epi32(x[g], 8);
        }
#pragma GCC unroll 8
        for (int g = 0; g < 4; ++g) Step(y[g], s[g], x[g]);
      }
    }
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(ends + first + 4 * g), _mm_and_si128(y[g], top));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(seen + first + 4 * g), s[g]);
    }
  }
}

// Each pass as a function of its own for whole lanes, whose length the compiler knows, and one for the
// lanes of short blocks: in one function the two compile to slower code for the whole lanes.
template <std::size_t kLaneBytes>
void LaneSumsSse2(const std::uint8_t* block, std::size_t laneBytes, std::uint64_t* sums) {
  LaneSumsOf(block, kLaneBytes ? kLaneBytes : laneBytes, sums);
}
template <std::size_t kLaneBytes>
void RunLanesSse2(const std::uint8_t* block, std::size_t laneBytes, const std::uint32_t* starts, std::uint32_t* ends,
                  std::uint32_t* seen, const std::uint8_t* next) {
  RunLanesOf(block, kLaneBytes ? kLaneBytes : laneBytes, starts, ends, seen, next);
}

}  // namespace

const checksum31_detail::Passes& checksum31_detail::Sse2Passes() noexcept {
  static constexpr Passes kPasses{LaneSumsSse2<kLane>, RunLanesSse2<kLane>};
  return kPasses;
}

const checksum31_detail::Passes& checksum31_detail::Sse2ShortPasses() noexcept {
  static constexpr Passes kPasses{LaneSumsSse2<0>, RunLanesSse2<0>};
  return kPasses;
}

}  // namespace inspection

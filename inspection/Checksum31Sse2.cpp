// The checksum's SSE2 form. SSE2 is part of every x86-64 CPU.
#include <emmintrin.h>

#include "inspection/Checksum31.h"

namespace inspection {
namespace {

constexpr std::size_t kLane = kChecksum31LaneBytes;

// Per lane, in 32 loads of 32 bytes: rows 0..30 at 31 * r, where byte q of the load has weight 2^q
// (q = 31 belongs to the next row and weighs 0), and the last row at 960, where byte q has weight
// 2^(q-1) (q = 0 belongs to row 30 and weighs 0). The bytes of equal weight are added as 16-bit words,
// even and odd bytes apart; then pairs of words are weighed into 32-bit sums that share one exponent,
// and those are multiplied out in 64 bits.
void LaneSumsSse2(const std::uint8_t* block, std::uint64_t* sums) {
  const __m128i lowByte = _mm_set1_epi16(0x00FF);
  // Words 2n and 2n+1 into sum n, weighed relative to the exponent of sum n: 4n-1 for the first 16
  // bytes of a row, 15+4n for the second 16.
  const __m128i evenWeights = _mm_setr_epi16(2, 8, 2, 8, 2, 8, 2, 8);
  const __m128i oddWeights = _mm_setr_epi16(4, 16, 4, 16, 4, 16, 4, 16);
  const __m128i oddWeightsHigh = _mm_setr_epi16(4, 16, 4, 16, 4, 16, 4, 0);
  const __m128i lastEvenWeights = _mm_setr_epi16(0, 4, 1, 4, 1, 4, 1, 4);
  const __m128i lastEvenWeightsHigh = _mm_setr_epi16(1, 4, 1, 4, 1, 4, 1, 4);
  // 2^(exponent) of sums 0 and 2, and of sums 1 and 3 (30 standing for -1).
  const __m128i powersEven = _mm_setr_epi32(1 << 30, 0, 1 << 7, 0);
  const __m128i powersOdd = _mm_setr_epi32(1 << 3, 0, 1 << 11, 0);
  const __m128i powersEvenHigh = _mm_setr_epi32(1 << 15, 0, 1 << 23, 0);
  const __m128i powersOddHigh = _mm_setr_epi32(1 << 19, 0, 1 << 27, 0);

  for (std::size_t j = 0; j < kChecksum31Lanes; ++j) {
    const std::uint8_t* lane = block + j * kLane;
    __m128i even = _mm_setzero_si128(), odd = _mm_setzero_si128();
    __m128i evenHigh = _mm_setzero_si128(), oddHigh = _mm_setzero_si128();
    for (std::size_t r = 0; r < 31; ++r) {  // at most 31 x 255 per word
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + 31 * r));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + 31 * r + 16));
      even = _mm_add_epi16(even, _mm_and_si128(low, lowByte));
      odd = _mm_add_epi16(odd, _mm_srli_epi16(low, 8));
      evenHigh = _mm_add_epi16(evenHigh, _mm_and_si128(high, lowByte));
      oddHigh = _mm_add_epi16(oddHigh, _mm_srli_epi16(high, 8));
    }
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + 960));
    const __m128i lastHigh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + 976));
    // The odd bytes of the last row weigh what the even bytes of the other rows weigh.
    even = _mm_add_epi16(even, _mm_srli_epi16(last, 8));
    evenHigh = _mm_add_epi16(evenHigh, _mm_srli_epi16(lastHigh, 8));
    const __m128i sumsLow = _mm_add_epi32(
        _mm_add_epi32(_mm_madd_epi16(even, evenWeights), _mm_madd_epi16(odd, oddWeights)),
        _mm_madd_epi16(_mm_and_si128(last, lowByte), lastEvenWeights));
    const __m128i sumsHigh = _mm_add_epi32(
        _mm_add_epi32(_mm_madd_epi16(evenHigh, evenWeights), _mm_madd_epi16(oddHigh, oddWeightsHigh)),
        _mm_madd_epi16(_mm_and_si128(lastHigh, lowByte), lastEvenWeightsHigh));
    const __m128i total = _mm_add_epi64(
        _mm_add_epi64(_mm_mul_epu32(sumsLow, powersEven), _mm_mul_epu32(_mm_srli_epi64(sumsLow, 32), powersOdd)),
        _mm_add_epi64(_mm_mul_epu32(sumsHigh, powersEvenHigh),
                      _mm_mul_epu32(_mm_srli_epi64(sumsHigh, 32), powersOddHigh)));
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
void RunLanesSse2(const std::uint8_t* block, const std::uint32_t* starts, std::uint32_t* ends, std::uint32_t* seen,
                  const std::uint8_t* next) {
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
    for (std::size_t c = 0; c < kLane; c += 16) {
#pragma GCC unroll 8
      for (int g = 0; g < 4; ++g) Transpose(block + (first + 4 * g) * kLane + c, kLane, columns + 16 * g);
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

}  // namespace

const checksum31_detail::Passes& checksum31_detail::Sse2Passes() noexcept {
  static constexpr Passes kPasses{LaneSumsSse2, RunLanesSse2};
  return kPasses;
}

}  // namespace inspection

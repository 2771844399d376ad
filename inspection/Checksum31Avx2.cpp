// The checksum's AVX2 form. Only the functions between the target pragmas use AVX2, and only
// Checksum31Avx2 calls them, after the caller has checked the CPU: nothing here runs at start-up.
#include <immintrin.h>

#include "inspection/Checksum31.h"

namespace inspection {
namespace {

constexpr std::size_t kLane = kChecksum31LaneBytes;

#if defined(__clang__)  // the fuzzing build
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

// As LaneSumsSse2, with the bytes of a row weighed in pairs by vpmaddubsw: rows 0..30 at 31 * r, byte q
// of weight 2^q (q = 31 weighs 0), pairs (1, 2) at exponent 2m; the last row at 960, byte q of weight
// 2^(q-1) (q = 0 weighs 0), pairs (1, 2) at exponent 2m-1. Then word pairs into 32-bit sums n at exponent
// 4n-1, multiplied out in 64 bits.
void LaneSumsAvx2(const std::uint8_t* block, std::uint64_t* sums) {
  const __m256i rowWeights = _mm256_setr_epi8(1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2,  //
                                              1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 0);
  const __m256i lastWeights = _mm256_setr_epi8(0, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2,  //
                                               1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2);
  const __m256i rowPairs = _mm256_set1_epi32(2 | 8 << 16);
  const __m256i lastPairs = _mm256_set1_epi32(1 | 4 << 16);
  // 2^(4n-1 mod 31) for sums 0, 2, 4, 6 and for sums 1, 3, 5, 7.
  const __m256i powersEven = _mm256_setr_epi32(1 << 30, 0, 1 << 7, 0, 1 << 15, 0, 1 << 23, 0);
  const __m256i powersOdd = _mm256_setr_epi32(1 << 3, 0, 1 << 11, 0, 1 << 19, 0, 1 << 27, 0);

  for (std::size_t j = 0; j < kChecksum31Lanes; ++j) {
    const std::uint8_t* lane = block + j * kLane;
    __m256i rows = _mm256_setzero_si256();
    for (std::size_t r = 0; r < 31; ++r) {  // at most 31 x 765 per word
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane + 31 * r));
      rows = _mm256_add_epi16(rows, _mm256_maddubs_epi16(bytes, rowWeights));
    }
    const __m256i last = _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane + 960)), lastWeights);
    const __m256i pairs = _mm256_add_epi32(_mm256_madd_epi16(rows, rowPairs), _mm256_madd_epi16(last, lastPairs));
    const __m256i total = _mm256_add_epi64(_mm256_mul_epu32(pairs, powersEven),
                                           _mm256_mul_epu32(_mm256_srli_epi64(pairs, 32), powersOdd));
    const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
    sums[j] = static_cast<std::uint64_t>(_mm_cvtsi128_si64(half)) +
              static_cast<std::uint64_t>(_mm_extract_epi64(half, 1));
  }
}

// One step in eight lanes; y and seen as in the SSE2 form.
inline void Step(__m256i& y, __m256i& seen, __m256i bytes) {
  const __m256i t = _mm256_add_epi32(_mm256_srli_epi32(y, 1), bytes);
  seen = _mm256_or_si256(seen, t);
  y = _mm256_or_si256(t, _mm256_slli_epi32(t, 31));
}

// 16 bytes of each of eight lanes (`stride` apart) as four vectors: vector k holds bytes 4k..4k+3 of the
// eight lanes, in lane order, stored at out + 128 * k. Lanes 0-3 are loaded into the low 128-bit halves
// and lanes 4-7 into the high ones, so that the unpacks, which stay within the halves, finish the job.
inline __m256i Rows(const std::uint8_t* low, const std::uint8_t* high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}
inline void Transpose16(const std::uint8_t* p, std::size_t stride, std::uint8_t* out) {
  const __m256i r0 = Rows(p, p + 4 * stride), r1 = Rows(p + stride, p + 5 * stride);
  const __m256i r2 = Rows(p + 2 * stride, p + 6 * stride), r3 = Rows(p + 3 * stride, p + 7 * stride);
  const __m256i t0 = _mm256_unpacklo_epi32(r0, r1), t1 = _mm256_unpackhi_epi32(r0, r1);
  const __m256i t2 = _mm256_unpacklo_epi32(r2, r3), t3 = _mm256_unpackhi_epi32(r2, r3);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_unpacklo_epi64(t0, t2));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 128), _mm256_unpackhi_epi64(t0, t2));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 256), _mm256_unpacklo_epi64(t1, t3));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 384), _mm256_unpackhi_epi64(t1, t3));
}

// 32 bytes of each of eight lanes as eight such vectors.
inline void Transpose(const std::uint8_t* p, std::size_t stride, std::uint8_t* out) {
  Transpose16(p, stride, out);
  Transpose16(p + 16, stride, out + 512);
}

// All 32 lanes as four vectors of eight, 32 bytes of every lane at a time. Two vectors collect the sums
// of two groups each (fewer registers): a step out of range in lane p of group 0 marks lane p of group 1
// too, which only makes the block's check more careful.
void RunLanesAvx2(const std::uint8_t* block, const std::uint32_t* starts, std::uint32_t* ends, std::uint32_t* seen,
                  const std::uint8_t* next) {
  // Byte b of each 32-bit element, zero-extended. vpshufb picks bytes within each 128-bit half, so both
  // halves name the bytes of their own half: 0..15, not 16..31.
  const __m256i pick[4] = {
      _mm256_setr_epi8(0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1,  //
                       0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1),
      _mm256_setr_epi8(1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1,  //
                       1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1),
      _mm256_setr_epi8(2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1,  //
                       2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1),
      _mm256_setr_epi8(3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1, -1, -1,  //
                       3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1, -1, -1)};
  const __m256i top = _mm256_set1_epi32(static_cast<int>(kChecksum31Top));
  std::uint8_t columns[8 * 128];  // [8 byte columns][4 groups of lanes][32 bytes]

  __m256i y[4], s[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};
#pragma GCC unroll 8
  for (int g = 0; g < 4; ++g) {
    const __m256i h = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(starts + 8 * g));
    y[g] = _mm256_or_si256(h, _mm256_slli_epi32(h, 31));
  }
  for (std::size_t c = 0; c < kLane; c += 32) {
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) Transpose(block + 8 * g * kLane + c, kLane, columns + 32 * g);
    checksum31_detail::PrefetchPart(next, c / 32, kLane / 32);
    for (int k = 0; k < 8; ++k) {
      __m256i x[4];
#pragma GCC unroll 8
      for (int g = 0; g < 4; ++g) x[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + 128 * k + 32 * g));
#pragma GCC unroll 8
      for (int b = 0; b < 4; ++b) {
#pragma GCC unroll 8
        for (int g = 0; g < 4; ++g) Step(y[g], s[g / 2], _mm256_shuffle_epi8(x[g], pick[b]));
      }
    }
  }
#pragma GCC unroll 8
  for (int g = 0; g < 4; ++g) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ends + 8 * g), _mm256_and_si256(y[g], top));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(seen + 8 * g), s[g / 2]);
  }
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace

const checksum31_detail::Passes& checksum31_detail::Avx2Passes() noexcept {
  static constexpr Passes kPasses{LaneSumsAvx2, RunLanesAvx2};
  return kPasses;
}

}  // namespace inspection

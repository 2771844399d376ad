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

// Before byte q of a load of 32 bytes at `m`: 0 where q < 32 - m, 0xFF from there on.
alignas(64) constexpr std::uint8_t kLastBytes[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

// 2^((4n-1+m) mod 31) for sums n = 0, 2, 4, 6 (`odd` false) or 1, 3, 5, 7, in the even 32-bit elements.
inline __m256i Powers(bool odd, std::size_t m) {
  const auto power = [&](int n) { return 1 << ((4 * (2 * n + odd) + 30 + m) % 31); };
  return _mm256_setr_epi32(power(0), 0, power(1), 0, power(2), 0, power(3), 0);
}

// As LaneSumsOf of the SSE2 form, with the bytes of a row weighed in pairs by vpmaddubsw: the whole rows
// at 31 * r, byte q of weight 2^q (q = 31 weighs 0), pairs (1, 2) at exponent 2m'; the lane's last 32
// bytes, of which the last m count, byte q of weight 2^(q-1) times 2^m, pairs (1, 2) at exponent 2m'-1.
// Then word pairs into 32-bit sums n at exponent 4n-1 (and 4n-1+m), multiplied out in 64 bits.
__attribute__((always_inline)) inline void LaneSumsOf(const std::uint8_t* block, std::size_t laneBytes,
                                                      std::uint64_t* sums) {
  const std::size_t rows = (laneBytes - 32) / 31 + 1;
  const std::size_t m = laneBytes - 31 * rows;
  const __m256i rowWeights = _mm256_setr_epi8(1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2,  //
                                              1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 0);
  const __m256i lastWeights = _mm256_and_si256(
      _mm256_setr_epi8(0, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2,  //
                       1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2),
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLastBytes + m)));
  const __m256i rowPairs = _mm256_set1_epi32(2 | 8 << 16);
  const __m256i lastPairs = _mm256_set1_epi32(1 | 4 << 16);
  const __m256i powersEven = Powers(false, 0), powersOdd = Powers(true, 0);
  const __m256i lastEven = Powers(false, m), lastOdd = Powers(true, m);

  for (std::size_t j = 0; j < kChecksum31Lanes; ++j) {
    const std::uint8_t* lane = block + j * laneBytes;
    __m256i acc = _mm256_setzero_si256();
    for (std::size_t r = 0; r < rows; ++r) {  // at most 31 x 765 per word
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane + 31 * r));
      acc = _mm256_add_epi16(acc, _mm256_maddubs_epi16(bytes, rowWeights));
    }
    const __m256i last = _mm256_maddubs_epi16(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane + laneBytes - 32)), lastWeights);
    const __m256i rowSums = _mm256_madd_epi16(acc, rowPairs);
    const __m256i lastSums = _mm256_madd_epi16(last, lastPairs);
    const __m256i total = _mm256_add_epi64(
        _mm256_add_epi64(_mm256_mul_epu32(rowSums, powersEven), _mm256_mul_epu32(_mm256_srli_epi64(rowSums, 32), powersOdd)),
        _mm256_add_epi64(_mm256_mul_epu32(lastSums, lastEven), _mm256_mul_epu32(_mm256_srli_epi64(lastSums, 32), lastOdd)));
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

// All 32 lanes as four vectors of eight, 32 bytes of every lane at a time (16 for the last part of a
// short lane whose length is an odd multiple of 16). Two vectors collect the sums of two groups each
// (fewer registers): a step out of range in lane p of group 0 marks lane p of group 1 too, which only
// makes the block's check more careful.
__attribute__((always_inline)) inline void RunLanesOf(const std::uint8_t* block, std::size_t laneBytes,
                                                      const std::uint32_t* starts, std::uint32_t* ends,
                                                      std::uint32_t* seen, const std::uint8_t* next) {
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
  // The steps of `columns` vectors of transposed bytes.
  const auto run = [&](int count) {
    for (int k = 0; k < count; ++k) {
      __m256i x[4];
#pragma GCC unroll 8
      for (int g = 0; g < 4; ++g) x[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + 128 * k + 32 * g));
#pragma GCC unroll 8
      for (int b = 0; b < 4; ++b) {
#pragma GCC unroll 8
        for (int g = 0; g < 4; ++g) Step(y[g], s[g / 2], _mm256_shuffle_epi8(x[g], pick[b]));
      }
    }
  };
  std::size_t c = 0;
  for (; c + 32 <= laneBytes; c += 32) {
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) Transpose(block + 8 * g * laneBytes + c, laneBytes, columns + 32 * g);
    checksum31_detail::PrefetchPart(next, c / 32, kLane / 32);
    run(8);
  }
  if (c < laneBytes) {
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) Transpose16(block + 8 * g * laneBytes + c, laneBytes, columns + 32 * g);
    run(4);
  }
#pragma GCC unroll 8
  for (int g = 0; g < 4; ++g) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ends + 8 * g), _mm256_and_si256(y[g], top));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(seen + 8 * g), s[g / 2]);
  }
}

// Each pass as a function of its own for whole lanes, whose length the compiler knows, and one for the
// lanes of short blocks: in one function the two compile to slower code for the whole lanes.
template <std::size_t kLaneBytes>
void LaneSumsAvx2(const std::uint8_t* block, std::size_t laneBytes, std::uint64_t* sums) {
  LaneSumsOf(block, kLaneBytes ? kLaneBytes : laneBytes, sums);
}
template <std::size_t kLaneBytes>
void RunLanesAvx2(const std::uint8_t* block, std::size_t laneBytes, const std::uint32_t* starts, std::uint32_t* ends,
                  std::uint32_t* seen, const std::uint8_t* next) {
  RunLanesOf(block, kLaneBytes ? kLaneBytes : laneBytes, starts, ends, seen, next);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace

const checksum31_detail::Passes& checksum31_detail::Avx2Passes() noexcept {
  static constexpr Passes kPasses{LaneSumsAvx2<kLane>, RunLanesAvx2<kLane>};
  return kPasses;
}

const checksum31_detail::Passes& checksum31_detail::Avx2ShortPasses() noexcept {
  static constexpr Passes kPasses{LaneSumsAvx2<0>, RunLanesAvx2<0>};
  return kPasses;
}

}  // namespace inspection

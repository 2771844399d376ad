// The checksum's AVX-512 form: the first pass of the AVX2 form, and a second pass that runs the 32 lanes
// as two vectors of 16. Only the functions between the target pragmas use AVX-512, and only
// Checksum31Avx512 calls them, after the caller has checked the CPU: nothing here runs at start-up.
// GCC 12 warns of the deliberately undefined source vector inside its own AVX-512 intrinsics.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "inspection/Checksum31.h"

namespace inspection {
namespace {

constexpr std::size_t kLane = kChecksum31LaneBytes;

#if defined(__clang__)  // the fuzzing build
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw")
#endif

// One step in 16 lanes. The state t is the last sum: h while no step of the lane was dropped. Its
// rotation within 31 bits, (t >> 1) | (bit 0 of t at bit 30), is one ternary-logic operation after the
// two shifts, which keeps the chain from one step to the next at three operations. `seen` collects every
// sum: its bit 31 tells that a step left the range (after which t is meaningless).
inline void Step(__m512i& t, __m512i& seen, __m512i bytes, __m512i bit30) {
  // 0xF8: a | (b & c).
  const __m512i rotated = _mm512_ternarylogic_epi32(_mm512_srli_epi32(t, 1), _mm512_slli_epi32(t, 30), bit30, 0xF8);
  t = _mm512_add_epi32(rotated, bytes);
  seen = _mm512_or_si512(seen, t);
}

// 16 bytes of lanes 0, 4, 8 and 12 (`stride` apart from `p`), in the four 128-bit parts of a vector.
inline __m512i Parts(const std::uint8_t* p, std::size_t stride) {
  const auto load = [&](std::size_t lane) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + lane * stride)); };
  const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(load(0)), load(4), 1);
  const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(load(8)), load(12), 1);
  return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// 16 bytes of each of 16 lanes as four vectors: out[k] holds bytes 4k..4k+3 of the 16 lanes, in lane
// order. Lanes q, q+4, q+8, q+12 share a vector, one to a 128-bit part, so that the unpacks, which stay
// within the parts, finish the job.
inline void Transpose(const std::uint8_t* p, std::size_t stride, __m512i* out) {
  const __m512i r0 = Parts(p, stride), r1 = Parts(p + stride, stride);
  const __m512i r2 = Parts(p + 2 * stride, stride), r3 = Parts(p + 3 * stride, stride);
  const __m512i t0 = _mm512_unpacklo_epi32(r0, r1), t1 = _mm512_unpackhi_epi32(r0, r1);
  const __m512i t2 = _mm512_unpacklo_epi32(r2, r3), t3 = _mm512_unpackhi_epi32(r2, r3);
  out[0] = _mm512_unpacklo_epi64(t0, t2);
  out[1] = _mm512_unpackhi_epi64(t0, t2);
  out[2] = _mm512_unpacklo_epi64(t1, t3);
  out[3] = _mm512_unpackhi_epi64(t1, t3);
}

// Byte b of each 32-bit element, zero-extended: vpshufb picks bytes within each 128-bit part.
inline __m512i Pick(int b) {
  return _mm512_set_epi32(-1 << 8 | (12 + b), -1 << 8 | (8 + b), -1 << 8 | (4 + b), -1 << 8 | b,  //
                          -1 << 8 | (12 + b), -1 << 8 | (8 + b), -1 << 8 | (4 + b), -1 << 8 | b,  //
                          -1 << 8 | (12 + b), -1 << 8 | (8 + b), -1 << 8 | (4 + b), -1 << 8 | b,  //
                          -1 << 8 | (12 + b), -1 << 8 | (8 + b), -1 << 8 | (4 + b), -1 << 8 | b);
}

// All 32 lanes as two vectors of 16, 16 bytes of every lane at a time, kept in registers.
__attribute__((always_inline)) inline void RunLanesOf(const std::uint8_t* block, std::size_t laneBytes,
                                                      const std::uint32_t* starts, std::uint32_t* ends,
                                                      std::uint32_t* seen, const std::uint8_t* next) {
  const __m512i picks[4] = {Pick(0), Pick(1), Pick(2), Pick(3)};
  const __m512i bit30 = _mm512_set1_epi32(0x40000000);
  const __m512i top = _mm512_set1_epi32(static_cast<int>(kChecksum31Top));
  __m512i t[2], s[2];
#pragma GCC unroll 2
  for (int g = 0; g < 2; ++g) {
    t[g] = _mm512_loadu_si512(starts + 16 * g);
    s[g] = _mm512_setzero_si512();
  }
  for (std::size_t c = 0; c < laneBytes; c += 16) {
    __m512i x[2][4];
#pragma GCC unroll 2
    for (int g = 0; g < 2; ++g) Transpose(block + 16 * g * laneBytes + c, laneBytes, x[g]);
    checksum31_detail::PrefetchPart(next, c / 16, kLane / 16);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
#pragma GCC unroll 4
      for (int b = 0; b < 4; ++b) {
#pragma GCC unroll 2
        for (int g = 0; g < 2; ++g) Step(t[g], s[g], _mm512_shuffle_epi8(x[g][k], picks[b]), bit30);
      }
    }
  }
#pragma GCC unroll 2
  for (int g = 0; g < 2; ++g) {
    _mm512_storeu_si512(ends + 16 * g, _mm512_and_si512(t[g], top));
    _mm512_storeu_si512(seen + 16 * g, s[g]);
  }
}

// As in the other forms: a function of its own for whole lanes and one for the lanes of short blocks.
template <std::size_t kLaneBytes>
void RunLanesAvx512(const std::uint8_t* block, std::size_t laneBytes, const std::uint32_t* starts, std::uint32_t* ends,
                    std::uint32_t* seen, const std::uint8_t* next) {
  RunLanesOf(block, kLaneBytes ? kLaneBytes : laneBytes, starts, ends, seen, next);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace

const checksum31_detail::Passes& checksum31_detail::Avx512Passes() noexcept {
  static const Passes kPasses{Avx2Passes().laneSums, RunLanesAvx512<kLane>};
  return kPasses;
}

const checksum31_detail::Passes& checksum31_detail::Avx512ShortPasses() noexcept {
  static const Passes kPasses{Avx2ShortPasses().laneSums, RunLanesAvx512<0>};
  return kPasses;
}

}  // namespace inspection

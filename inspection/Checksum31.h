#pragma once
// The 31-bit file checksum in four forms that give the same value to the bit: the plain byte loop, and
// three vector forms (SSE2, AVX2 and AVX-512) that run at several times its speed on inputs of a
// kilobyte and more.
//
// One step: h is rotated right by one bit within 31 bits and the byte is added; a step whose sum would
// exceed kChecksum31Top is dropped (h keeps its value). Once h is kChecksum31Top it stays there: the
// rotation leaves it unchanged, a zero byte keeps it and any other byte is dropped.
//
// The vector forms cut the input into blocks of kChecksum31Lanes lanes of kChecksum31LaneBytes bytes.
// Modulo 2^31-1 a step is h/2 + b, so the bytes of a lane move h by a weighted byte sum; the first pass
// computes those sums and from them the value at which each lane starts. The second pass runs the real
// steps in all lanes at once from those starts. A block counts only when no lane dropped a step and every
// lane ended on the start of the next; otherwise the plain loop redoes it from the first lane that failed.
// What is left after the last whole block (all of an input shorter than a block) makes one short block
// of kChecksum31Lanes shorter lanes, as long as Checksum31ShortLaneBytes gives it one; the bytes after
// that go through the plain loop.
#include <cstddef>
#include <cstdint>

namespace inspection {

inline constexpr std::uint32_t kChecksum31Top = 0x7FFFFFFFu;  // 2^31-1
inline constexpr std::size_t kChecksum31LaneBytes = 992;      // 32 x 31, so that 2^-992 = 1 modulo 2^31-1
inline constexpr std::size_t kChecksum31Lanes = 32;
inline constexpr std::size_t kChecksum31BlockBytes = kChecksum31Lanes * kChecksum31LaneBytes;
// The lanes of a short block: at least this long, and a multiple of this.
inline constexpr std::size_t kChecksum31ShortLaneMin = 32;
inline constexpr std::size_t kChecksum31ShortLaneStep = 16;

// The lane length of the short block that follows the last whole block, for the `rest` bytes there (below
// kChecksum31BlockBytes): the longest multiple of kChecksum31ShortLaneStep of which kChecksum31Lanes fit
// into `rest`, or 0 when that is below kChecksum31ShortLaneMin (the plain loop then takes all).
constexpr std::size_t Checksum31ShortLaneBytes(std::size_t rest) noexcept {
  const std::size_t lane = rest / kChecksum31Lanes / kChecksum31ShortLaneStep * kChecksum31ShortLaneStep;
  return lane >= kChecksum31ShortLaneMin ? lane : 0;
}

// What a vector form did with the blocks of its input, the short one included: `vector` blocks were
// taken from the vector passes, `redone` blocks (in part) by the plain loop. A block not reached because h
// had already reached kChecksum31Top is in neither count.
struct Checksum31Blocks {
  std::size_t vector = 0;
  std::size_t redone = 0;
};

// Each of these continues the checksum from `h` (0..kChecksum31Top; 0 for a new checksum) over `size`
// bytes at `data` and returns the new h. The vector forms add to `*blocks` when it is given.

// The byte loop: the reference, and the path for short inputs and tails.
std::uint32_t Checksum31Plain(std::uint32_t h, const std::uint8_t* data, std::size_t size) noexcept;
// Runs on every x86-64 CPU.
std::uint32_t Checksum31Sse2(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                             Checksum31Blocks* blocks = nullptr) noexcept;
// True when this CPU (and the system) runs AVX2 code.
bool Checksum31HasAvx2() noexcept;
// Only where Checksum31HasAvx2() is true.
std::uint32_t Checksum31Avx2(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                             Checksum31Blocks* blocks = nullptr) noexcept;
// True when this CPU (and the system) runs the AVX-512 code of Checksum31Avx512 (its foundation and
// byte-and-word instructions, with AVX2).
bool Checksum31HasAvx512() noexcept;
// Only where Checksum31HasAvx512() is true.
std::uint32_t Checksum31Avx512(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                               Checksum31Blocks* blocks = nullptr) noexcept;
// The fastest of the forms above that this CPU runs, chosen once.
std::uint32_t Checksum31Fast(std::uint32_t h, const std::uint8_t* data, std::size_t size,
                             Checksum31Blocks* blocks = nullptr) noexcept;

namespace checksum31_detail {

// The two passes of a vector form over one block at `block`, of kChecksum31Lanes lanes of `laneBytes`
// each: kChecksum31LaneBytes for a whole block, else a short block's (Checksum31ShortLaneBytes).
struct Passes {
  // sums[j]: a number congruent modulo 2^31-1 to the sum over lane j of byte i x 2^(i mod 31), i counted
  // from the lane's start; below 2^53.
  void (*laneSums)(const std::uint8_t* block, std::size_t laneBytes, std::uint64_t* sums);
  // Runs every lane from starts[j] with no step dropped: ends[j] is where lane j ends, and bit 31 of
  // seen[j] is set when one of its steps left the 31-bit range (its end is then meaningless); it may be
  // set for a lane that did not, which only has the block redone from an earlier lane. Meanwhile
  // it asks for the next block (a whole one) to be brought into the cache, when `next` is not null.
  void (*runLanes)(const std::uint8_t* block, std::size_t laneBytes, const std::uint32_t* starts,
                   std::uint32_t* ends, std::uint32_t* seen, const std::uint8_t* next);
};

// Asks for part `part` of `parts` of the block at `next` (none when null) to be brought into the
// second-level cache, so that the first pass over that block does not wait for memory.
inline void PrefetchPart(const std::uint8_t* next, std::size_t part, std::size_t parts) {
  if (!next) return;
  for (std::size_t line = part * kChecksum31BlockBytes / parts; line < (part + 1) * kChecksum31BlockBytes / parts;
       line += 64) {
    __builtin_prefetch(next + line, 0, 2);
  }
}

// The passes of each vector form for whole blocks and for short ones (in its own file; the AVX2 and
// AVX-512 ones run only where the CPU has those).
const Passes& Sse2Passes() noexcept;
const Passes& Sse2ShortPasses() noexcept;
const Passes& Avx2Passes() noexcept;
const Passes& Avx2ShortPasses() noexcept;
const Passes& Avx512Passes() noexcept;
const Passes& Avx512ShortPasses() noexcept;

// The block loop shared by the vector forms.
std::uint32_t RunBlocks(std::uint32_t h, const std::uint8_t* data, std::size_t size, const Passes& passes,
                        const Passes& shortPasses, Checksum31Blocks* blocks) noexcept;

}  // namespace checksum31_detail
}  // namespace inspection

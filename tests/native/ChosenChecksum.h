#pragma once
// Files whose checksum a test chooses.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "inspection/Hashier.h"

namespace detection_test {

// `size` bytes whose 31-bit file checksum is `checksum` (1 to 2147483646): `lead` first, then zeros, then
// 31 bytes of 0 and 1. Each step of the checksum rotates h right within 31 bits, which is multiplying by
// 2^30 modulo 2^31 - 1, and adds the byte; over 31 steps a byte of 1 at step i (1 to 31) adds 2^(i mod 31)
// and h itself comes round unchanged. So the last 31 bytes add any chosen difference to the checksum of
// what comes before them. (A step that would pass 2^31 - 1 is dropped; callers check the result.)
inline std::vector<std::uint8_t> BytesWithChecksum(std::size_t size, std::int32_t checksum,
                                                   std::vector<std::uint8_t> lead = {}) {
  constexpr std::int64_t kModulus = 2147483647;
  std::vector<std::uint8_t> bytes = std::move(lead);
  bytes.resize(size - 31, 0);
  const std::int64_t before = inspection::Checksum31(bytes.data(), bytes.size());
  const std::int64_t difference = ((checksum - before) % kModulus + kModulus) % kModulus;
  for (int step = 1; step <= 31; ++step) bytes.push_back(static_cast<std::uint8_t>((difference >> (step % 31)) & 1));
  return bytes;
}

}  // namespace detection_test

#include "inspection/Hashier.h"

#include <limits>
#include <new>

#include "common/Error.h"
#include "common/Utilities.h"

namespace inspection {

std::int32_t Checksum31(const std::uint8_t* data, std::size_t size) noexcept {
  // h stays within 0..2^31-1, so the rotated value plus a byte fits in 32 bits unsigned, and bit 31 of
  // the sum says whether the step leaves the 31-bit range. A step is dropped only near the top of the
  // range, so the inner loop runs the common case without a select and leaves it for each dropped step:
  // one rotate-and-add of latency per byte.
  std::uint32_t h = 0;
  std::size_t i = 0;
  while (i < size) {
    for (; i < size; ++i) {
      std::uint32_t t = (h >> 1) + ((h << 30) & 0x40000000u) + data[i];
      if (t > 0x7FFFFFFFu) break;
      h = t;
    }
    ++i;  // the dropped step (or past the end)
  }
  return static_cast<std::int32_t>(h);
}

}  // namespace inspection

CHashier::CHashier() = default;

void CHashier::ReInit() {
  moHashCache = CKeyedCollection<std::int32_t>();
  moSizeCache = CKeyedCollection<std::int32_t>();
}

std::int32_t CHashier::HashFromBytes(const std::vector<std::uint8_t>& Bytes) const {
  return inspection::Checksum31(Bytes.data(), Bytes.size());
}

std::int32_t CHashier::HashFromFullFileName(const std::wstring& FullFilePathname, std::int32_t& FileSize) {
  const std::wstring key = L"_" + FullFilePathname;
  if (const std::int32_t* cached = moHashCache.Find(key)) {
    FileSize = moSizeCache.Item(key);
    return *cached;
  }

  FileSize = 0;
  std::int32_t hash = 0;
  try {
    std::vector<std::uint8_t> bytes = FileUtilities().ReadFileBytes(FullFilePathname);
    // A file whose size does not fit the size's 32-bit signed type cannot be reported: it counts as
    // unreadable rather than getting a size that wrapped.
    if (!Utilities().IsArrayEmpty(bytes) && bytes.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      hash = HashFromBytes(bytes);
      FileSize = static_cast<std::int32_t>(bytes.size());
    }
  } catch (const CError&) {
    // Missing, unreadable or too large: 0/0, cached below like any other answer.
  } catch (const std::bad_alloc&) {
    // No memory for the whole file: the same.
  }

  // Both keys were just found absent, so neither Add can meet a duplicate.
  moHashCache.Add(hash, key);
  moSizeCache.Add(FileSize, key);
  return hash;
}

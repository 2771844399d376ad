#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/KeyedCollection.h"

namespace inspection {
// The 31-bit file checksum of `size` bytes: for each byte, h is rotated right by one bit within 31 bits
// and the byte is added; a step whose sum would exceed 2147483647 is dropped (h keeps its value).
// Always 0..2147483647; 0 for no bytes. The fastest form this CPU runs (inspection/Checksum31.h).
std::int32_t Checksum31(const std::uint8_t* data, std::size_t size) noexcept;
}  // namespace inspection

// The file checksum cache: a file's size and 31-bit checksum, computed once per path string for the
// whole run. Never fails: a file that is missing, unreadable, too large or empty gives 0 and size 0, and
// that answer is cached like any other.
class CHashier {
 public:
  // The read buffer is kept from file to file up to this size; one for a larger file is given back.
  static constexpr std::size_t kKeptBufferBytes = std::size_t{16} << 20;

  CHashier();

  // The checksum of the file at `FullFilePathname`; `FileSize` receives its size in bytes (0 whenever the
  // checksum is 0 because the file could not be read or is empty). Cached under the path as passed
  // (keys compare without regard to case); a cached answer touches no file.
  std::int32_t HashFromFullFileName(const std::wstring& FullFilePathname, std::int32_t& FileSize);

  // Forgets every cached answer.
  void ReInit();

 private:
  std::int32_t HashFromBytes(const std::vector<std::uint8_t>& Bytes) const;

  // One answer: the checksum with the size that came with it.
  struct CHashRecord {
    std::int32_t hash;
    std::int32_t size;
  };
  // The checksum and size caches in one, so that a cached answer is one lookup. Keyed by the path as
  // passed: the cache's key form is "_" + the path, and the "_", the same in every key, changes no
  // comparison, so the path alone is the key and no key has to be made for a lookup.
  CKeyedCollection<CHashRecord> moHashCache;
  // Each file is read into this one vector, which keeps its memory from file to file: a fresh vector
  // for every file would have the system map and zero every page of it again. It keeps at most
  // kKeptBufferBytes, so that one very large file does not hold its memory for the rest of the run.
  std::vector<std::uint8_t> fileBytes_;
};

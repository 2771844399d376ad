#include "inspection/Hashier.h"

#include <limits>
#include <new>

#include "common/Error.h"
#include "common/Utilities.h"
#include "inspection/Checksum31.h"

namespace inspection {

std::int32_t Checksum31(const std::uint8_t* data, std::size_t size) noexcept {
  return static_cast<std::int32_t>(Checksum31Fast(0, data, size));
}

}  // namespace inspection

CHashier::CHashier() = default;

void CHashier::ReInit() { moHashCache = CKeyedCollection<CHashRecord>(); }

std::int32_t CHashier::HashFromBytes(const std::vector<std::uint8_t>& Bytes) const {
  return inspection::Checksum31(Bytes.data(), Bytes.size());
}

std::int32_t CHashier::HashFromFullFileName(const std::wstring& FullFilePathname, std::int32_t& FileSize) {
  if (const CHashRecord* cached = moHashCache.Find(FullFilePathname)) {
    FileSize = cached->size;
    return cached->hash;
  }

  FileSize = 0;
  std::int32_t hash = 0;
  try {
    FileUtilities().ReadFileBytes(FullFilePathname, fileBytes_);
    // A file whose size does not fit the size's 32-bit signed type cannot be reported: it counts as
    // unreadable rather than getting a size that wrapped.
    if (!Utilities().IsArrayEmpty(fileBytes_) &&
        fileBytes_.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      hash = HashFromBytes(fileBytes_);
      FileSize = static_cast<std::int32_t>(fileBytes_.size());
    }
  } catch (const CError&) {
    // Errors of the reading are ignored: missing, unreadable or too large is 0/0, cached below.
  } catch (const std::bad_alloc&) {
    // Likewise when there is no memory for the whole file.
  }
  if (fileBytes_.capacity() > kKeptBufferBytes) std::vector<std::uint8_t>().swap(fileBytes_);

  // The key was just found absent, so the Add cannot meet a duplicate.
  moHashCache.Add(CHashRecord{hash, FileSize}, FullFilePathname);
  return hash;
}

#include "tests/doubles/FakeZipLibrary.h"

#include <array>

#include "platform/Platform.h"
#include "tests/doubles/DoubleSupport.h"

namespace platform {
namespace {

constexpr unsigned long kErrorProcNotFound = 127;
constexpr std::int32_t kZipNothingToDo = 12;

std::uint32_t Crc32(const std::vector<std::uint8_t>& bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The name an entry is stored under.
std::string EntryName(std::string path, bool junkDir) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (junkDir) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
  while (!path.empty() && path.front() == '/') path.erase(0, 1);
  return path;
}

}  // namespace

bool FakeZipLibrary::Reach(const char* function, unsigned long& lastError) {
  if (loadError != 0) return doubles::Refuse(lastError, loadError);
  if (missingFunction == function) return doubles::Refuse(lastError, kErrorProcNotFound);
  calls_.emplace_back(function);
  return true;
}

bool FakeZipLibrary::ZpInit(const ZipCallbacks& callbacks, std::int32_t& result, unsigned long& lastError) {
  if (!Reach("ZpInit", lastError)) return false;
  callbacks_ = callbacks;
  result = 1;
  return true;
}

bool FakeZipLibrary::ZpSetOptions(ZipOptions& options, std::int32_t& result, unsigned long& lastError) {
  if (!Reach("ZpSetOptions", lastError)) return false;
  optionsSeen_.push_back(options);
  if (onSetOptions) onSetOptions(options);
  options_ = options;
  result = 1;
  return true;
}

bool FakeZipLibrary::ZpArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names,
                               std::int32_t& result, unsigned long& lastError) {
  if (!Reach("ZpArchive", lastError)) return false;
  archives_.push_back({count, zipFile, names, options_});
  if (onArchive) onArchive(callbacks_);
  result = makesArchive ? MakeArchive(count, zipFile, names) : archiveResult;
  return true;
}

bool FakeZipLibrary::ChangeDirectory(const std::wstring& path, unsigned long& lastError) {
  directories_.push_back(path);
  if (changeDirectoryError != 0) return doubles::Refuse(lastError, changeDirectoryError);
  return true;
}

std::int32_t FakeZipLibrary::MakeArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names) {
  std::vector<std::uint8_t> archive, directory;
  std::uint32_t entries = 0;
  for (std::int32_t i = 0; i < count && static_cast<std::size_t>(i) < names.entries.size(); ++i) {
    if (!names.entries[static_cast<std::size_t>(i)]) continue;
    const std::string& path = *names.entries[static_cast<std::size_t>(i)];
    std::vector<std::uint8_t> data;
    unsigned long error = 0;
    if (!Files().ReadAll(System().FromAnsi(path), data, 0xFFFFFFFFu, error)) continue;
    const std::string name = EntryName(path, options_.fJunkDir != 0);
    const std::uint32_t crc = Crc32(data), size = static_cast<std::uint32_t>(data.size());
    const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
    const std::uint32_t dosTime = 0, dosDate = (1 << 5) | 1;  // 1980-01-01 00:00
    Put32(archive, 0x04034B50);
    for (std::uint32_t v : {20u, 0u, 0u, dosTime, dosDate}) Put16(archive, v);
    for (std::uint32_t v : {crc, size, size}) Put32(archive, v);
    Put16(archive, static_cast<std::uint32_t>(name.size()));
    Put16(archive, 0);
    archive.insert(archive.end(), name.begin(), name.end());
    archive.insert(archive.end(), data.begin(), data.end());
    Put32(directory, 0x02014B50);
    for (std::uint32_t v : {20u, 20u, 0u, 0u, dosTime, dosDate}) Put16(directory, v);
    for (std::uint32_t v : {crc, size, size}) Put32(directory, v);
    for (std::uint32_t v : {static_cast<std::uint32_t>(name.size()), 0u, 0u, 0u, 0u}) Put16(directory, v);
    Put32(directory, 0);
    Put32(directory, offset);
    directory.insert(directory.end(), name.begin(), name.end());
    ++entries;
  }
  if (entries == 0) return kZipNothingToDo;
  const std::uint32_t directoryAt = static_cast<std::uint32_t>(archive.size());
  archive.insert(archive.end(), directory.begin(), directory.end());
  Put32(archive, 0x06054B50);
  for (std::uint32_t v : {0u, 0u, entries, entries}) Put16(archive, v);
  Put32(archive, static_cast<std::uint32_t>(directory.size()));
  Put32(archive, directoryAt);
  Put16(archive, 0);
  unsigned long error = 0;
  return Files().WriteAll(System().FromAnsi(zipFile), archive, error) ? 0 : 15;  // 15: cannot write the archive
}

}  // namespace platform

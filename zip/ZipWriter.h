#pragma once
// The archive writer of vbzip10.dll: standard zip archives without ZIP64. Each file is deflated through
// zlib (raw deflate) or stored when deflating does not make it smaller; CRC-32 from zlib; local headers,
// central directory and end record. Portable: the files and the archive are reached through the
// interfaces below (Win32 in the library, in memory in the tests).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zip/ZipDll.h"

namespace zip {

// What the file layer tells about a file it opens.
struct FileFacts {
  std::uint64_t size = 0;
  std::uint16_t dosTime = 0;  // its last change, in local time (see DosTimeStamp)
  std::uint16_t dosDate = 0;
  std::uint8_t dosAttributes = 0;  // read-only 0x01, hidden 0x02, system 0x04, archive 0x20
};

// One file open for reading.
class ISource {
 public:
  virtual ~ISource() = default;
  // Reads up to buffer.size() bytes; `got` is 0 at the end of the file. False on a read error (`got`
  // undefined then).
  virtual bool Read(std::span<std::uint8_t> buffer, std::size_t& got) = 0;
  // Back to the start, for a second reading.
  virtual bool Rewind() = 0;
};

// The archive being written, under a name of its own until Commit. Destroyed without a successful
// Commit, it leaves nothing behind.
class ISink {
 public:
  virtual ~ISink() = default;
  // Writes at the position and moves it on.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Moves the position back to `offset`, which never lies beyond what was written.
  virtual bool Seek(std::uint64_t offset) = 0;
  // Cuts the archive at the position and gives it its final name, replacing a file of that name. kZipOk,
  // or kZipErrorWrite / kZipErrorCreate; on failure the archive is gone and the file of that name as
  // it was.
  virtual std::int32_t Commit() = 0;
};

class IFiles {
 public:
  virtual ~IFiles() = default;
  // Opens the file `path` (as given in the job) for reading: null when it does not exist, is a folder or
  // cannot be opened (`facts` unchanged then).
  virtual std::unique_ptr<ISource> Open(const std::string& path, FileFacts& facts) = 0;
  // Starts the archive: null when it cannot be created.
  virtual std::unique_ptr<ISink> Create() = 0;
};

// One file as it went into the archive.
struct EntryReport {
  std::string storedName;
  bool deflated = false;
  std::uint64_t size = 0;
  std::uint64_t compressedSize = 0;  // the size of the data in the archive
};

// What a run tells its caller while it writes.
class IProgress {
 public:
  virtual ~IProgress() = default;
  // Before a file is added; false stops the run with kZipErrorAbort.
  virtual bool Adding(const std::string& storedName, std::uint64_t size) = 0;
  virtual void Added(const EntryReport& entry) = 0;
};

struct Job {
  std::string archiveName;         // for messages only (UTF-8)
  std::vector<std::string> paths;  // the files, in archive order (UTF-8)
  bool junkFolderNames = true;     // store bare file names
  int level = 6;                   // 0 (store every file) to 9
};

struct Outcome {
  std::int32_t result = kZipOk;
  std::string detail;  // after a failure: the file, name or setting it concerns (UTF-8)
};

// The largest size or offset a zip archive without ZIP64 holds (0xFFFFFFFF marks ZIP64), and the most
// entries.
inline constexpr std::uint64_t kMaxSize = 0xFFFFFFFEu;
inline constexpr std::size_t kMaxEntries = 0xFFFF;

// Writes the archive of `job`. Everything that can be checked before writing is checked first: no files
// (kZipErrorNothing), more than kMaxEntries (kZipErrorBig), a level outside 0 to 9 or a name that cannot
// be stored or is stored twice (kZipErrorParameters), a file that cannot be opened (kZipErrorOpen) or of
// more than kMaxSize bytes (kZipErrorBig); then the archive is created (kZipErrorCreate) and written
// (kZipErrorRead, kZipErrorWrite, kZipErrorBig, kZipErrorAbort). On any failure the sink is dropped
// without Commit, so that no archive is left.
Outcome WriteArchive(const Job& job, IFiles& files, IProgress& progress);

// The name under which `path` is stored. With `junkFolderNames` its last part: the text behind the last
// "\" or "/" (and behind a drive "C:"). Without: "\" turned into "/", a drive and leading "/" removed,
// empty and "." parts dropped. Empty (not storable) when the last part is empty, "." or "..", when a
// stored folder part is "..", or when the name holds a NUL, is not UTF-8 or is longer than 65535 bytes.
std::string StoredName(std::string_view path, bool junkFolderNames);

struct DosStamp {
  std::uint16_t time = 0;  // hours << 11 | minutes << 5 | seconds / 2
  std::uint16_t date = 0;  // (year - 1980) << 9 | month << 5 | day
};
// A local time as DOS stores it: odd seconds are rounded down; times before 1980 become
// 1980-01-01 00:00:00 and times after 2107 become 2107-12-31 23:59:58.
DosStamp DosTimeStamp(int year, int month, int day, int hour, int minute, int second);

}  // namespace zip

#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The zip library's option record (the Info-ZIP zip DLL's), with its texts of type `Text`. An absent
// text reaches the library as a null pointer. The comment of each field gives its offset in the
// library's 32-bit record; the Win32 implementation lays the record out as the library's own header
// does for the build.
template <class Text>
struct ZipOptionFields {
  std::optional<Text> date;            //  0 date to compare files with
  std::optional<Text> rootDir;         //  4 folder to change to before zipping
  std::optional<Text> tempDir;         //  8 folder for the temporary archive
  std::int32_t fTemp = 0;              // 12 use tempDir
  std::int32_t fSuffix = 0;            // 16
  std::int32_t fEncrypt = 0;           // 20 encrypt (asks for a password)
  std::int32_t fSystem = 0;            // 24 include system and hidden files
  std::int32_t fVolume = 0;            // 28 store the volume label
  std::int32_t fExtra = 0;             // 32 leave out extra attributes
  std::int32_t fNoDirEntries = 0;      // 36 no directory entries
  std::int32_t fExcludeDate = 0;       // 40
  std::int32_t fIncludeDate = 0;       // 44
  std::int32_t fVerbose = 0;           // 48
  std::int32_t fQuiet = 0;             // 52
  std::int32_t fCRLF_LF = 0;           // 56 translate CR LF to LF
  std::int32_t fLF_CRLF = 0;           // 60 translate LF to CR LF
  std::int32_t fJunkDir = 0;           // 64 store bare file names
  std::int32_t fGrow = 0;              // 68 append to an existing archive
  std::int32_t fForce = 0;             // 72
  std::int32_t fMove = 0;              // 76 delete the files once zipped
  std::int32_t fDeleteEntries = 0;     // 80 delete the named entries from the archive
  std::int32_t fUpdate = 0;            // 84 only files newer than their entries
  std::int32_t fFreshen = 0;           // 88 only files that have entries
  std::int32_t fJunkSFX = 0;           // 92
  std::int32_t fLatestTime = 0;        // 96
  std::int32_t fComment = 0;           // 100 ask for the archive comment
  std::int32_t fOffsets = 0;           // 104
  std::int32_t fPrivilege = 0;         // 108
  std::int32_t fEncryption = 0;        // 112
  std::int32_t fRecurse = 0;           // 116 1 or 2: into subfolders
  std::int32_t fRepair = 0;            // 120
  std::uint8_t fLevel = 0;             // 124 compression level

  friend bool operator==(const ZipOptionFields&, const ZipOptionFields&) = default;
};

// The record as the library takes it: texts in the system's ANSI code page.
using ZipOptions = ZipOptionFields<std::string>;

// Copies every field but the three texts from one record to another of the same field names.
template <class From, class To>
void CopyZipFlags(const From& from, To& to) {
  to.fTemp = from.fTemp, to.fSuffix = from.fSuffix, to.fEncrypt = from.fEncrypt, to.fSystem = from.fSystem;
  to.fVolume = from.fVolume, to.fExtra = from.fExtra, to.fNoDirEntries = from.fNoDirEntries;
  to.fExcludeDate = from.fExcludeDate, to.fIncludeDate = from.fIncludeDate, to.fVerbose = from.fVerbose;
  to.fQuiet = from.fQuiet, to.fCRLF_LF = from.fCRLF_LF, to.fLF_CRLF = from.fLF_CRLF, to.fJunkDir = from.fJunkDir;
  to.fGrow = from.fGrow, to.fForce = from.fForce, to.fMove = from.fMove, to.fDeleteEntries = from.fDeleteEntries;
  to.fUpdate = from.fUpdate, to.fFreshen = from.fFreshen, to.fJunkSFX = from.fJunkSFX;
  to.fLatestTime = from.fLatestTime, to.fComment = from.fComment, to.fOffsets = from.fOffsets;
  to.fPrivilege = from.fPrivilege, to.fEncryption = from.fEncryption, to.fRecurse = from.fRecurse;
  to.fRepair = from.fRepair, to.fLevel = from.fLevel;
}

// The callbacks the library calls on the calling thread while ZpArchive runs, in the order of the
// library's table. Each is noexcept: no exception may cross into the library, so a callback deals with
// its own errors.
struct ZipCallbacks {
  // A message of `length` bytes (not NUL-terminated). Returns 0.
  std::int32_t (*print)(const char* text, std::uint32_t length) noexcept = nullptr;
  // Fills `buffer` (`size` bytes) with a password; 0 when one was given, 1 for none.
  std::int32_t (*password)(char* buffer, std::int32_t size, const char* prompt, const char* name) noexcept = nullptr;
  // The archive's comment as a NUL-terminated text.
  const char* (*comment)(char* buffer) noexcept = nullptr;
  // Told of each file before it is zipped; 0 goes on.
  std::int32_t (*service)(const char* name, std::uint64_t size) noexcept = nullptr;
};

// The library's list of file specifications: 1,024 entries, each an ANSI text or a null pointer.
struct ZipNameList {
  static constexpr std::size_t kEntries = 1024;
  std::vector<std::optional<std::string>> entries = std::vector<std::optional<std::string>>(kEntries);
};

// The zip library "vbzip10.dll", loaded by name at the first call of ZpInit, ZpSetOptions or ZpArchive
// and kept loaded. A call that cannot reach the library or its function returns false with the Win32
// error code (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ERROR_BAD_EXE_FORMAT, ...) and calls nothing;
// otherwise it returns true with the function's result in `result`.
class IZipLibrary {
 public:
  virtual ~IZipLibrary() = default;

  virtual bool ZpInit(const ZipCallbacks& callbacks, std::int32_t& result, unsigned long& lastError) = 0;
  // The record is handed over by reference: what the library leaves in it comes back in `options`.
  virtual bool ZpSetOptions(ZipOptions& options, std::int32_t& result, unsigned long& lastError) = 0;
  virtual bool ZpArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names,
                         std::int32_t& result, unsigned long& lastError) = 0;

  // Makes `path` the process's current folder, against which the library resolves relative names.
  // False with the Win32 error code when it cannot.
  virtual bool ChangeDirectory(const std::wstring& path, unsigned long& lastError) = 0;
};

}  // namespace platform

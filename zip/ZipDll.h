#pragma once
// vbzip10.dll: a zip archiver with the Info-ZIP Zip DLL interface, built on zlib. A caller loads the
// library by name and calls, in this order:
//   ZpInit(callback table)        the four callbacks of the next runs; every pointer may be null
//   ZpSetOptions(option record)   the options of the next runs (the library keeps a copy of the texts)
//   ZpArchive(count, archive, name list)
// The library writes new archives only: it never appends to, updates or deletes from an existing one.
// Every option it does not implement is answered with kZipErrorParameters and no archive. An archive
// is written under a temporary name beside the final one and takes the final name only when complete:
// after any failure nothing is left under that name except what was there before the call.
//
// One thread at a time, as Info-ZIP's library: the callbacks run on the caller's thread, inside
// ZpArchive.
#include <cstddef>
#include <cstdint>

// The Win32 calling convention of the Info-ZIP library (the same as the default one on x64).
#if defined(_WIN32)
#define ZIP_API __stdcall
#else
#define ZIP_API
#endif

// Results of ZpArchive: Info-ZIP zip's error codes.
enum ZipResult : std::int32_t {
  kZipOk = 0,
  kZipErrorMemory = 4,        // out of memory
  kZipErrorLogic = 5,         // internal logic error
  kZipErrorBig = 6,           // a file, the archive or the entry count beyond what zip without ZIP64 holds
  kZipErrorAbort = 9,         // stopped by the service callback
  kZipErrorRead = 11,         // a file could not be read to its end, or changed while it was read
  kZipErrorNothing = 12,      // no file names given
  kZipErrorWrite = 14,        // the archive could not be written
  kZipErrorCreate = 15,       // the archive could not be created or could not take its name
  kZipErrorParameters = 16,   // an option that is not implemented, or a bad name or argument
  kZipErrorOpen = 18,         // a named file does not exist, is a folder or cannot be opened to read
};

// The option record, as Info-ZIP's ZPOPT: three texts, 28 four-byte integers and the level byte. Texts are
// NUL-terminated in the ANSI code page; a null text is an empty one. Booleans are 0 or not 0.
struct ZipOptionRecord {
  char* date;                     // with the date flags: the date to compare with (not implemented)
  char* rootFolder;               // relative file names and a relative archive name start here
  char* tempFolder;               // with useTempFolder: where to write the archive first (not implemented)
  std::int32_t useTempFolder;     // not implemented
  std::int32_t suffixes;          // not implemented
  std::int32_t encrypt;           // not implemented
  std::int32_t includeSystemAndHidden;  // accepted; it matters to folder scans only, which are not made
  std::int32_t storeVolumeLabel;  // not implemented
  std::int32_t noExtraAttributes;  // accepted; no extra fields are ever written
  std::int32_t noDirectoryEntries;  // accepted; a name that is a folder is refused either way
  std::int32_t excludeAfterDate;  // not implemented
  std::int32_t includeAfterDate;  // not implemented
  std::int32_t verbose;           // accepted; the messages are those of the normal level
  std::int32_t quiet;             // no "  adding:" lines (errors are still printed)
  std::int32_t crlfToLf;          // not implemented
  std::int32_t lfToCrlf;          // not implemented
  std::int32_t junkFolderNames;   // store each file under its bare name
  std::int32_t grow;              // append to an existing archive: not implemented
  std::int32_t forceDosNames;     // not implemented
  std::int32_t move;              // delete the files once archived: not implemented
  std::int32_t deleteEntries;     // not implemented
  std::int32_t update;            // not implemented
  std::int32_t freshen;           // not implemented
  std::int32_t junkSfx;           // not implemented
  std::int32_t latestTime;        // not implemented
  std::int32_t comment;           // ask for an archive comment: not implemented
  std::int32_t offsets;           // not implemented
  std::int32_t privileges;        // not implemented
  std::int32_t encryptionSupported;  // read only: ZpGetOptions reports 0, ZpSetOptions ignores it
  std::int32_t recurse;           // 1 or 2: recurse into folders: not implemented
  std::int32_t repair;            // not implemented
  char level;                     // 0: the default (6); '0' to '9': that level, '0' storing every file
};

// The layout the caller relies on: Info-ZIP's 128 bytes with 4-byte pointers, and the same fields with
// 8-byte pointers (each text 8 bytes, every later field 12 bytes further on, 144 bytes in all).
constexpr std::size_t ZipRecordOffset(std::size_t x86, std::size_t x64) { return sizeof(void*) == 8 ? x64 : x86; }
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(ZipOptionRecord) == ZipRecordOffset(128, 144));
static_assert(offsetof(ZipOptionRecord, rootFolder) == ZipRecordOffset(4, 8));
static_assert(offsetof(ZipOptionRecord, tempFolder) == ZipRecordOffset(8, 16));
static_assert(offsetof(ZipOptionRecord, useTempFolder) == ZipRecordOffset(12, 24));
static_assert(offsetof(ZipOptionRecord, encrypt) == ZipRecordOffset(20, 32));
static_assert(offsetof(ZipOptionRecord, includeSystemAndHidden) == ZipRecordOffset(24, 36));
static_assert(offsetof(ZipOptionRecord, storeVolumeLabel) == ZipRecordOffset(28, 40));
static_assert(offsetof(ZipOptionRecord, noDirectoryEntries) == ZipRecordOffset(36, 48));
static_assert(offsetof(ZipOptionRecord, verbose) == ZipRecordOffset(48, 60));
static_assert(offsetof(ZipOptionRecord, quiet) == ZipRecordOffset(52, 64));
static_assert(offsetof(ZipOptionRecord, crlfToLf) == ZipRecordOffset(56, 68));
static_assert(offsetof(ZipOptionRecord, lfToCrlf) == ZipRecordOffset(60, 72));
static_assert(offsetof(ZipOptionRecord, junkFolderNames) == ZipRecordOffset(64, 76));
static_assert(offsetof(ZipOptionRecord, grow) == ZipRecordOffset(68, 80));
static_assert(offsetof(ZipOptionRecord, deleteEntries) == ZipRecordOffset(80, 92));
static_assert(offsetof(ZipOptionRecord, update) == ZipRecordOffset(84, 96));
static_assert(offsetof(ZipOptionRecord, freshen) == ZipRecordOffset(88, 100));
static_assert(offsetof(ZipOptionRecord, recurse) == ZipRecordOffset(116, 128));
static_assert(offsetof(ZipOptionRecord, repair) == ZipRecordOffset(120, 132));
static_assert(offsetof(ZipOptionRecord, level) == ZipRecordOffset(124, 136));

// Callbacks. Texts are in the ANSI code page.
// print: one message, `length` bytes followed by a NUL, e.g. "  adding: name (deflated 42%)\n" or
//   "zip error: Nothing to do! (...)\n". The result is not looked at.
using ZipPrintCallback = std::int32_t(ZIP_API*)(const char* text, std::uint32_t length);
// password: never called (encryption is not implemented).
using ZipPasswordCallback = std::int32_t(ZIP_API*)(char* buffer, std::int32_t size, const char* prompt,
                                                   const char* entryName);
// comment: never called (archives get no comment).
using ZipCommentCallback = std::int32_t(ZIP_API*)(char* buffer);
// service: called before each file is added, with its stored name and size; an answer other than 0 stops
//   the run with kZipErrorAbort and no archive.
using ZipServiceCallback = std::int32_t(ZIP_API*)(const char* storedName, std::uint32_t size);

struct ZipCallbackTable {
  ZipPrintCallback print;
  ZipPasswordCallback password;
  ZipCommentCallback comment;
  ZipServiceCallback service;
};

// The name list: entries 0 to count - 1 are the file names (ANSI texts); entry count is null and entry
// count + 1 an empty text; the library reads entries 0 to count - 1 only. A name is taken as a file name
// as it stands: wildcards are not expanded.
inline constexpr int kZipNameListEntries = 1024;
struct ZipNameList {
  const char* names[kZipNameListEntries];
};

// The exports. ZpInit and ZpSetOptions return 1, or 0 for a null argument or when the texts cannot be
// copied (the earlier callbacks or options stay then); ZpSetOptions does not write to the record. ZpGetOptions returns the options as last set, its texts owned by the library and valid
// until the next ZpSetOptions. ZpArchive returns a ZipResult; `count` above kZipNameListEntries, a null
// name or a null or empty archive name is kZipErrorParameters.
extern "C" {
std::int32_t ZIP_API ZpInit(const ZipCallbackTable* callbacks);
std::int32_t ZIP_API ZpSetOptions(const ZipOptionRecord* options);
ZipOptionRecord ZIP_API ZpGetOptions();
std::int32_t ZIP_API ZpArchive(std::int32_t count, const char* archiveName, const ZipNameList* names);
}

// The exports as the caller finds them with GetProcAddress.
using ZpInitFunction = decltype(&ZpInit);
using ZpSetOptionsFunction = decltype(&ZpSetOptions);
using ZpGetOptionsFunction = decltype(&ZpGetOptions);
using ZpArchiveFunction = decltype(&ZpArchive);

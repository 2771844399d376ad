// The zip library "vbzip10.dll" through its Info-ZIP zip DLL interface, loaded by name at the first call.
#include <windows.h>

#include <cstring>
#include <exception>
#include <memory>

#include "platform/PlatformInternal.h"
#include "zip/ZipDll.h"

namespace platform {
namespace {

// The callbacks of the run in progress; the library calls the trampolines below, which call them.
// Every trampoline is an exception barrier: nothing crosses into the library.
ZipCallbacks gCallbacks;

std::int32_t ZIP_API PrintTrampoline(const char* text, std::uint32_t length) {
  try {
    return gCallbacks.print ? gCallbacks.print(text, length) : 0;
  } catch (...) {
    return 0;
  }
}
std::int32_t ZIP_API PasswordTrampoline(char* buffer, std::int32_t size, const char* prompt, const char* name) {
  try {
    return gCallbacks.password ? gCallbacks.password(buffer, size, prompt, name) : 1;
  } catch (...) {
    return 1;
  }
}
// The library takes the comment in its own buffer: only an empty comment (the one the program gives) is
// written there, as its first byte, since the buffer's size is not given.
std::int32_t ZIP_API CommentTrampoline(char* buffer) {
  try {
    const char* comment = gCallbacks.comment ? gCallbacks.comment(buffer) : "";
    if (buffer != nullptr && (comment == nullptr || comment[0] == '\0')) buffer[0] = '\0';
  } catch (...) {
    if (buffer != nullptr) buffer[0] = '\0';
  }
  return 0;
}
std::int32_t ZIP_API ServiceTrampoline(const char* name, std::uint32_t size) {
  try {
    return gCallbacks.service ? gCallbacks.service(name, size) : 0;
  } catch (...) {
    return 0;
  }
}

// A text as the library takes it: a NUL-terminated copy that the call may write into, or null.
class AnsiText {
 public:
  explicit AnsiText(const std::optional<std::string>& text) : original_(text) {
    if (text) {
      buffer_.assign(text->begin(), text->end());
      buffer_.push_back('\0');
    }
  }
  char* Pointer() { return original_ ? buffer_.data() : nullptr; }
  // What the library left behind `pointer`: nothing when it cleared the pointer, our buffer's text (to
  // its first NUL) when it kept it. A pointer of the library's own is not followed: the text stays as
  // it was.
  std::optional<std::string> After(const char* pointer) const {
    if (pointer == nullptr) return std::nullopt;
    if (original_ && pointer == buffer_.data()) return std::string(buffer_.data(), ::strnlen(buffer_.data(), buffer_.size()));
    return original_;
  }

 private:
  std::optional<std::string> original_;
  std::vector<char> buffer_;
};

class Win32ZipLibraryImpl final : public IZipLibrary {
 public:
  bool ZpInit(const ZipCallbacks& callbacks, std::int32_t& result, unsigned long& lastError) override {
    auto fn = reinterpret_cast<ZpInitFunction>(Function("ZpInit", lastError));
    if (fn == nullptr) return false;
    gCallbacks = callbacks;
    static const ZipCallbackTable table{PrintTrampoline, PasswordTrampoline, CommentTrampoline, ServiceTrampoline};
    result = fn(&table);
    return true;
  }

  bool ZpSetOptions(ZipOptions& options, std::int32_t& result, unsigned long& lastError) override {
    auto fn = reinterpret_cast<ZpSetOptionsFunction>(Function("ZpSetOptions", lastError));
    if (fn == nullptr) return false;
    AnsiText date(options.date), rootDir(options.rootDir), tempDir(options.tempDir);
    ::ZipOptionRecord record{};
    record.date = date.Pointer();
    record.rootFolder = rootDir.Pointer();
    record.tempFolder = tempDir.Pointer();
    ToLibrary(options, record);
    result = fn(&record);
    options.date = date.After(record.date);
    options.rootDir = rootDir.After(record.rootFolder);
    options.tempDir = tempDir.After(record.tempFolder);
    FromLibrary(record, options);
    return true;
  }

  bool ZpArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names, std::int32_t& result,
                 unsigned long& lastError) override {
    auto fn = reinterpret_cast<ZpArchiveFunction>(Function("ZpArchive", lastError));
    if (fn == nullptr) return false;
    static_assert(ZipNameList::kEntries == kZipNameListEntries);
    auto list = std::make_unique<::ZipNameList>();  // 8 KiB: not on the stack
    for (std::size_t i = 0; i < ZipNameList::kEntries; ++i) {
      list->names[i] = (i < names.entries.size() && names.entries[i]) ? names.entries[i]->c_str() : nullptr;
    }
    result = fn(count, zipFile.c_str(), list.get());
    return true;
  }

  bool ChangeDirectory(const std::wstring& path, unsigned long& lastError) override {
    if (::SetCurrentDirectoryW(path.c_str())) return true;
    lastError = ::GetLastError();
    return false;
  }

 private:
  // The record's numbers, between our field names and the library's.
  static void ToLibrary(const ZipOptions& from, ::ZipOptionRecord& to) {
    to.useTempFolder = from.fTemp, to.suffixes = from.fSuffix, to.encrypt = from.fEncrypt;
    to.includeSystemAndHidden = from.fSystem, to.storeVolumeLabel = from.fVolume, to.noExtraAttributes = from.fExtra;
    to.noDirectoryEntries = from.fNoDirEntries, to.excludeAfterDate = from.fExcludeDate;
    to.includeAfterDate = from.fIncludeDate, to.verbose = from.fVerbose, to.quiet = from.fQuiet;
    to.crlfToLf = from.fCRLF_LF, to.lfToCrlf = from.fLF_CRLF, to.junkFolderNames = from.fJunkDir, to.grow = from.fGrow;
    to.forceDosNames = from.fForce, to.move = from.fMove, to.deleteEntries = from.fDeleteEntries;
    to.update = from.fUpdate, to.freshen = from.fFreshen, to.junkSfx = from.fJunkSFX, to.latestTime = from.fLatestTime;
    to.comment = from.fComment, to.offsets = from.fOffsets, to.privileges = from.fPrivilege;
    to.encryptionSupported = from.fEncryption, to.recurse = from.fRecurse, to.repair = from.fRepair;
    to.level = static_cast<char>(from.fLevel);
  }
  static void FromLibrary(const ::ZipOptionRecord& from, ZipOptions& to) {
    to.fTemp = from.useTempFolder, to.fSuffix = from.suffixes, to.fEncrypt = from.encrypt;
    to.fSystem = from.includeSystemAndHidden, to.fVolume = from.storeVolumeLabel, to.fExtra = from.noExtraAttributes;
    to.fNoDirEntries = from.noDirectoryEntries, to.fExcludeDate = from.excludeAfterDate;
    to.fIncludeDate = from.includeAfterDate, to.fVerbose = from.verbose, to.fQuiet = from.quiet;
    to.fCRLF_LF = from.crlfToLf, to.fLF_CRLF = from.lfToCrlf, to.fJunkDir = from.junkFolderNames, to.fGrow = from.grow;
    to.fForce = from.forceDosNames, to.fMove = from.move, to.fDeleteEntries = from.deleteEntries;
    to.fUpdate = from.update, to.fFreshen = from.freshen, to.fJunkSFX = from.junkSfx, to.fLatestTime = from.latestTime;
    to.fComment = from.comment, to.fOffsets = from.offsets, to.fPrivilege = from.privileges;
    to.fEncryption = from.encryptionSupported, to.fRecurse = from.recurse, to.fRepair = from.repair;
    to.fLevel = static_cast<std::uint8_t>(from.level);
  }

  // The library's function `name`, loading the library by name when it is not loaded yet (a failed
  // load is tried again at the next call).
  FARPROC Function(const char* name, unsigned long& lastError) {
    if (module_ == nullptr) {
      module_ = ::LoadLibraryW(L"vbzip10.dll");
      if (module_ == nullptr) {
        lastError = ::GetLastError();
        return nullptr;
      }
    }
    FARPROC fn = ::GetProcAddress(module_, name);
    if (fn == nullptr) lastError = ::GetLastError();
    return fn;
  }

  HMODULE module_ = nullptr;  // stays loaded until the program ends
};

}  // namespace

namespace detail {
IZipLibrary& Win32ZipLibrary() {
  static Win32ZipLibraryImpl library;
  return library;
}
}  // namespace detail

}  // namespace platform

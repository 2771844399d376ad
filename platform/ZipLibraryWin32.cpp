// The zip library "vbzip10.dll" through its Info-ZIP zip DLL interface, loaded by name at the first call.
#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/PlatformInternal.h"
#include "zip/ZipDll.h"

namespace platform {
namespace {

// The callbacks of the run in progress; the library calls the trampolines below, which call them. The
// callbacks are noexcept, so nothing crosses into the library; a trampoline without a callback answers
// as its callback would without an answer.
ZipCallbacks gCallbacks;

std::int32_t ZIP_API PrintTrampoline(const char* text, std::uint32_t length) noexcept {
  return gCallbacks.print ? gCallbacks.print(text, length) : 0;
}
std::int32_t ZIP_API PasswordTrampoline(char* buffer, std::int32_t size, const char* prompt, const char* name) noexcept {
  return gCallbacks.password ? gCallbacks.password(buffer, size, prompt, name) : 1;
}
// The library takes the comment in its own buffer: only an empty comment (the one the program gives) is
// written there, as its first byte, since the buffer's size is not given.
std::int32_t ZIP_API CommentTrampoline(char* buffer) noexcept {
  const char* comment = gCallbacks.comment ? gCallbacks.comment(buffer) : "";
  if (buffer != nullptr && (comment == nullptr || comment[0] == '\0')) buffer[0] = '\0';
  return 0;
}
std::int32_t ZIP_API ServiceTrampoline(const char* name, std::uint32_t size) noexcept {
  return gCallbacks.service ? gCallbacks.service(name, size) : 0;
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
  // Calls `pair` with each of our number fields and the library's field of the same meaning.
  template <class Pair>
  static void EachNumber(ZipOptions& ours, ::ZipOptionRecord& theirs, Pair pair) {
    pair(ours.fTemp, theirs.useTempFolder), pair(ours.fSuffix, theirs.suffixes), pair(ours.fEncrypt, theirs.encrypt);
    pair(ours.fSystem, theirs.includeSystemAndHidden), pair(ours.fVolume, theirs.storeVolumeLabel);
    pair(ours.fExtra, theirs.noExtraAttributes), pair(ours.fNoDirEntries, theirs.noDirectoryEntries);
    pair(ours.fExcludeDate, theirs.excludeAfterDate), pair(ours.fIncludeDate, theirs.includeAfterDate);
    pair(ours.fVerbose, theirs.verbose), pair(ours.fQuiet, theirs.quiet), pair(ours.fCRLF_LF, theirs.crlfToLf);
    pair(ours.fLF_CRLF, theirs.lfToCrlf), pair(ours.fJunkDir, theirs.junkFolderNames), pair(ours.fGrow, theirs.grow);
    pair(ours.fForce, theirs.forceDosNames), pair(ours.fMove, theirs.move), pair(ours.fDeleteEntries, theirs.deleteEntries);
    pair(ours.fUpdate, theirs.update), pair(ours.fFreshen, theirs.freshen), pair(ours.fJunkSFX, theirs.junkSfx);
    pair(ours.fLatestTime, theirs.latestTime), pair(ours.fComment, theirs.comment), pair(ours.fOffsets, theirs.offsets);
    pair(ours.fPrivilege, theirs.privileges), pair(ours.fEncryption, theirs.encryptionSupported);
    pair(ours.fRecurse, theirs.recurse), pair(ours.fRepair, theirs.repair);
  }
  static void ToLibrary(ZipOptions& from, ::ZipOptionRecord& to) {
    EachNumber(from, to, [](std::int32_t& ours, std::int32_t& theirs) { theirs = ours; });
    to.level = static_cast<char>(from.fLevel);
  }
  static void FromLibrary(::ZipOptionRecord& from, ZipOptions& to) {
    EachNumber(to, from, [](std::int32_t& ours, std::int32_t& theirs) { ours = theirs; });
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

// The zip library "vbzip10.dll" through its Info-ZIP zip DLL interface, loaded by name at the first call.
#include <windows.h>

#include <cstring>
#include <exception>

#include "platform/PlatformInternal.h"

namespace platform {
namespace {

// The library's interface on x64, as its header gives it.
struct DllOptions {
  const char* date;
  const char* rootDir;
  const char* tempDir;
  std::int32_t fTemp, fSuffix, fEncrypt, fSystem, fVolume, fExtra, fNoDirEntries, fExcludeDate, fIncludeDate,
      fVerbose, fQuiet, fCRLF_LF, fLF_CRLF, fJunkDir, fGrow, fForce, fMove, fDeleteEntries, fUpdate, fFreshen,
      fJunkSFX, fLatestTime, fComment, fOffsets, fPrivilege, fEncryption, fRecurse, fRepair;
  std::uint8_t fLevel;
};
using DllPrint = int(WINAPI*)(char* text, unsigned long length);
using DllPassword = int(WINAPI*)(char* buffer, int size, const char* prompt, const char* name);
using DllComment = char*(WINAPI*)(char* buffer);
using DllService = int(WINAPI*)(const char* name, unsigned long size);
struct DllCallbacks {
  DllPrint print;
  DllPassword password;
  DllComment comment;
  DllService service;
};
using ZpInitFn = int(WINAPI*)(DllCallbacks* callbacks);
using ZpSetOptionsFn = int(WINAPI*)(DllOptions* options);
using ZpArchiveFn = int(WINAPI*)(int count, const char* zipFile, char** names);

// The callbacks of the run in progress; the library calls the trampolines below, which call them.
// Every trampoline is an exception barrier: nothing crosses into the library.
ZipCallbacks gCallbacks;

int WINAPI PrintTrampoline(char* text, unsigned long length) {
  try {
    return gCallbacks.print ? gCallbacks.print(text, static_cast<std::uint32_t>(length)) : 0;
  } catch (...) {
    return 0;
  }
}
int WINAPI PasswordTrampoline(char* buffer, int size, const char* prompt, const char* name) {
  try {
    return gCallbacks.password ? gCallbacks.password(buffer, size, prompt, name) : 1;
  } catch (...) {
    return 1;
  }
}
char* WINAPI CommentTrampoline(char* buffer) {
  static char empty[1] = {0};
  try {
    return gCallbacks.comment ? const_cast<char*>(gCallbacks.comment(buffer)) : empty;
  } catch (...) {
    return empty;
  }
}
int WINAPI ServiceTrampoline(const char* name, unsigned long size) {
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
    auto fn = reinterpret_cast<ZpInitFn>(Function("ZpInit", lastError));
    if (fn == nullptr) return false;
    gCallbacks = callbacks;
    static DllCallbacks table{PrintTrampoline, PasswordTrampoline, CommentTrampoline, ServiceTrampoline};
    result = fn(&table);
    return true;
  }

  bool ZpSetOptions(ZipOptions& options, std::int32_t& result, unsigned long& lastError) override {
    auto fn = reinterpret_cast<ZpSetOptionsFn>(Function("ZpSetOptions", lastError));
    if (fn == nullptr) return false;
    AnsiText date(options.date), rootDir(options.rootDir), tempDir(options.tempDir);
    DllOptions record{};
    record.date = date.Pointer();
    record.rootDir = rootDir.Pointer();
    record.tempDir = tempDir.Pointer();
    CopyZipFlags(options, record);
    result = fn(&record);
    options.date = date.After(record.date);
    options.rootDir = rootDir.After(record.rootDir);
    options.tempDir = tempDir.After(record.tempDir);
    CopyZipFlags(record, options);
    return true;
  }

  bool ZpArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names, std::int32_t& result,
                 unsigned long& lastError) override {
    auto fn = reinterpret_cast<ZpArchiveFn>(Function("ZpArchive", lastError));
    if (fn == nullptr) return false;
    std::vector<std::vector<char>> texts;
    texts.reserve(names.entries.size());
    std::vector<char*> pointers(ZipNameList::kEntries, nullptr);
    for (std::size_t i = 0; i < names.entries.size() && i < pointers.size(); ++i) {
      if (!names.entries[i]) continue;
      texts.emplace_back(names.entries[i]->begin(), names.entries[i]->end());
      texts.back().push_back('\0');
      pointers[i] = texts.back().data();
    }
    std::vector<char> name(zipFile.begin(), zipFile.end());
    name.push_back('\0');
    result = fn(count, name.data(), pointers.data());
    return true;
  }

  bool ChangeDirectory(const std::wstring& path, unsigned long& lastError) override {
    if (::SetCurrentDirectoryW(path.c_str())) return true;
    lastError = ::GetLastError();
    return false;
  }

 private:
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

// Files and paths through kernel32.
#include <windows.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/PlatformInternal.h"
#include "platform/Win32Handle.h"

// The interface's own names, not the macros of <windows.h>.
#undef ExpandEnvironmentStrings

namespace platform {
namespace {

using win32::FileHandle;

// Path buffers never grow beyond the longest path the system knows.
constexpr unsigned long kMaxPathChars = 32768;
constexpr DWORD kChunk = 16u << 20;  // ReadFile / WriteFile in pieces of 16 MiB

bool Fail(unsigned long& lastError) {
  lastError = ::GetLastError();
  return false;
}

bool WriteBytes(HANDLE file, const std::vector<std::uint8_t>& bytes, unsigned long& lastError) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD piece = static_cast<DWORD>(bytes.size() - done < kChunk ? bytes.size() - done : kChunk);
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, piece, &written, nullptr)) return Fail(lastError);
    if (written == 0) {
      lastError = ERROR_WRITE_FAULT;
      return false;
    }
    done += written;
  }
  return true;
}

// The return rule of SearchPath-like calls told `bufferChars`: the buffer holds the text only when the
// result is below the buffer size.
// FindFirstFileA or FindFirstFileW, then FindClose: the size of the first match. False when nothing
// matches (`size` unchanged).
template <class Char, class FindData>
bool FirstMatchSize(HANDLE(WINAPI* findFirst)(const Char*, FindData*), const Char* pattern, std::uint64_t& size) {
  FindData data{};
  win32::FindHandle find(findFirst(pattern, &data));
  if (!find) return false;
  size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

template <class Char, class Call>
unsigned long BufferCall(unsigned long bufferChars, std::basic_string<Char>& out, Call call) {
  out.clear();
  const unsigned long chars = bufferChars < kMaxPathChars ? bufferChars : kMaxPathChars;
  std::vector<Char> buffer(chars + 1, Char(0));
  const unsigned long result = call(chars, chars ? buffer.data() : nullptr);
  if (result != 0 && result < chars) out.assign(buffer.data(), result);
  return result;
}

class Win32FilesImpl final : public IFileSystem {
 public:
  bool Exists(const std::wstring& path) override { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
               unsigned long& lastError) override {
    // `bytes` keeps what it holds until the file's size is known: a vector that the caller reuses from
    // file to file then has only its growth zeroed before ReadFile overwrites it.
    const auto fail = [&](unsigned long code) {
      bytes.clear();
      lastError = code;
      return false;
    };
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return fail(::GetLastError());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) return fail(::GetLastError());
    const auto length = static_cast<std::uint64_t>(size.QuadPart);
    if (length > maxBytes || length > static_cast<std::uint64_t>(SIZE_MAX / 2)) return fail(ERROR_NOT_ENOUGH_MEMORY);
    // Memory too small for this file is given back before the new is taken, never both held at once.
    // The new is taken with room to spare, twice what was held (up to the limit) when the system has
    // it, so that a caller that reads files of growing sizes into one vector has fresh memory mapped a
    // few times rather than for each file larger than all before it.
    if (length > bytes.capacity()) {
      const std::uint64_t roomy = std::min<std::uint64_t>(2 * static_cast<std::uint64_t>(bytes.capacity()), maxBytes);
      std::vector<std::uint8_t>().swap(bytes);
      if (roomy > length) {
        try {
          bytes.reserve(static_cast<std::size_t>(roomy));
        } catch (const std::bad_alloc&) {
          // No room to spare: the file's own size below.
        }
      }
    }
    try {
      bytes.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
      return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD piece = static_cast<DWORD>(bytes.size() - done < kChunk ? bytes.size() - done : kChunk);
      DWORD got = 0;
      if (!::ReadFile(file.Get(), bytes.data() + done, piece, &got, nullptr)) return fail(::GetLastError());
      if (got == 0) break;  // the file shrank while we read it: keep what is there
      done += got;
    }
    bytes.resize(done);
    return true;
  }

  bool WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes, unsigned long& lastError) override {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) return Fail(lastError);
    return WriteBytes(file.Get(), bytes, lastError);
  }

  bool AppendAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes, unsigned long& lastError) override {
    // FILE_APPEND_DATA alone: every write lands at the current end, also with other writers.
    FileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Fail(lastError);
    return WriteBytes(file.Get(), bytes, lastError);
  }

  bool Copy(const std::wstring& from, const std::wstring& to, bool failIfExists, unsigned long& lastError) override {
    return ::CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) ? true : Fail(lastError);
  }

  bool MoveW(const std::wstring& from, const std::wstring& to, unsigned long& lastError) override {
    return ::MoveFileW(from.c_str(), to.c_str()) ? true : Fail(lastError);
  }

  bool MoveA(const std::string& from, const std::string& to, unsigned long& lastError) override {
    return ::MoveFileA(from.c_str(), to.c_str()) ? true : Fail(lastError);
  }

  bool Delete(const std::wstring& path, unsigned long& lastError) override {
    return ::DeleteFileW(path.c_str()) ? true : Fail(lastError);
  }

  bool SetAttributes(const std::wstring& path, std::uint32_t attributes, unsigned long& lastError) override {
    return ::SetFileAttributesW(path.c_str(), attributes) ? true : Fail(lastError);
  }

  std::uint32_t GetAttributes(const std::wstring& path) override { return ::GetFileAttributesW(path.c_str()); }

  bool FindFirstSize(const std::string& pattern, std::uint64_t& size) override {
    return FirstMatchSize(::FindFirstFileA, pattern.c_str(), size);
  }

  bool FindFirstSizeW(const std::wstring& pattern, std::uint64_t& size) override {
    return FirstMatchSize(::FindFirstFileW, pattern.c_str(), size);
  }

  unsigned long SearchPathW(const std::wstring& fileName, unsigned long bufferChars, std::wstring& found) override {
    return BufferCall<wchar_t>(bufferChars, found, [&](unsigned long chars, wchar_t* buffer) {
      return ::SearchPathW(nullptr, fileName.c_str(), nullptr, chars, buffer, nullptr);
    });
  }

  unsigned long SearchPathA(const std::string& fileName, unsigned long bufferChars, std::string& found) override {
    return BufferCall<char>(bufferChars, found, [&](unsigned long chars, char* buffer) {
      return ::SearchPathA(nullptr, fileName.c_str(), nullptr, chars, buffer, nullptr);
    });
  }

  unsigned long GetLongPathNameW(const std::wstring& path, unsigned long bufferChars, std::wstring& longPath) override {
    return BufferCall<wchar_t>(bufferChars, longPath, [&](unsigned long chars, wchar_t* buffer) {
      return ::GetLongPathNameW(path.c_str(), buffer, chars);
    });
  }

  std::wstring ExpandEnvironmentStrings(const std::wstring& text) override {
    std::vector<wchar_t> buffer(text.size() + 256);
    for (int attempt = 0; attempt < 4; ++attempt) {
      const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
      if (needed == 0) return text;
      if (needed <= buffer.size()) return std::wstring(buffer.data());
      if (needed > kMaxPathChars) return text;
      buffer.resize(needed);
    }
    return text;
  }

  std::wstring ProgramFolder() override {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
      const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) return L"";
      if (length < buffer.size()) {
        std::wstring path(buffer.data(), length);
        const auto slash = path.find_last_of(L"\\/");
        return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
      }
      if (buffer.size() >= kMaxPathChars) return L"";
      buffer.resize(buffer.size() * 2);
    }
  }

  std::wstring TempFolder() override {
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH + 1) return L"C:\\";
    std::wstring folder(buffer, length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
  }
};

}  // namespace

namespace detail {
IFileSystem& Win32Files() {
  static Win32FilesImpl files;
  return files;
}
}  // namespace detail

}  // namespace platform

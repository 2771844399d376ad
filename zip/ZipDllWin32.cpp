// vbzip10.dll: the Info-ZIP Zip DLL interface over the archive writer, with the files reached through
// the Win32 API. Names arrive in the ANSI code page; files are opened by their UTF-16 form and names are
// stored in UTF-8, so that no code page's byte values are taken for "\" or "/".
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/Win32Handle.h"
#include "zip/ZipDll.h"
#include "zip/ZipOptions.h"
#include "zip/ZipWriter.h"

namespace {

using platform::win32::FileHandle;

// Texts in the ANSI code page, UTF-16 and UTF-8. A conversion that fails gives an empty text.
std::wstring AnsiToWide(const char* text) {
  const int chars = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (chars <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide.data(), chars);
  wide.resize(static_cast<std::size_t>(chars) - 1);
  return wide;
}

std::string WideTo(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string text(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), bytes, nullptr, nullptr);
  return text;
}

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), chars);
  return wide;
}

// UTF-8 to the ANSI code page; a character that the code page lacks becomes its default character.
std::string Utf8ToAnsi(const std::string& text) { return WideTo(CP_ACP, Utf8ToWide(text)); }

// A relative path taken from `root` when there is one: a path is relative unless it starts with "\" or
// "/" or a drive.
std::wstring FromRoot(const std::wstring& root, const std::wstring& path) {
  const bool rooted = (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) || (path.size() >= 2 && path[1] == L':');
  if (root.empty() || rooted) return path;
  const bool separated = root.back() == L'\\' || root.back() == L'/';
  return root + (separated ? L"" : L"\\") + path;
}

constexpr DWORD kMostPerCall = 1u << 20;  // bytes per ReadFile or WriteFile call

class Win32Source final : public zip::ISource {
 public:
  explicit Win32Source(FileHandle file) : file_(std::move(file)) {}

  bool Read(std::span<std::uint8_t> buffer, std::size_t& got) override {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), kMostPerCall));
    if (!::ReadFile(file_.Get(), buffer.data(), want, &read, nullptr)) return false;
    got = read;
    return true;
  }

  bool Rewind() override {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN) != FALSE;
  }

 private:
  FileHandle file_;
};

// The archive under a temporary name in the folder of the final one, renamed when complete.
class Win32Sink final : public zip::ISink {
 public:
  Win32Sink(FileHandle file, std::wstring tempPath, std::wstring finalPath)
      : file_(std::move(file)), tempPath_(std::move(tempPath)), finalPath_(std::move(finalPath)) {}
  ~Win32Sink() override {
    if (committed_) return;
    file_.Reset();
    ::DeleteFileW(tempPath_.c_str());
  }
  Win32Sink(const Win32Sink&) = delete;
  Win32Sink& operator=(const Win32Sink&) = delete;

  bool Write(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kMostPerCall));
      if (!::WriteFile(file_.Get(), bytes.data(), chunk, &written, nullptr) || written == 0) return false;
      bytes = bytes.subspan(written);
    }
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN) != FALSE;
  }

  std::int32_t Commit() override {
    if (!::SetEndOfFile(file_.Get())) return kZipErrorWrite;
    // Closed here, not by the owner, for its result: a write the system put off can still fail now.
    if (!::CloseHandle(file_.Release())) return kZipErrorWrite;
    if (!::MoveFileExW(tempPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING)) return kZipErrorCreate;
    committed_ = true;
    return kZipOk;
  }

 private:
  FileHandle file_;
  std::wstring tempPath_;
  std::wstring finalPath_;
  bool committed_ = false;
};

class Win32Files final : public zip::IFiles {
 public:
  Win32Files(std::wstring root, std::wstring archive) : root_(std::move(root)), archive_(std::move(archive)) {}

  std::unique_ptr<zip::ISource> Open(const std::string& path, zip::FileFacts& facts) override {
    const std::wstring wide = FromRoot(root_, Utf8ToWide(path));
    if (wide.empty()) return nullptr;
    FileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info)) return nullptr;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return nullptr;
    FILETIME local{};
    SYSTEMTIME time{};
    if (!::FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) || !::FileTimeToSystemTime(&local, &time)) return nullptr;
    const zip::DosStamp stamp = zip::DosTimeStamp(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    auto source = std::make_unique<Win32Source>(std::move(file));
    facts.size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    facts.dosTime = stamp.time;
    facts.dosDate = stamp.date;
    facts.dosAttributes = static_cast<std::uint8_t>(info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    return source;
  }

  std::unique_ptr<zip::ISink> Create() override {
    std::vector<wchar_t> full(MAX_PATH * 4, L'\0');
    const DWORD chars = ::GetFullPathNameW(archive_.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (chars == 0 || chars >= full.size()) return nullptr;
    const std::wstring finalPath(full.data(), chars);
    const std::wstring folder = finalPath.substr(0, finalPath.find_last_of(L"\\/") + 1);
    wchar_t temp[MAX_PATH] = {};
    if (folder.empty() || ::GetTempFileNameW(folder.c_str(), L"zi", 0, temp) == 0) return nullptr;
    FileHandle file(::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
      ::DeleteFileW(temp);
      return nullptr;
    }
    return std::make_unique<Win32Sink>(std::move(file), temp, finalPath);
  }

 private:
  std::wstring root_;
  std::wstring archive_;
};

// Prints a message through the print callback, in the ANSI code page.
void Print(const ZipCallbackTable& callbacks, const std::string& utf8) {
  if (callbacks.print == nullptr) return;
  const std::string ansi = Utf8ToAnsi(utf8);
  callbacks.print(ansi.c_str(), static_cast<std::uint32_t>(ansi.size()));
}

class CallbackProgress final : public zip::IProgress {
 public:
  CallbackProgress(const ZipCallbackTable& callbacks, bool quiet) : callbacks_(callbacks), quiet_(quiet) {}

  bool Adding(const std::string& storedName, std::uint64_t size) override {
    if (callbacks_.service == nullptr) return true;
    const std::string ansi = Utf8ToAnsi(storedName);
    return callbacks_.service(ansi.c_str(), static_cast<std::uint32_t>(size)) == 0;
  }
  void Added(const zip::EntryReport& entry) override {
    if (!quiet_) Print(callbacks_, zip::AddingLine(entry));
  }

 private:
  const ZipCallbackTable& callbacks_;
  bool quiet_;
};

// What ZpInit and ZpSetOptions left for the next runs; the texts of the record point into `texts`.
ZipCallbackTable gCallbacks{};
struct KeptOptions {
  ZipOptionRecord record{};
  std::string texts[3];
};
KeptOptions gOptions;

zip::Outcome Run(std::int32_t count, const char* archiveName, const ZipNameList* names,
                 const ZipCallbackTable& callbacks) {
  if (count < 0 || count > kZipNameListEntries || (count > 0 && names == nullptr)) {
    return {kZipErrorParameters, "name list of " + std::to_string(count)};
  }
  if (archiveName == nullptr || *archiveName == '\0') return {kZipErrorParameters, "no archive name"};
  zip::Settings settings;
  if (zip::Outcome o = zip::ReadOptions(gOptions.record, settings); o.result != kZipOk) return o;

  const std::wstring root = settings.rootFolder.empty() ? std::wstring() : AnsiToWide(settings.rootFolder.c_str());
  const std::wstring archive = AnsiToWide(archiveName);
  if (archive.empty() || (root.empty() && !settings.rootFolder.empty())) {
    return {kZipErrorParameters, "name not in the ANSI code page"};
  }
  zip::Job job;
  job.archiveName = WideTo(CP_UTF8, archive);
  job.junkFolderNames = settings.junkFolderNames;
  job.level = settings.level;
  for (std::int32_t i = 0; i < count; ++i) {
    const char* name = names->names[i];
    if (name == nullptr) return {kZipErrorParameters, "name " + std::to_string(i) + " missing"};
    const std::wstring wide = AnsiToWide(name);
    if (wide.empty()) return {kZipErrorParameters, "name " + std::to_string(i) + " empty or not in the ANSI code page"};
    job.paths.push_back(WideTo(CP_UTF8, wide));
  }
  Win32Files files(root, FromRoot(root, archive));
  CallbackProgress progress(callbacks, settings.quiet);
  return zip::WriteArchive(job, files, progress);
}

// The result of an exception that reached an export.
zip::Outcome CaughtOutcome() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return {kZipErrorMemory, {}};
  } catch (const std::exception& e) {
    try {
      return {kZipErrorLogic, e.what()};
    } catch (const std::bad_alloc&) {
      return {kZipErrorMemory, {}};
    }
  } catch (...) {
    return {kZipErrorLogic, {}};
  }
}

}  // namespace

extern "C" {

std::int32_t ZIP_API ZpInit(const ZipCallbackTable* callbacks) {
  if (callbacks == nullptr) return 0;
  gCallbacks = *callbacks;
  return 1;
}

std::int32_t ZIP_API ZpSetOptions(const ZipOptionRecord* options) {
  if (options == nullptr) return 0;
  // An exception barrier: only copying the texts can fail, and then the earlier options stay and the
  // result is 0.
  char* ZipOptionRecord::*const texts[] = {&ZipOptionRecord::date, &ZipOptionRecord::rootFolder,
                                           &ZipOptionRecord::tempFolder};
  try {
    std::string copies[3];
    for (int i = 0; i < 3; ++i) {
      if (options->*texts[i] != nullptr) copies[i] = options->*texts[i];
    }
    gOptions.record = *options;
    for (int i = 0; i < 3; ++i) {
      gOptions.texts[i] = std::move(copies[i]);
      if (options->*texts[i] != nullptr) gOptions.record.*texts[i] = gOptions.texts[i].data();
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

ZipOptionRecord ZIP_API ZpGetOptions() {
  ZipOptionRecord options = gOptions.record;
  options.encryptionSupported = 0;
  return options;
}

std::int32_t ZIP_API ZpArchive(std::int32_t count, const char* archiveName, const ZipNameList* names) {
  // An exception barrier: the caller is plain Win32 code. A failure is told through the print callback
  // as well as by the result; when even that message cannot be made, the result alone tells it.
  const ZipCallbackTable callbacks = gCallbacks;
  zip::Outcome outcome;
  try {
    outcome = Run(count, archiveName, names, callbacks);
  } catch (...) {
    outcome = CaughtOutcome();
  }
  if (outcome.result != kZipOk) {
    try {
      Print(callbacks, zip::ErrorLine(outcome));
    } catch (...) {
      // No memory for the message: the error result below still tells the caller.
    }
  }
  return outcome.result;
}

}  // extern "C"

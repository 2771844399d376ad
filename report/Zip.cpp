#include "report/Zip.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/Blanks.h"
#include "common/Error.h"
#include "platform/Platform.h"

namespace {

constexpr long kFileNotFound = 53;     // "File not found"
constexpr long kDllLoadError = 48;     // "Error in loading DLL"
constexpr long kNoEntryPoint = 453;    // "Can't find DLL entry point"
constexpr long kPathNotFound = 76;     // "Path not found"
constexpr unsigned long kErrorModNotFound = 126;
constexpr unsigned long kErrorProcNotFound = 127;

// State of the module: the run's object and the password-cancel flag of the run.
cZip* gRunning = nullptr;
bool gPasswordCancelled = false;
std::array<char, mZip::kCommentBufferSize> gComment{};

// A library call that did not reach the library, as the error the toolkit raises for it.
[[noreturn]] void LibraryError(const char* function, unsigned long lastError) {
  const std::wstring name(function, function + std::strlen(function));
  if (lastError == kErrorModNotFound) throw CError(kFileNotFound, L"File not found: vbzip10.dll");
  if (lastError == kErrorProcNotFound) {
    throw CError(kNoEntryPoint, L"Can't find DLL entry point " + name + L" in vbzip10.dll");
  }
  throw CError(kDllLoadError, L"Error in loading DLL vbzip10.dll (" + platform::System().ErrorText(
                                  static_cast<std::uint32_t>(lastError)) + L")");
}

std::optional<std::string> ToAnsi(const std::optional<std::wstring>& text) {
  if (!text) return std::nullopt;
  return platform::System().ToAnsi(*text);
}

std::optional<std::wstring> FromAnsi(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return platform::System().FromAnsi(*text);
}

}  // namespace

// --- cZip ------------------------------------------------------------------------------------------

cZip::cZip() {
  SetStoreDirectories(false);
  SetStoreFolderNames(false);
  SetRecurseSubDirs(false);
}

cZip::~cZip() { mZip::Forget(this); }

std::int32_t cZip::MessageLevel() const noexcept {
  if (options_.fVerbose != 0) return 0;
  if (options_.fQuiet != 0) return 1;
  return 2;
}

void cZip::SetMessageLevel(std::int32_t eLevel) noexcept {
  switch (eLevel) {
    case 0: options_.fVerbose = 1, options_.fQuiet = 0; break;
    case 1: options_.fQuiet = 1, options_.fVerbose = 0; break;
    case 2: options_.fVerbose = 0, options_.fQuiet = 0; break;
    default: break;
  }
}

std::int32_t cZip::AddFileSpec(const std::wstring& sSpec) {
  specs_.push_back(sSpec);
  return 0;
}

std::wstring cZip::FileSpec(std::int32_t nIndex) const {
  if (nIndex < 1 || nIndex > FileSpecCount()) throw CError(err::kSubscriptOutOfRange, L"Subscript out of range");
  return specs_[static_cast<std::size_t>(nIndex - 1)];
}

void cZip::Zip() { mZip::RunArchive(*this, options_, specs_, FileSpecCount()); }

void cZip::Delete() {
  options_.fDeleteEntries = 1;
  try {
    mZip::RunArchive(*this, options_, specs_, FileSpecCount());
  } catch (...) {
    options_.fDeleteEntries = 0;  // a failed run must not leave later runs deleting
    throw;
  }
  options_.fDeleteEntries = 0;
}

void cZip::RaiseCancelEvent(const std::wstring& sMsg, bool& bCancel) {
  if (CancelRequest) CancelRequest(sMsg, bCancel);
}

void cZip::RaisePasswordRequest(std::wstring& sPassword, bool& bCancel) {
  if (PasswordRequest) PasswordRequest(sPassword, bCancel);
}

void cZip::RaiseProgressEvent(const std::wstring& sMsg) {
  if (ProgressMessage) ProgressMessage(1, sMsg);
}

// --- mZip ------------------------------------------------------------------------------------------

namespace mZip {

std::int32_t RunArchive(cZip& Zip, cZip::ZipOptionRecord& Options, const std::vector<std::wstring>& Specs,
                        std::int32_t Count) {
  gRunning = &Zip;
  gPasswordCancelled = false;
  platform::IZipLibrary& library = platform::ZipLibrary();
  unsigned long lastError = 0;

  const std::wstring basePath = Options.rootDir.value_or(L"");
  if (!qn::IsSpacesOnly(basePath) && !library.ChangeDirectory(basePath, lastError)) {
    throw CError(kPathNotFound, L"Path not found: " + basePath);
  }

  platform::ZipCallbacks callbacks;
  callbacks.print = FnPtr(&PrintCallback);
  callbacks.password = FnPtr(&PasswordCallback);
  callbacks.comment = FnPtr(&CommentCallback);
  callbacks.service = FnPtr(&ServiceCallback);
  std::int32_t ignored = 0;
  if (!library.ZpInit(callbacks, ignored, lastError)) LibraryError("ZpInit", lastError);

  platform::ZipOptions ansi;
  ansi.date = ToAnsi(Options.date);
  ansi.rootDir = ToAnsi(Options.rootDir);
  ansi.tempDir = ToAnsi(Options.tempDir);
  platform::CopyZipFlags(Options, ansi);
  if (!library.ZpSetOptions(ansi, ignored, lastError)) LibraryError("ZpSetOptions", lastError);
  // What the library left in the record comes back; texts it did not change keep their own form.
  auto back = [](const std::optional<std::wstring>& before, const std::optional<std::string>& sent,
                 const std::optional<std::string>& after) { return after == sent ? before : FromAnsi(after); };
  Options.date = back(Options.date, ToAnsi(Options.date), ansi.date);
  Options.rootDir = back(Options.rootDir, ToAnsi(Options.rootDir), ansi.rootDir);
  Options.tempDir = back(Options.tempDir, ToAnsi(Options.tempDir), ansi.tempDir);
  platform::CopyZipFlags(ansi, Options);

  if (Count > kMaxSpecs || Count < 0 || static_cast<std::size_t>(Count) > Specs.size()) {
    throw CError(err::kSubscriptOutOfRange, L"Subscript out of range");
  }
  platform::ZipNameList names;
  for (std::int32_t i = 0; i < Count; ++i) {
    names.entries[static_cast<std::size_t>(i)] = platform::System().ToAnsi(Specs[static_cast<std::size_t>(i)]);
  }
  names.entries[static_cast<std::size_t>(Count) + 1] = std::string();

  std::int32_t result = 0;
  if (!library.ZpArchive(Count, platform::System().ToAnsi(Zip.ZipFile()), names, result, lastError)) {
    LibraryError("ZpArchive", lastError);
  }
  return result;
}

std::int32_t PrintCallback(const char* Text, std::uint32_t Length) noexcept {
  try {
    if (Length > 1 && Length < 32000 && Text != nullptr) {
      std::string buffer(Text, Length);  // the library's bytes, then cut at the first NUL
      buffer = buffer.substr(0, buffer.find('\0'));
      std::wstring text = platform::System().FromAnsi(buffer);
      SlashesToBackslashes(text);
      if (gRunning != nullptr) gRunning->RaiseProgressEvent(text);
    }
  } catch (...) {
    // Errors inside the zip callbacks are ignored, unlogged: nothing may cross into the library.
  }
  return 0;
}

std::int32_t PasswordCallback(char* Buffer, std::int32_t Size, const char* Prompt, const char* Name) noexcept {
  if (gPasswordCancelled) return 1;
  std::wstring password;
  bool cancel = false;
  try {
    if (gRunning != nullptr) gRunning->RaisePasswordRequest(password, cancel);
  } catch (...) {
    // Errors inside the zip callbacks are ignored, unlogged: the callback goes on with its next step.
  }
  try {
    if (qn::IsSpacesOnly(password) || cancel) {
      gPasswordCancelled = true;
      return 1;
    }
    if (Buffer == nullptr || Size < 1) return 1;  // nowhere to put it
    const std::string ansi = platform::System().ToAnsi(password);
    const std::size_t n =
        std::min({ansi.size(), kMaxPasswordBytes, static_cast<std::size_t>(Size) - 1});
    std::memcpy(Buffer, ansi.data(), n);
    Buffer[n] = '\0';
    return 0;
  } catch (...) {
    // Errors inside the zip callbacks are ignored, unlogged: no password was copied.
    return 1;
  }
}

const char* CommentCallback(char* Buffer) noexcept {
  gComment[0] = '\0';
  return gComment.data();
}

std::int32_t ServiceCallback(const char* Name, std::uint64_t Size) noexcept { return 0; }

void SlashesToBackslashes(std::wstring& Text) { std::replace(Text.begin(), Text.end(), L'/', L'\\'); }

void Forget(const cZip* zip) noexcept {
  if (gRunning == zip) gRunning = nullptr;
}

}  // namespace mZip

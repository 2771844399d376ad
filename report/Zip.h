#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ZipLibrary.h"

// A zip archive to make with the zip library "vbzip10.dll": the archive's name, the base folder, the
// option flags and a list of file specifications. Zip and Delete run the library through mZip, whose
// callbacks raise this object's events while the run lasts.
//
// A new object stores no directory entries, no folder names and does not recurse: the
// no-directory-entries flag 1, the junk-folder-names flag 1, recurse 0, every other field 0, the texts
// unset and the list empty.
class cZip {
 public:
  // The option record as cZip keeps it: texts as the program's text, handed to the library in the ANSI
  // code page. A text never set reaches the library as a null pointer.
  using ZipOptionRecord = platform::ZipOptionFields<std::wstring>;

  cZip();
  ~cZip();
  cZip(const cZip&) = delete;
  cZip& operator=(const cZip&) = delete;

  // --- Properties: a Get and a Let each ------------------------------------------------------------
  const std::wstring& ZipFile() const noexcept { return zipFile_; }
  void SetZipFile(const std::wstring& sFileName) { zipFile_ = sFileName; }
  // The root folder; "" while unset.
  std::wstring BasePath() const { return options_.rootDir.value_or(L""); }
  void SetBasePath(const std::wstring& sBasePath) { options_.rootDir = sBasePath; }
  bool Encrypt() const noexcept { return options_.fEncrypt != 0; }
  void SetEncrypt(bool bState) noexcept { options_.fEncrypt = bState ? 1 : 0; }
  bool IncludeSystemAndHiddenFiles() const noexcept { return options_.fSystem != 0; }
  void SetIncludeSystemAndHiddenFiles(bool bState) noexcept { options_.fSystem = bState ? 1 : 0; }
  bool StoreVolumeLabel() const noexcept { return options_.fVolume != 0; }
  void SetStoreVolumeLabel(bool bState) noexcept { options_.fVolume = bState ? 1 : 0; }
  // The no-directory-entries flag, inverted.
  bool StoreDirectories() const noexcept { return options_.fNoDirEntries == 0; }
  void SetStoreDirectories(bool bState) noexcept { options_.fNoDirEntries = bState ? 0 : 1; }
  // The junk-folder-names flag, inverted.
  bool StoreFolderNames() const noexcept { return options_.fJunkDir == 0; }
  void SetStoreFolderNames(bool bState) noexcept { options_.fJunkDir = bState ? 0 : 1; }
  // The recurse field: 2 for True, 0 for False.
  bool RecurseSubDirs() const noexcept { return options_.fRecurse != 0; }
  void SetRecurseSubDirs(bool bState) noexcept { options_.fRecurse = bState ? 2 : 0; }
  bool UpdateOnlyIfNewer() const noexcept { return options_.fUpdate != 0; }
  void SetUpdateOnlyIfNewer(bool bState) noexcept { options_.fUpdate = bState ? 1 : 0; }
  bool FreshenFiles() const noexcept { return options_.fFreshen != 0; }
  void SetFreshenFiles(bool bState) noexcept { options_.fFreshen = bState ? 1 : 0; }
  // 0 verbose, 1 quiet, 2 neither. Let with another value changes nothing. Get: 0 when verbose is set,
  // else 1 when quiet is set, else 2.
  std::int32_t MessageLevel() const noexcept;
  void SetMessageLevel(std::int32_t eLevel) noexcept;
  bool ConvertCRLFToLF() const noexcept { return options_.fCRLF_LF != 0; }
  void SetConvertCRLFToLF(bool bState) noexcept { options_.fCRLF_LF = bState ? 1 : 0; }
  bool ConvertLFToCRLF() const noexcept { return options_.fLF_CRLF != 0; }
  void SetConvertLFToCRLF(bool bState) noexcept { options_.fLF_CRLF = bState ? 1 : 0; }

  // --- Methods ------------------------------------------------------------------------------------
  void ClearFileSpecs() noexcept { specs_.clear(); }
  // Appends `sSpec` to the list; always 0.
  std::int32_t AddFileSpec(const std::wstring& sSpec);
  std::int32_t FileSpecCount() const noexcept { return static_cast<std::int32_t>(specs_.size()); }
  // Spec `nIndex`, counted from 1: CError 9 (subscript out of range) outside 1 to FileSpecCount.
  std::wstring FileSpec(std::int32_t nIndex) const;
  // The grow flag: Let writes 1 or 0; Get is True only for 1.
  bool AllowAppend() const noexcept { return options_.fGrow == 1; }
  void SetAllowAppend(bool bState) noexcept { options_.fGrow = bState ? 1 : 0; }
  // Runs the library over the list (mZip::RunArchive) and drops its result. Errors are not caught: a
  // missing library, a base folder that cannot be made current or more than 1,022 specs reach the
  // caller as CErrors.
  void Zip();
  // The same with the delete-entries flag set for the run (and 0 again after it, also after an error).
  void Delete();

  // --- Events, raised on the run's object by mZip's callbacks -------------------------------------
  std::function<void(const std::wstring& sMsg, bool& bCancel)> CancelRequest;
  std::function<void(std::wstring& sPassword, bool& bCancel)> PasswordRequest;
  std::function<void(std::int32_t lCount, const std::wstring& sMsg)> ProgressMessage;

  // The operations through which mZip raises the events (program-internal). RaiseProgressEvent gives
  // lCount 1. An event without a handler changes nothing.
  void RaiseCancelEvent(const std::wstring& sMsg, bool& bCancel);
  void RaisePasswordRequest(std::wstring& sPassword, bool& bCancel);
  void RaiseProgressEvent(const std::wstring& sMsg);

  // The option record as it stands (what the next run hands to the library).
  const ZipOptionRecord& Options() const noexcept { return options_; }

 private:
  std::wstring zipFile_;
  ZipOptionRecord options_;
  std::vector<std::wstring> specs_;  // spec i at index i - 1
};

// The code module that runs the library for cZip and holds its callbacks. It keeps the cZip of the run
// in progress from the start of a run until the next run replaces it or that object goes away.
namespace mZip {

// The largest count of specs the library's name list can take.
constexpr std::int32_t kMaxSpecs = 1022;
// The password bytes copied into the library's buffer at most.
constexpr std::size_t kMaxPasswordBytes = 254;
// The size of the comment buffer the comment callback returns.
constexpr std::size_t kCommentBufferSize = 4097;

// Returns its argument: how the callbacks' addresses are taken for the library's table.
template <class Fn>
constexpr Fn FnPtr(Fn Value) noexcept {
  return Value;
}

// One run of the library: keeps `Zip` as the run's object and clears the password-cancel flag, makes a
// base folder that is not blank the current folder, hands the callbacks (ZpInit) and the ANSI form of
// `Options` (ZpSetOptions, whose changes come back into `Options`) to the library, builds the name
// list of `Specs` 1 to `Count` and calls ZpArchive, whose result it returns. Catches nothing: a
// missing library (CError 53), a missing function (453), an unloadable library (48), a folder that
// cannot be made current (76) and a Count above kMaxSpecs (9, before ZpArchive) reach the caller.
std::int32_t RunArchive(cZip& Zip, cZip::ZipOptionRecord& Options, const std::vector<std::wstring>& Specs,
                        std::int32_t Count);

// The callbacks, called by the library on the program's thread while ZpArchive runs. Each is an
// exception barrier: an error inside is ignored (nothing is logged) and the callback goes on with its
// next step.
//
// print: only a Length from 2 to 31,999 with a Text raises ProgressMessage(1, text), the text read
// from the ANSI code page, cut at its first NUL, every "/" turned into "\". Returns 0.
std::int32_t PrintCallback(const char* Text, std::uint32_t Length) noexcept;
// password: 1 at once once a request of this run was refused; else asks PasswordRequest (empty
// password, bCancel False); a blank password or bCancel refuses (sets the flag, returns 1). Otherwise
// copies the password's ANSI bytes into Buffer, at most kMaxPasswordBytes and at most Size - 1 of
// them, ends them with a NUL within Size, and returns 0.
std::int32_t PasswordCallback(char* Buffer, std::int32_t Size, const char* Prompt, const char* Name) noexcept;
// comment: the module's kCommentBufferSize-byte comment buffer with its first byte 0 (no comment).
const char* CommentCallback(char* Buffer) noexcept;
// service: 0 (go on) in every case.
std::int32_t ServiceCallback(const char* Name, std::uint64_t Size) noexcept;

// Turns every "/" of `Text` into "\".
void SlashesToBackslashes(std::wstring& Text);

// Forgets `zip` when it is the run's object; cZip's destructor calls it.
void Forget(const cZip* zip) noexcept;

}  // namespace mZip

#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "platform/Types.h"

// The running processes and what they have loaded; ending them, and renaming files to their parasite
// names. Holds no data beyond the error code of its last failed rename; each user creates its own
// instance. The NT family is read through psapi, the 9x family through Toolhelp snapshots;
// MAPI::gbIsNT chooses. Every path that the enumeration stores is passed through
// MWDL::goFilenameResolver->GetFullFileNameFromShortFilename first.
class CProcessManager {
 public:
  // One item per running process, in the system's order: Name = the full path of its image, Children =
  // its modules (NT: from the second module on, so the image is not repeated; 9x: every module of the
  // snapshot, the image among them). A process that cannot be opened or whose module list cannot be
  // read is left out without a log line. After an error (a refused process listing among them): null
  // (the error is logged at level 0).
  std::shared_ptr<CItemList> EnumProcesses();

  // Sizes of the NT listings: the module handle table and the path buffer, in characters.
  static constexpr std::uint32_t kModuleTableSize = 1024;
  static constexpr std::uint32_t kPathChars = 260;

  // A set of files by full path: item = the path, key = "_" + the path (the remover's selection).
  using CFileSet = CKeyedCollection<std::wstring>;

  // Ends every running process that has one of `Modules` loaded, as its image or as a module, matched
  // by the path exactly as the system reports it (keys compare without regard to case). Other processes
  // end in the order the system lists them, each logged; a process that cannot be opened or listed is
  // left running without a log line, one that refuses to end gets a level-0 line. With
  // `TerminateOwnProcess`, when this program has one of the files loaded, it ends last, after a message
  // box: the call then does not return. No error handler: an error (a refused process listing, ...)
  // reaches the caller, and the processes ended so far stay ended. An empty set lists nothing.
  void TerminateProcessesByModules(const CFileSet& Modules, bool TerminateOwnProcess);

  // Renames each file of `ParasiteFiles` in place to its parasite name (MAPI::MakeParasiteFileName; a
  // stream path "C:\dir\x.dll:s" renames the file before the colon) and records each success under
  // kRemovedFilesKey. Files that do not rename at once are tried once more after the processes that
  // have any file of the set loaded were ended (not this program) and a pause of one to two seconds
  // that keeps serving window messages. Every step is logged; an error is logged at level 0 and ends
  // the call, leaving the renames done so far in place with their records. A renamed file whose record
  // cannot be written is logged at level 0 with both names.
  void RenameParasiteFilesEx(const CFileSet& ParasiteFiles);

  // The program's one file rename: clears the attributes of `OldFilename` to archive only, then moves
  // (wide calls on the NT family, narrow ones on 9x). A file already at `NewFilename` is replaced: it is
  // moved aside beside itself first, deleted once the move has succeeded, and given its name back when
  // the move is refused. True when the file now has the new name; false after a failure, which is
  // logged (level 5, or level 0 for an error) and whose system error code LastRenameError() then gives.
  bool SafeRenameFile(const std::wstring& OldFilename, const std::wstring& NewFilename);
  // The Win32 error code of the last failed SafeRenameFile of this object; 0 after a success or when
  // the failure was an error rather than a refused move.
  std::uint32_t LastRenameError() const noexcept { return mnLastRenameError; }

  // The record of renamed files: under HKEY_CURRENT_USER, one text value per file whose name and data
  // are the file's full path before its renaming.
  static constexpr wchar_t kRemovedFilesKey[] = L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files";

 private:
  // Both variants: the list, or null after an error (logged at level 0 under their own source tag).
  std::shared_ptr<CItemList> EnumProcessesNT();
  std::shared_ptr<CItemList> EnumProcesses95();

  // The text before its first NUL character; the whole text when it has none.
  static std::wstring StripNull(const std::wstring& Text);

  // The ids of the running processes (psapi), in the system's order. Throws CError (0x80070000 | the
  // system's error code) when the system refuses the listing.
  static std::vector<std::uint32_t> ListProcessIds();
  // The module handles of an open process, the image first. False when the list cannot be read
  // (`modules` then holds nothing of use).
  static bool ListModules(platform::Handle process, std::vector<platform::Handle>& modules);
  // The path of one module of an open process as the system reports it (not resolved); "" when the
  // query fails. A longer path arrives cut to the buffer's length.
  static std::wstring ModulePath(platform::Handle process, platform::Handle module);

  // The two ways of finding the processes to end; both hand the kill list to TerminateProcesses.
  void TerminateProcessesByModulesNT(const CFileSet& Modules, bool TerminateOwnProcess);
  void TerminateProcessesByModules95(const CFileSet& Modules, bool TerminateOwnProcess);
  // Ends the processes of the kill list (item = id, key = "_" + id) in its order, this program's own
  // process last, after its message box.
  void TerminateProcesses(const CKeyedCollection<std::uint32_t>& Pids);
  // Ends one open process with exit code 0 and logs the outcome under `Label`.
  void MyTerminateProcess(platform::Handle hProcess, const std::wstring& Label);

  // Renames one file of the selection and records it; true when it was renamed.
  bool RenameParasiteFile(const std::wstring& FileName);
  bool RenameFileNT(const std::wstring& Source, const std::wstring& Target);
  bool RenameFile9x(const std::wstring& Source, const std::wstring& Target);
  // Writes the record of a renamed file; a record that cannot be written is logged at level 0 with both
  // names.
  static void RecordRemovedFile(const std::wstring& FileName, const std::wstring& ParasiteName);
  // Waits until the clock, in whole seconds, has gone two seconds on, serving window messages.
  static void PauseServingMessages();

  std::uint32_t mnLastRenameError = 0;
};

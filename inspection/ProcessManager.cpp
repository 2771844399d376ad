#include "inspection/ProcessManager.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "common/Blanks.h"
#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "inspection/Hashier.h"
#include "inspection/InspectionHelpers.h"
#include "platform/Platform.h"
#include "shell/MAPI.h"

using MWDL::LogError;
using inspection_detail::Resolver;
using platform::Handle;
using platform::kNoHandle;

namespace {

// Access rights of the listing: PROCESS_QUERY_INFORMATION with PROCESS_VM_READ.
constexpr std::uint32_t kListingAccess = platform::kProcessQueryInformation | platform::kProcessVmRead;

// The id buffer stops growing here (a million bytes, 262,144 ids); a system that still fills it is
// read as far as the buffer goes.
constexpr std::uint32_t kMaxIdBufferBytes = 1u << 20;

// A failed psapi listing as the program's error: number 0x80070000 | code, the system's text for the code.
[[noreturn]] void ThrowListingError() {
  const std::uint32_t code = platform::Processes().LastError();
  throw CError(err::FromWin32(code), L"EnumProcesses failed: " + platform::System().ErrorText(code));
}

// A fixed-size narrow Toolhelp text field as text: all of its bytes, in the system's ANSI code page.
// StripNull then cuts it at its terminating NUL, which the field need not hold.
std::wstring FieldText(const char (&field)[260]) {
  return platform::System().FromAnsi(std::string(field, sizeof field));
}

}  // namespace

std::shared_ptr<CItemList> CProcessManager::EnumProcesses() {
  try {
    if (MAPI::gbIsNT) return EnumProcessesNT();
    return EnumProcesses95();
  } catch (...) {
    LogError(CurrentError(), kLogError, L"CProcessManager.EnumProcesses");
    return nullptr;
  }
}

std::vector<std::uint32_t> CProcessManager::ListProcessIds() {
  // Double the buffer until the system fills less than all of it. The first call has room for four ids.
  std::uint32_t size = 8;
  std::uint32_t filled = 96;
  std::vector<std::uint32_t> ids;
  while (size <= filled && size < kMaxIdBufferBytes) {
    size *= 2;
    ids.assign(size / 4, 0);
    // A failed call fills nothing: its ids would be stale zeros, so the listing fails instead.
    if (!platform::Processes().EnumProcesses(ids.data(), size, filled)) ThrowListingError();
  }
  // What the system reports is not trusted beyond the buffer it was given.
  ids.resize(std::min<std::uint32_t>(filled, size) / 4);
  return ids;
}

bool CProcessManager::ListModules(Handle process, std::vector<Handle>& modules) {
  modules.assign(kModuleTableSize, kNoHandle);
  // The first call only learns how many modules there are; it is told a quarter of the table.
  std::uint32_t needed = 0;
  platform::Processes().EnumProcessModules(process, modules.data(), kModuleTableSize / 4, needed);
  // Our own rule: a process with more modules than the table holds is read as far as the table goes,
  // its first 1024 modules, rather than failing the whole listing.
  const std::uint32_t capacity = std::min(needed, kModuleTableSize);
  if (!platform::Processes().EnumProcessModules(process, modules.data(), capacity, needed)) return false;
  // Modules loaded between the two calls were not copied; only what the table received is read.
  modules.resize(std::min(needed, capacity));
  return true;
}

std::wstring CProcessManager::ModulePath(Handle process, Handle module) {
  std::wstring buffer(kPathChars, L'\0');
  const std::uint32_t copied = platform::Processes().GetModuleFileNameExW(process, module, buffer.data(), kPathChars);
  buffer.resize(std::min(copied, kPathChars));
  return buffer;
}

std::shared_ptr<CItemList> CProcessManager::EnumProcessesNT() {
  try {
    auto list = std::make_shared<CItemList>();
    std::vector<Handle> modules;
    for (std::uint32_t id : ListProcessIds()) {
      // A process that ended since the listing, or that refuses us, is simply not listed.
      const platform::ProcessesHandle process = platform::Processes().OpenProcess(kListingAccess, false, id);
      if (!process) continue;
      if (!ListModules(process.Get(), modules)) continue;

      // The image is the first module. An empty table still asks for it, by the null module handle.
      const Handle image = modules.empty() ? kNoHandle : modules.front();
      auto item = list->Add();
      item->Name = Resolver().GetFullFileNameFromShortFilename(ModulePath(process.Get(), image));

      for (std::size_t j = 1; j < modules.size(); ++j) {
        std::wstring path = ModulePath(process.Get(), modules[j]);
        if (qn::IsSpacesOnly(path)) continue;
        item->Children().Add()->Name = Resolver().GetFullFileNameFromShortFilename(path);
      }
    }
    return list;
  } catch (...) {
    LogError(CurrentError(), kLogError, L"CProcessManager.EnumProcessesNT");
    return nullptr;
  }
}

std::shared_ptr<CItemList> CProcessManager::EnumProcesses95() {
  try {
    auto list = std::make_shared<CItemList>();
    platform::IProcesses& processes = platform::Processes();
    const platform::ProcessesHandle snapshot = processes.CreateToolhelp32Snapshot(platform::kSnapProcess, 0);
    if (!snapshot) return list;

    platform::ProcessEntry entry;
    for (bool more = processes.Process32First(snapshot.Get(), entry); more;
         more = processes.Process32Next(snapshot.Get(), entry)) {
      auto item = list->Add();
      item->Name = Resolver().GetFullFileNameFromShortFilename(StripNull(FieldText(entry.exeFile)));

      const platform::ProcessesHandle moduleSnapshot =
          processes.CreateToolhelp32Snapshot(platform::kSnapModule, entry.processId);
      if (!moduleSnapshot) continue;
      platform::ModuleEntry module;
      for (bool moreModules = processes.Module32First(moduleSnapshot.Get(), module); moreModules;
           moreModules = processes.Module32Next(moduleSnapshot.Get(), module)) {
        item->Children().Add()->Name =
            Resolver().GetFullFileNameFromShortFilename(StripNull(FieldText(module.exePath)));
      }
    }
    return list;
  } catch (...) {
    LogError(CurrentError(), kLogError, L"CProcessManager.EnumProcesses95");
    return nullptr;
  }
}

std::wstring CProcessManager::StripNull(const std::wstring& Text) {
  const std::size_t nul = Text.find(L'\0');
  return nul == std::wstring::npos ? Text : Text.substr(0, nul);
}

// ---- termination of processes by loaded module ----

namespace {

using MWDL::Log;

constexpr wchar_t kTerminateSource[] = L"CProcessManager.MyTerminateProcess";
// The error number of a process that refuses to end (E_FAIL).
constexpr long kTerminateFailed = err::FromBits(0x80004005u);

// Notes a process that has one of the files loaded: this program's own process only as found, every
// other one on the kill list (once, should the system list an id twice).
void NoteMatch(std::uint32_t id, std::uint32_t own, CKeyedCollection<std::uint32_t>& pids, bool& ownFound) {
  if (id == own) {
    ownFound = true;
  } else if (!pids.Exists(qn::NumberKey(id))) {
    pids.Add(id, qn::NumberKey(id));
  }
}

}  // namespace

void CProcessManager::TerminateProcessesByModules(const CFileSet& Modules, bool TerminateOwnProcess) {
  if (Modules.Count() == 0) return;
  if (MAPI::gbIsNT) {
    TerminateProcessesByModulesNT(Modules, TerminateOwnProcess);
  } else {
    TerminateProcessesByModules95(Modules, TerminateOwnProcess);
  }
}

void CProcessManager::TerminateProcessesByModulesNT(const CFileSet& Modules, bool TerminateOwnProcess) {
  platform::IProcesses& processes = platform::Processes();
  const std::uint32_t own = processes.GetCurrentProcessId();
  CKeyedCollection<std::uint32_t> pids;
  bool ownFound = false;
  std::vector<Handle> modules;
  for (std::uint32_t id : ListProcessIds()) {
    const platform::ProcessesHandle process = processes.OpenProcess(platform::kProcessAllAccess, false, id);
    if (!process) continue;
    if (!ListModules(process.Get(), modules)) continue;
    // The image is the first module and counts like any other; the first match decides.
    const bool matched = std::any_of(modules.begin(), modules.end(), [&](Handle module) {
      const std::wstring path = ModulePath(process.Get(), module);
      return !qn::IsSpacesOnly(path) && Modules.Exists(qn::FileKey(path));
    });
    if (matched) NoteMatch(id, own, pids, ownFound);
  }
  if (ownFound && TerminateOwnProcess) pids.Add(own, qn::NumberKey(own));
  TerminateProcesses(pids);
}

void CProcessManager::TerminateProcessesByModules95(const CFileSet& Modules, bool TerminateOwnProcess) {
  platform::IProcesses& processes = platform::Processes();
  CKeyedCollection<std::uint32_t> pids;
  bool ownFound = false;
  std::uint32_t own = 0;
  {
    const platform::ProcessesHandle snapshot = processes.CreateToolhelp32Snapshot(platform::kSnapProcess, 0);
    if (!snapshot) return;
    own = processes.GetCurrentProcessId();
    platform::ProcessEntry entry;
    for (bool more = processes.Process32First(snapshot.Get(), entry); more;
         more = processes.Process32Next(snapshot.Get(), entry)) {
      bool matched = false;
      const platform::ProcessesHandle moduleSnapshot =
          processes.CreateToolhelp32Snapshot(platform::kSnapModule, entry.processId);
      if (moduleSnapshot) {
        platform::ModuleEntry module;
        for (bool moreModules = processes.Module32First(moduleSnapshot.Get(), module); moreModules && !matched;
             moreModules = processes.Module32Next(moduleSnapshot.Get(), module)) {
          matched = Modules.Exists(qn::FileKey(StripNull(FieldText(module.exePath))));
        }
      }
      if (matched) NoteMatch(entry.processId, own, pids, ownFound);
    }
  }  // the process snapshot is closed before anything ends
  if (ownFound && TerminateOwnProcess) pids.Add(own, qn::NumberKey(own));
  TerminateProcesses(pids);
}

void CProcessManager::TerminateProcesses(const CKeyedCollection<std::uint32_t>& Pids) {
  platform::IProcesses& processes = platform::Processes();
  const std::uint32_t own = processes.GetCurrentProcessId();
  for (std::uint32_t id : Pids) {
    if (id == own) continue;
    // A process that has ended meanwhile, or that refuses to be opened, is passed over.
    const platform::ProcessesHandle process = processes.OpenProcess(platform::kProcessAllAccess, false, id);
    if (process) MyTerminateProcess(process.Get(), std::to_wstring(id));
  }
  if (!Pids.Exists(qn::NumberKey(own))) return;
  const platform::ProcessesHandle process = processes.OpenProcess(platform::kProcessAllAccess, false, own);
  if (!process) return;
  MAPI::MyMsgBox(L"Operation complete; terminating. Please reboot Windows. ", MAPI::kStyleInformation, L"");
  MyTerminateProcess(process.Get(), L"my:" + std::to_wstring(own));
}

void CProcessManager::MyTerminateProcess(Handle hProcess, const std::wstring& Label) {
  platform::IProcesses& processes = platform::Processes();
  if (processes.TerminateProcess(hProcess, 0)) {
    Log(0, Utilities().FormatString(L"Process for file '%1' terminated successfully. ", {Label}), kLogInfo,
        kTerminateSource);
    return;
  }
  const long long code = processes.LastError();
  Log(kTerminateFailed, Utilities().FormatString(L"Cannot terminate process for file '%1'. %2", {Label, code}),
      kLogError, kTerminateSource);
}

// ---- renaming to parasite names ----

namespace {

constexpr wchar_t kRenameFilesSource[] = L"CProcessManager.RenameParasiteFilesEx";
constexpr wchar_t kRenameFileSource[] = L"CProcessManager.RenameParasiteFile";

// A colon from this 0-based position on ends the file's name and starts the name of one of its
// streams; the colons before it belong to a drive ("C:") or a device.
constexpr std::size_t kFirstStreamColon = 5;

// The pause before the second attempt: until the clock has gone this many whole seconds on. Should the
// clock be set back meanwhile, the tick counter ends the pause after as long.
constexpr std::int64_t kPauseSeconds = 2;
constexpr std::uint32_t kPauseLimitMs = 2000;
constexpr std::uint32_t kPauseSliceMs = 10;

CHashier& Hashier() { return Required(MWDL::goHashier); }

// Seconds since 1970-01-01 of a local date and time, by the calendar alone.
std::int64_t SecondsOf(const platform::LocalTime& t) {
  using namespace std::chrono;
  const sys_days day = year_month_day(year(t.year), month(static_cast<unsigned>(t.month)),
                                      std::chrono::day(static_cast<unsigned>(t.day)));
  return static_cast<std::int64_t>(day.time_since_epoch().count()) * 86400 + t.hour * 3600LL + t.minute * 60LL +
         t.second;
}

// The name as UTF-16LE bytes, for the printable form in the log.
std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (wchar_t c : text) {
    const auto unit = static_cast<std::uint16_t>(c);
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// The two families' renames: the wide calls (NT) or the narrow ones (9x), each with its log's source tags.
struct RenameFamily {
  bool narrow;
  const wchar_t* source;         // the success and failure lines
  const wchar_t* encodedSource;  // the line with the encoded name
  const wchar_t* errorSource;    // the error handler's line
};
constexpr RenameFamily kRenameNT{false, L"CProcessManager.RenameFileNT", L"CProcessManager.RenameParasiteFileNT",
                                 L"CProcessManager.RenameFileNT"};
constexpr RenameFamily kRename9x{true, L"CProcessManager.RenameFile9x", L"CProcessManager.RenameFile9x",
                                 L"CProcessManager.RenameParasiteFile9x"};

// A file already at the target name is set aside under this name beside it (with a number from the
// second try on) while the move runs.
constexpr wchar_t kAsideSuffix[] = L".replaced";
constexpr int kAsideTries = 10;

// Moves `from` to `to` with the family's own call: wide, or narrow by the ANSI code page.
bool Move(const RenameFamily& family, const std::wstring& from, const std::wstring& to, unsigned long& code) {
  if (!family.narrow) return platform::Files().MoveW(from, to, code);
  platform::ISystem& system = platform::System();
  return platform::Files().MoveA(system.ToAnsi(from), system.ToAnsi(to), code);
}

// A file at the target name makes way for the move, and is replaced only when the move succeeds: it is
// moved aside first (losing read-only, hidden and system), deleted once the move has succeeded, and
// given its name back when the move is refused, so that a refused move loses nothing. Every step here
// may fail without consequence; the move decides (a file that cannot be moved aside stays, and the
// move then fails on it).
class TargetMakingWay {
 public:
  TargetMakingWay(const RenameFamily& family, std::wstring target) : family_(family), target_(std::move(target)) {
    if (!FileUtilities().FileExists(target_)) return;
    unsigned long ignored = 0;
    platform::Files().SetAttributes(target_, platform::kFileAttributeArchive, ignored);
    for (int n = 1; n <= kAsideTries; ++n) {
      std::wstring aside = target_ + kAsideSuffix + (n > 1 ? std::to_wstring(n) : std::wstring());
      if (FileUtilities().FileExists(aside)) continue;
      if (Move(family_, target_, aside, ignored)) aside_ = std::move(aside);
      return;
    }
  }
  // After the move: the file set aside goes when the move succeeded, else it gets its name back.
  void Settle(bool moved) {
    if (aside_.empty()) return;
    unsigned long ignored = 0;
    if (moved) {
      platform::Files().Delete(aside_, ignored);
    } else {
      Move(family_, aside_, target_, ignored);
    }
    aside_.clear();
  }
  TargetMakingWay(const TargetMakingWay&) = delete;
  TargetMakingWay& operator=(const TargetMakingWay&) = delete;

 private:
  const RenameFamily& family_;
  std::wstring target_;
  std::wstring aside_;
};

// Renames `Source` to `Target` and logs the outcome with the file's size and checksum. False after a
// refused move (`failure` = its error code) or an error (logged at level 0; `failure` unchanged).
bool RenameLogged(const RenameFamily& family, const std::wstring& Source, const std::wstring& Target,
                  std::uint32_t& failure) {
  try {
    std::int32_t size = 0;
    const std::int32_t checksum = Hashier().HashFromFullFileName(Source, size);
    // The narrow calls reach the files by the names the ANSI code page gives back, as the system's own
    // narrow forms of the attribute and delete calls would.
    platform::ISystem& system = platform::System();
    const std::wstring source = family.narrow ? system.FromAnsi(system.ToAnsi(Source)) : Source;
    const std::wstring target = family.narrow ? system.FromAnsi(system.ToAnsi(Target)) : Target;
    // The source loses read-only, hidden and system; whether that worked, the move decides.
    unsigned long ignored = 0;
    platform::Files().SetAttributes(source, platform::kFileAttributeArchive, ignored);
    TargetMakingWay making(family, target);
    unsigned long code = 0;
    const bool moved = Move(family, Source, Target, code);
    making.Settle(moved);
    if (moved) {
      Log(0, Utilities().FormatString(L"File renamed sucessfullly: '%1', (%2, %3)", {Source, size, checksum}),
          kLogInfo, family.source);
      return true;
    }
    failure = static_cast<std::uint32_t>(code);
    const std::wstring reason = Utilities().GetErrorText(static_cast<long>(code));
    Log(0,
        family.narrow ? Utilities().FormatString(L"Failed to rename file '%1', (%2, %3). %4(%5)",
                                                 {Source, size, checksum, reason, static_cast<long long>(code)})
                      : Utilities().FormatString(L"Failed to rename file '%1', (%2, %3). %4",
                                                 {Source, size, checksum, reason}),
        kLogInfo, family.source);
    Log(0, L"Encoded file name: " + Utilities().EncodeString(Utf16Bytes(Source)), kLogInfo, family.encodedSource);
    return false;
  } catch (...) {
    LogError(CurrentError(), kLogError, family.errorSource);
    return false;
  }
}

}  // namespace

void CProcessManager::RenameParasiteFilesEx(const CFileSet& ParasiteFiles) {
  try {
    if (ParasiteFiles.Count() == 0) return;
    CKeyedCollection<std::wstring> FilesToPostDelete;
    for (const std::wstring& path : ParasiteFiles) {
      if (!RenameParasiteFile(path) && !FilesToPostDelete.Exists(path)) FilesToPostDelete.Add(path, path);
    }
    Log(0, L"FilesToPostDelete.Count=" + std::to_wstring(FilesToPostDelete.Count()), kLogInfo, kRenameFilesSource);
    if (FilesToPostDelete.Count() == 0) return;

    // Whatever holds the files loaded goes first (this program stays), then the second and last attempt.
    TerminateProcessesByModules(ParasiteFiles, false);
    PauseServingMessages();
    for (const std::wstring& path : FilesToPostDelete) RenameParasiteFile(path);
  } catch (...) {
    LogError(CurrentError(), kLogError, kRenameFilesSource);
  }
}

bool CProcessManager::RenameParasiteFile(const std::wstring& FileName) {
  std::wstring path = FileName;
  const std::size_t colon = FileName.rfind(L':');
  if (colon != std::wstring::npos && colon >= kFirstStreamColon) {
    path = FileName.substr(0, colon);
    Log(0, Utilities().FormatString(L"Converting filename '%1' -> '%2'", {FileName, path}), kLogInfo,
        kRenameFileSource);
  }
  const std::wstring target = MAPI::MakeParasiteFileName(path);
  const bool ok = SafeRenameFile(path, target);
  if (ok) RecordRemovedFile(path, target);
  return ok;
}

void CProcessManager::RecordRemovedFile(const std::wstring& FileName, const std::wstring& ParasiteName) {
  // Without its record a renamed file would be lost to the restore window: the log then says where it is.
  auto logUnrecorded = [&] {
    Log(0,
        Utilities().FormatString(
            L"Renamed file not recorded under Removed Files: '%1' is now '%2'. Rename it back by hand to restore it.",
            {FileName, ParasiteName}),
        kLogError, kRenameFileSource);
  };
  bool recorded = false;
  try {
    recorded = CRegistry().SetValue(platform::kHkeyCurrentUser, kRemovedFilesKey, FileName, FileName);
  } catch (...) {
    logUnrecorded();
    throw;
  }
  if (!recorded) logUnrecorded();
}

bool CProcessManager::SafeRenameFile(const std::wstring& OldFilename, const std::wstring& NewFilename) {
  mnLastRenameError = 0;
  if (MAPI::gbIsNT) return RenameFileNT(OldFilename, NewFilename);
  return RenameFile9x(OldFilename, NewFilename);
}

bool CProcessManager::RenameFileNT(const std::wstring& Source, const std::wstring& Target) {
  return RenameLogged(kRenameNT, Source, Target, mnLastRenameError);
}

bool CProcessManager::RenameFile9x(const std::wstring& Source, const std::wstring& Target) {
  return RenameLogged(kRename9x, Source, Target, mnLastRenameError);
}

void CProcessManager::PauseServingMessages() {
  platform::ISystem& system = platform::System();
  const std::int64_t until = SecondsOf(system.Now()) + kPauseSeconds;
  const std::uint32_t started = system.GetTickCount();
  while (SecondsOf(system.Now()) < until) {
    Utilities().DoEventsEx();
    if (system.GetTickCount() - started >= kPauseLimitMs) break;
    system.Sleep(kPauseSliceMs);
  }
}

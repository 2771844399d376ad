#include "inspection/ProcessManager.h"

#include <algorithm>
#include <utility>

#include "common/Error.h"
#include "inspection/InspectionHelpers.h"
#include "platform/Platform.h"
#include "shell/MAPI.h"

using inspection_detail::LogError;
using inspection_detail::Resolver;
using platform::Handle;
using platform::kNoHandle;

namespace {

// Owns a process or snapshot handle and closes it through the platform layer. Move-only.
class OwnedHandle {
 public:
  explicit OwnedHandle(Handle handle) noexcept : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
  }
  ~OwnedHandle() { Close(); }

  Handle Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != kNoHandle; }

 private:
  void Close() noexcept {
    if (handle_ != kNoHandle) platform::Processes().CloseHandle(handle_);
    handle_ = kNoHandle;
  }
  Handle handle_;
};

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

bool IsBlank(const std::wstring& text) {
  return text.find_first_not_of(L' ') == std::wstring::npos;
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
      OwnedHandle process(platform::Processes().OpenProcess(kListingAccess, false, id));
      if (!process) continue;
      if (!ListModules(process.Get(), modules)) continue;

      // The image is the first module. An empty table still asks for it, by the null module handle.
      const Handle image = modules.empty() ? kNoHandle : modules.front();
      auto item = list->Add();
      item->Name = Resolver().GetFullFileNameFromShortFilename(ModulePath(process.Get(), image));

      for (std::size_t j = 1; j < modules.size(); ++j) {
        std::wstring path = ModulePath(process.Get(), modules[j]);
        if (IsBlank(path)) continue;
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
    OwnedHandle snapshot(processes.CreateToolhelp32Snapshot(platform::kSnapProcess, 0));
    if (!snapshot) return list;

    platform::ProcessEntry entry;
    for (bool more = processes.Process32First(snapshot.Get(), entry); more;
         more = processes.Process32Next(snapshot.Get(), entry)) {
      auto item = list->Add();
      item->Name = Resolver().GetFullFileNameFromShortFilename(StripNull(FieldText(entry.exeFile)));

      OwnedHandle moduleSnapshot(processes.CreateToolhelp32Snapshot(platform::kSnapModule, entry.processId));
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

// Processes through psapi (NT family), Toolhelp (9x family) and kernel32.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "platform/PlatformInternal.h"

// The interface's own names, not the macros of psapi and Toolhelp. Toolhelp's narrow records and
// functions carry the plain names once the UNICODE macros are gone.
#undef EnumProcesses
#undef EnumProcessModules
#undef EnumProcessModulesEx
#undef GetModuleFileNameExW
#undef Process32First
#undef Process32Next
#undef Module32First
#undef Module32Next
#undef PROCESSENTRY32
#undef MODULEENTRY32

namespace platform {
namespace {

// The module table is counted in handles; more than this many modules in one process is not believed.
constexpr std::uint32_t kMaxModules = 1u << 16;

HANDLE ToHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromHandle(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

class Win32ProcessesImpl final : public IProcesses {
 public:
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) override {
    DWORD returned = 0;
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    if (!::K32EnumProcesses(reinterpret_cast<DWORD*>(ids), bufferBytes, &returned)) return Fail();
    bytesReturned = returned;
    return true;
  }

  ProcessesHandle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) override {
    HANDLE process = ::OpenProcess(access, inherit ? TRUE : FALSE, processId);
    if (process == nullptr) Fail();
    return ProcessesHandle(*this, FromHandle(process));
  }

  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity, std::uint32_t& needed) override {
    if (capacity > kMaxModules) capacity = kMaxModules;
    std::vector<HMODULE> table(capacity ? capacity : 1);
    DWORD neededBytes = 0;
    // All modules: a 64-bit program sees the 32-bit modules of WOW64 processes too.
    if (!::K32EnumProcessModulesEx(ToHandle(process), table.data(), static_cast<DWORD>(capacity * sizeof(HMODULE)),
                                   &neededBytes, LIST_MODULES_ALL)) {
      return Fail();
    }
    needed = static_cast<std::uint32_t>(neededBytes / sizeof(HMODULE));
    const std::uint32_t filled = needed < capacity ? needed : capacity;
    for (std::uint32_t i = 0; i < filled; ++i) modules[i] = reinterpret_cast<Handle>(table[i]);
    return true;
  }

  std::uint32_t GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer, std::uint32_t capacity) override {
    const DWORD copied =
        ::K32GetModuleFileNameExW(ToHandle(process), reinterpret_cast<HMODULE>(module), buffer, capacity);
    if (copied == 0) Fail();
    return copied;
  }

  bool CloseHandle(Handle handle) override { return ::CloseHandle(ToHandle(handle)) ? true : Fail(); }

  bool TerminateProcess(Handle process, std::uint32_t exitCode) override {
    return ::TerminateProcess(ToHandle(process), exitCode) ? true : Fail();
  }

  std::uint32_t GetCurrentProcessId() override { return ::GetCurrentProcessId(); }
  std::uint32_t LastError() override { return lastError_; }

  ProcessesHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(flags, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
      Fail();
      return ProcessesHandle();
    }
    return ProcessesHandle(*this, FromHandle(snapshot));
  }

  bool Process32First(Handle snapshot, ProcessEntry& entry) override {
    PROCESSENTRY32 record{};
    record.dwSize = sizeof record;
    if (!::Process32First(ToHandle(snapshot), &record)) return Fail();
    Copy(record, entry);
    return true;
  }
  bool Process32Next(Handle snapshot, ProcessEntry& entry) override {
    PROCESSENTRY32 record{};
    record.dwSize = sizeof record;
    if (!::Process32Next(ToHandle(snapshot), &record)) return Fail();
    Copy(record, entry);
    return true;
  }
  bool Module32First(Handle snapshot, ModuleEntry& entry) override {
    MODULEENTRY32 record{};
    record.dwSize = sizeof record;
    if (!::Module32First(ToHandle(snapshot), &record)) return Fail();
    Copy(record, entry);
    return true;
  }
  bool Module32Next(Handle snapshot, ModuleEntry& entry) override {
    MODULEENTRY32 record{};
    record.dwSize = sizeof record;
    if (!::Module32Next(ToHandle(snapshot), &record)) return Fail();
    Copy(record, entry);
    return true;
  }

 private:
  static void Copy(const PROCESSENTRY32& record, ProcessEntry& entry) {
    static_assert(sizeof entry.exeFile == sizeof record.szExeFile);
    entry.processId = record.th32ProcessID;
    std::memcpy(entry.exeFile, record.szExeFile, sizeof entry.exeFile);
  }
  static void Copy(const MODULEENTRY32& record, ModuleEntry& entry) {
    static_assert(sizeof entry.exePath == sizeof record.szExePath);
    entry.processId = record.th32ProcessID;
    std::memcpy(entry.exePath, record.szExePath, sizeof entry.exePath);
  }
  bool Fail() {
    lastError_ = ::GetLastError();
    return false;
  }

  // Per thread, as GetLastError itself is.
  static thread_local std::uint32_t lastError_;
};

thread_local std::uint32_t Win32ProcessesImpl::lastError_ = 0;

}  // namespace

namespace detail {
IProcesses& Win32Processes() {
  static Win32ProcessesImpl processes;
  return processes;
}
}  // namespace detail

}  // namespace platform

#pragma once
#include <cstdint>
#include <string>

#include "platform/OwnedHandle.h"
#include "platform/Types.h"

#include "platform/WinNamesBegin.h"

namespace platform {

// Toolhelp records, as the narrow (single-byte) interface gives them. The text fields are fixed
// 260-byte arrays; they need not hold a terminating NUL.
struct ProcessEntry {
  std::uint32_t processId = 0;
  char exeFile[260] = {};
};
struct ModuleEntry {
  std::uint32_t processId = 0;
  char exePath[260] = {};
};

constexpr std::uint32_t kProcessQueryInformation = 0x400;
constexpr std::uint32_t kProcessVmRead = 0x10;
constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
constexpr std::uint32_t kSnapProcess = 0x2;
constexpr std::uint32_t kSnapModule = 0x8;

class IProcesses;
// A process or snapshot handle of IProcesses, closed by it.
using ProcessesHandle = OwnedHandle<IProcesses>;

// Processes and their modules: psapi for the NT family, Toolhelp for the 9x family, plus opening and
// ending processes. Each call mirrors one Win32 call; failures are read with LastError(). The handles
// it hands out are owned and close themselves.
class IProcesses {
 public:
  virtual ~IProcesses() = default;

  // psapi EnumProcesses: fills up to `bufferBytes` / 4 ids, sets `bytesReturned`.
  virtual bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) = 0;
  // Empty when the process cannot be opened.
  virtual ProcessesHandle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) = 0;
  // psapi EnumProcessModules(Ex with all modules where the system has it), counted in handles rather
  // than bytes: fills up to `capacity` handles and sets `needed` to the number of modules the process has.
  virtual bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity,
                                  std::uint32_t& needed) = 0;
  // psapi GetModuleFileNameExW: copies at most `capacity` characters (with the NUL) and returns the
  // number of characters copied, 0 on failure.
  virtual std::uint32_t GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer,
                                             std::uint32_t capacity) = 0;
  // What an owned handle calls to close itself.
  virtual bool CloseHandle(Handle handle) = 0;
  virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
  virtual std::uint32_t GetCurrentProcessId() = 0;
  // GetLastError() right after the last failing call of this interface.
  virtual std::uint32_t LastError() = 0;

  // Toolhelp: empty when no snapshot could be taken.
  virtual ProcessesHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) = 0;
  virtual bool Process32First(Handle snapshot, ProcessEntry& entry) = 0;
  virtual bool Process32Next(Handle snapshot, ProcessEntry& entry) = 0;
  virtual bool Module32First(Handle snapshot, ModuleEntry& entry) = 0;
  virtual bool Module32Next(Handle snapshot, ModuleEntry& entry) = 0;
};

}  // namespace platform

#include "platform/WinNamesEnd.h"

#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Processes.h"

#include "platform/WinNamesBegin.h"

namespace platform {

// A recorded TerminateProcess call.
struct TerminateCall {
  std::uint32_t processId = 0;
  std::uint32_t exitCode = 0;
  friend bool operator==(const TerminateCall&, const TerminateCall&) = default;
};

// In-memory processes. Each process has an id and a list of module paths, the image first. The same
// processes are seen through psapi (EnumProcesses, OpenProcess, EnumProcessModules,
// GetModuleFileNameExW) and through Toolhelp (the process record's exeFile holds the image's full
// path, as the 9x family gives it; the module snapshot lists every module, the image first).
// Our own process id defaults to 4242 and is not listed unless added.
//
//   procs.AddProcess(100, {L"C:\\Windows\\explorer.exe", L"C:\\Windows\\System32\\bad.dll"});
//   procs.FailOpen(100, kErrorAccessDenied);
class FakeProcesses : public IProcesses {
 public:
  FakeProcesses() = default;
  FakeProcesses(const FakeProcesses&) = delete;
  FakeProcesses& operator=(const FakeProcesses&) = delete;

  // --- Set-up -----------------------------------------------------------------------------------
  // Adds or replaces a process. `modules[0]` is the image.
  void AddProcess(std::uint32_t processId, std::vector<std::wstring> modules);
  // The process ends (as if it exited on its own): it disappears from every list, open handles stay.
  void RemoveProcess(std::uint32_t processId);
  void SetCurrentProcessId(std::uint32_t processId);
  // Failures for one process id, with the error code LastError() then gives (0 removes the failure).
  void FailOpen(std::uint32_t processId, std::uint32_t code);
  void FailEnumModules(std::uint32_t processId, std::uint32_t code);
  void FailModuleFileName(std::uint32_t processId, std::uint32_t code);
  void FailTerminate(std::uint32_t processId, std::uint32_t code);
  // Failures of the whole listing (0 removes the failure). EnumProcesses fails from its call number
  // `succeedFirst` + 1 on, so that a listing can fail after its first calls have succeeded.
  void FailEnumProcesses(std::uint32_t code, std::uint32_t succeedFirst = 0);
  void FailSnapshot(std::uint32_t code);
  // Whether a successful TerminateProcess removes the process from the lists (default true).
  void SetTerminateRemoves(bool removes);

  // --- Inspection -------------------------------------------------------------------------------
  const std::vector<TerminateCall>& Terminations() const noexcept { return terminations_; }
  bool IsRunning(std::uint32_t processId) const;
  // Handles (process and snapshot) opened and not yet closed.
  std::size_t OpenHandleCount() const noexcept { return handles_.size(); }
  // The access rights of every successful OpenProcess, in call order.
  const std::vector<std::uint32_t>& OpenedAccess() const noexcept { return openedAccess_; }

  // --- IProcesses -------------------------------------------------------------------------------
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) override;
  // Fails with kErrorInvalidParameter for an unknown id; kErrorAccessDenied when FailOpen says so.
  ProcessesHandle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) override;
  // Needs a handle opened with kProcessQueryInformation and kProcessVmRead (else kErrorAccessDenied);
  // a process that has ended since it was opened gives kErrorPartialCopy, as psapi does.
  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity, std::uint32_t& needed) override;
  // A module handle of 0 names the image.
  std::uint32_t GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer, std::uint32_t capacity) override;
  bool CloseHandle(Handle handle) override;
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
  std::uint32_t GetCurrentProcessId() override;
  std::uint32_t LastError() override;
  ProcessesHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override;
  bool Process32First(Handle snapshot, ProcessEntry& entry) override;
  bool Process32Next(Handle snapshot, ProcessEntry& entry) override;
  bool Module32First(Handle snapshot, ModuleEntry& entry) override;
  bool Module32Next(Handle snapshot, ModuleEntry& entry) override;

  // Error 299, ERROR_PARTIAL_COPY, which psapi gives for a process that is gone or not readable.
  static constexpr std::uint32_t kErrorPartialCopy = 299;
  // Error 18, ERROR_NO_MORE_FILES, at the end of a Toolhelp walk.
  static constexpr std::uint32_t kErrorNoMoreFiles = 18;

 private:
  struct Process {
    std::uint32_t id = 0;
    std::vector<std::wstring> modules;
  };
  struct HandleInfo {
    bool snapshot = false;
    std::uint32_t processId = 0;
    std::uint32_t access = 0;
    std::vector<Process> view{};  // snapshots: what was running when taken
    std::size_t next = 0;
    bool modules = false;       // module snapshot
  };
  const Process* FindProcess(std::uint32_t processId) const;
  HandleInfo* FindHandle(Handle handle);
  // A snapshot handle of the kind asked for; null, failing with kErrorInvalidHandle, for anything else.
  HandleInfo* Snapshot(Handle handle, bool modules);
  // The process behind a handle opened for reading it; null, with the error, when it cannot be read or
  // `failures` (by process id) say so.
  const Process* Readable(Handle process, const std::map<std::uint32_t, std::uint32_t>& failures);
  Handle NewHandle(HandleInfo info);
  template <class Code>
  bool Fail(Code code) {
    lastError_ = static_cast<std::uint32_t>(code);
    return false;
  }

  std::vector<Process> processes_;
  std::map<Handle, HandleInfo> handles_;
  Handle nextHandle_ = 0x100;
  std::uint32_t currentId_ = 4242;
  std::uint32_t lastError_ = 0;
  std::map<std::uint32_t, std::uint32_t> openFailures_, moduleFailures_, nameFailures_, terminateFailures_;
  std::uint32_t enumFailure_ = 0, snapshotFailure_ = 0;
  std::uint32_t enumSucceedFirst_ = 0, enumCalls_ = 0;
  bool terminateRemoves_ = true;
  std::vector<TerminateCall> terminations_;
  std::vector<std::uint32_t> openedAccess_;
};

}  // namespace platform

#include "platform/WinNamesEnd.h"

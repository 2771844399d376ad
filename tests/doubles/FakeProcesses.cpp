#include "tests/doubles/FakeProcesses.h"

#include <algorithm>
#include <cstring>

#include "tests/doubles/DoubleSupport.h"

namespace platform {
namespace {

// Module handles: the image at 0x400000, the others 64 KiB apart above it.
constexpr Handle kModuleBase = 0x400000;
constexpr Handle kModuleStep = 0x10000;

void CopyNarrow(const std::wstring& text, char (&field)[260]) {
  std::memset(field, 0, sizeof field);
  doubles::ToLatin1(text).copy(field, sizeof field);  // a 260-character path fills it without NUL
}

}  // namespace

void FakeProcesses::AddProcess(std::uint32_t processId, std::vector<std::wstring> modules) {
  for (auto& process : processes_) {
    if (process.id == processId) {
      process.modules = std::move(modules);
      return;
    }
  }
  processes_.push_back(Process{processId, std::move(modules)});
}

void FakeProcesses::RemoveProcess(std::uint32_t processId) {
  processes_.erase(std::remove_if(processes_.begin(), processes_.end(),
                                  [processId](const Process& p) { return p.id == processId; }),
                   processes_.end());
}

void FakeProcesses::SetCurrentProcessId(std::uint32_t processId) { currentId_ = processId; }

namespace {
void SetOrErase(std::map<std::uint32_t, std::uint32_t>& failures, std::uint32_t processId, std::uint32_t code) {
  if (code == 0) {
    failures.erase(processId);
  } else {
    failures[processId] = code;
  }
}
}  // namespace

void FakeProcesses::FailOpen(std::uint32_t processId, std::uint32_t code) { SetOrErase(openFailures_, processId, code); }
void FakeProcesses::FailEnumModules(std::uint32_t processId, std::uint32_t code) {
  SetOrErase(moduleFailures_, processId, code);
}
void FakeProcesses::FailModuleFileName(std::uint32_t processId, std::uint32_t code) {
  SetOrErase(nameFailures_, processId, code);
}
void FakeProcesses::FailTerminate(std::uint32_t processId, std::uint32_t code) {
  SetOrErase(terminateFailures_, processId, code);
}
void FakeProcesses::FailEnumProcesses(std::uint32_t code, std::uint32_t succeedFirst) {
  enumFailure_ = code;
  enumSucceedFirst_ = succeedFirst;
  enumCalls_ = 0;
}
void FakeProcesses::FailSnapshot(std::uint32_t code) { snapshotFailure_ = code; }
void FakeProcesses::SetTerminateRemoves(bool removes) { terminateRemoves_ = removes; }

bool FakeProcesses::IsRunning(std::uint32_t processId) const { return FindProcess(processId) != nullptr; }

const FakeProcesses::Process* FakeProcesses::FindProcess(std::uint32_t processId) const {
  for (const auto& process : processes_) {
    if (process.id == processId) return &process;
  }
  return nullptr;
}

FakeProcesses::HandleInfo* FakeProcesses::FindHandle(Handle handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

FakeProcesses::HandleInfo* FakeProcesses::Snapshot(Handle handle, bool modules) {
  HandleInfo* info = FindHandle(handle);
  if (info != nullptr && info->snapshot && info->modules == modules) return info;
  return Fail(kErrorInvalidHandle), nullptr;
}

const FakeProcesses::Process* FakeProcesses::Readable(Handle process,
                                                      const std::map<std::uint32_t, std::uint32_t>& failures) {
  HandleInfo* info = FindHandle(process);
  if (info == nullptr || info->snapshot) return Fail(kErrorInvalidHandle), nullptr;
  const std::uint32_t required = kProcessQueryInformation | kProcessVmRead;
  if ((info->access & required) != required) return Fail(kErrorAccessDenied), nullptr;
  auto failure = failures.find(info->processId);
  if (failure != failures.end()) return Fail(failure->second), nullptr;
  const Process* p = FindProcess(info->processId);
  if (p == nullptr) Fail(kErrorPartialCopy);
  return p;
}

Handle FakeProcesses::NewHandle(HandleInfo info) {
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, std::move(info));
  return handle;
}

bool FakeProcesses::EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) {
  if (enumFailure_ != 0 && ++enumCalls_ > enumSucceedFirst_) return Fail(enumFailure_);
  if (ids == nullptr && bufferBytes != 0) return Fail(kErrorInvalidParameter);
  const std::size_t fits = std::min<std::size_t>(bufferBytes / 4, processes_.size());
  for (std::size_t i = 0; i < fits; ++i) ids[i] = processes_[i].id;
  bytesReturned = static_cast<std::uint32_t>(fits * 4);
  return true;
}

ProcessesHandle FakeProcesses::OpenProcess(std::uint32_t access, bool /*inherit*/, std::uint32_t processId) {
  auto failure = openFailures_.find(processId);
  if (failure != openFailures_.end()) return Fail(failure->second), ProcessesHandle();
  if (FindProcess(processId) == nullptr) return Fail(kErrorInvalidParameter), ProcessesHandle();
  openedAccess_.push_back(access);
  return ProcessesHandle(*this, NewHandle(HandleInfo{.processId = processId, .access = access}));
}

bool FakeProcesses::EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity,
                                       std::uint32_t& needed) {
  const Process* p = Readable(process, moduleFailures_);
  if (p == nullptr) return false;
  if (modules == nullptr && capacity != 0) return Fail(kErrorInvalidParameter);
  const std::size_t fits = std::min<std::size_t>(capacity, p->modules.size());
  for (std::size_t i = 0; i < fits; ++i) modules[i] = kModuleBase + i * kModuleStep;
  needed = static_cast<std::uint32_t>(p->modules.size());
  return true;
}

std::uint32_t FakeProcesses::GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer,
                                                  std::uint32_t capacity) {
  const Process* p = Readable(process, nameFailures_);
  if (p == nullptr) return 0;
  std::size_t index = 0;
  if (module != 0) {
    if (module < kModuleBase || (module - kModuleBase) % kModuleStep != 0) return Fail(kErrorInvalidHandle), 0;
    index = (module - kModuleBase) / kModuleStep;
  }
  if (index >= p->modules.size()) return Fail(kErrorInvalidHandle), 0;
  if (buffer == nullptr || capacity == 0) return Fail(kErrorInsufficientBuffer), 0;
  // As the system does: a path that does not fit is cut to capacity - 1 characters plus NUL.
  const std::wstring& path = p->modules[index];
  const std::size_t n = std::min<std::size_t>(path.size(), capacity - 1);
  std::copy(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(n), buffer);
  buffer[n] = 0;
  if (n < path.size()) lastError_ = static_cast<std::uint32_t>(kErrorInsufficientBuffer);
  return static_cast<std::uint32_t>(n);
}

bool FakeProcesses::CloseHandle(Handle handle) {
  if (handles_.erase(handle) == 0) return Fail(kErrorInvalidHandle);
  return true;
}

bool FakeProcesses::TerminateProcess(Handle process, std::uint32_t exitCode) {
  HandleInfo* info = FindHandle(process);
  if (info == nullptr || info->snapshot) return Fail(kErrorInvalidHandle);
  auto failure = terminateFailures_.find(info->processId);
  if (failure != terminateFailures_.end()) return Fail(failure->second);
  if (FindProcess(info->processId) == nullptr) return Fail(kErrorAccessDenied);
  terminations_.push_back(TerminateCall{info->processId, exitCode});
  if (terminateRemoves_) RemoveProcess(info->processId);
  return true;
}

std::uint32_t FakeProcesses::GetCurrentProcessId() { return currentId_; }
std::uint32_t FakeProcesses::LastError() { return lastError_; }

ProcessesHandle FakeProcesses::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  if (snapshotFailure_ != 0) return Fail(snapshotFailure_), ProcessesHandle();
  if (flags & kSnapModule) {
    const Process* p = FindProcess(processId == 0 ? currentId_ : processId);
    if (p == nullptr) return Fail(kErrorInvalidParameter), ProcessesHandle();
    if (moduleFailures_.count(p->id) != 0) return Fail(moduleFailures_[p->id]), ProcessesHandle();
    return ProcessesHandle(*this, NewHandle(HandleInfo{.snapshot = true, .processId = p->id, .view = {*p}, .modules = true}));
  }
  if (flags & kSnapProcess) return ProcessesHandle(*this, NewHandle(HandleInfo{.snapshot = true, .view = processes_}));
  return Fail(kErrorInvalidParameter), ProcessesHandle();
}

// The First calls rewind the walk; on a wrong handle the Next call then fails as it should.
bool FakeProcesses::Process32First(Handle snapshot, ProcessEntry& entry) {
  if (HandleInfo* info = Snapshot(snapshot, false)) info->next = 0;
  return Process32Next(snapshot, entry);
}

bool FakeProcesses::Process32Next(Handle snapshot, ProcessEntry& entry) {
  HandleInfo* info = Snapshot(snapshot, false);
  if (info == nullptr) return false;
  if (info->next >= info->view.size()) return Fail(kErrorNoMoreFiles);
  const Process& p = info->view[info->next++];
  entry.processId = p.id;
  CopyNarrow(p.modules.empty() ? std::wstring() : p.modules.front(), entry.exeFile);
  return true;
}

bool FakeProcesses::Module32First(Handle snapshot, ModuleEntry& entry) {
  if (HandleInfo* info = Snapshot(snapshot, true)) info->next = 0;
  return Module32Next(snapshot, entry);
}

bool FakeProcesses::Module32Next(Handle snapshot, ModuleEntry& entry) {
  HandleInfo* info = Snapshot(snapshot, true);
  if (info == nullptr) return false;
  const auto& modules = info->view.front().modules;
  if (info->next >= modules.size()) return Fail(kErrorNoMoreFiles);
  entry.processId = info->processId;
  CopyNarrow(modules[info->next++], entry.exePath);
  return true;
}

}  // namespace platform

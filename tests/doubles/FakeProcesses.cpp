#include "tests/doubles/FakeProcesses.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// Module handles: the image at 0x400000, the others 64 KiB apart above it.
constexpr Handle kModuleBase = 0x400000;
constexpr Handle kModuleStep = 0x10000;

void CopyNarrow(const std::wstring& text, char (&field)[260]) {
  std::memset(field, 0, sizeof field);
  const std::size_t n = std::min(text.size(), sizeof field);  // a 260-character path fills it without NUL
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    field[i] = c <= 0xFF ? static_cast<char>(c) : '?';
  }
}

}  // namespace

FakeProcesses::FakeProcesses() = default;
FakeProcesses::~FakeProcesses() = default;

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

bool FakeProcesses::Fail(std::uint32_t code) {
  lastError_ = code;
  return false;
}

bool FakeProcesses::EnumProcesses(std::uint32_t* ids, std::uint32_t bufferBytes, std::uint32_t& bytesReturned) {
  if (enumFailure_ != 0 && ++enumCalls_ > enumSucceedFirst_) return Fail(enumFailure_);
  if (ids == nullptr && bufferBytes != 0) return Fail(static_cast<std::uint32_t>(kErrorInvalidParameter));
  const std::size_t fits = std::min<std::size_t>(bufferBytes / 4, processes_.size());
  for (std::size_t i = 0; i < fits; ++i) ids[i] = processes_[i].id;
  bytesReturned = static_cast<std::uint32_t>(fits * 4);
  return true;
}

Handle FakeProcesses::OpenProcess(std::uint32_t access, bool /*inherit*/, std::uint32_t processId) {
  auto failure = openFailures_.find(processId);
  if (failure != openFailures_.end()) {
    Fail(failure->second);
    return kNoHandle;
  }
  if (FindProcess(processId) == nullptr) {
    Fail(static_cast<std::uint32_t>(kErrorInvalidParameter));
    return kNoHandle;
  }
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  HandleInfo info;
  info.processId = processId;
  info.access = access;
  handles_.emplace(handle, std::move(info));
  openedAccess_.push_back(access);
  return handle;
}

bool FakeProcesses::EnumProcessModules(Handle process, Handle* modules, std::uint32_t capacity,
                                       std::uint32_t& needed) {
  HandleInfo* info = FindHandle(process);
  if (info == nullptr || info->snapshot) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  const std::uint32_t required = kProcessQueryInformation | kProcessVmRead;
  if ((info->access & required) != required) return Fail(static_cast<std::uint32_t>(kErrorAccessDenied));
  auto failure = moduleFailures_.find(info->processId);
  if (failure != moduleFailures_.end()) return Fail(failure->second);
  const Process* p = FindProcess(info->processId);
  if (p == nullptr) return Fail(kErrorPartialCopy);
  if (modules == nullptr && capacity != 0) return Fail(static_cast<std::uint32_t>(kErrorInvalidParameter));
  const std::size_t fits = std::min<std::size_t>(capacity, p->modules.size());
  for (std::size_t i = 0; i < fits; ++i) modules[i] = kModuleBase + i * kModuleStep;
  needed = static_cast<std::uint32_t>(p->modules.size());
  return true;
}

std::uint32_t FakeProcesses::GetModuleFileNameExW(Handle process, Handle module, wchar_t* buffer,
                                                  std::uint32_t capacity) {
  HandleInfo* info = FindHandle(process);
  if (info == nullptr || info->snapshot) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle)), 0;
  const std::uint32_t required = kProcessQueryInformation | kProcessVmRead;
  if ((info->access & required) != required) return Fail(static_cast<std::uint32_t>(kErrorAccessDenied)), 0;
  auto failure = nameFailures_.find(info->processId);
  if (failure != nameFailures_.end()) return Fail(failure->second), 0;
  const Process* p = FindProcess(info->processId);
  if (p == nullptr) return Fail(kErrorPartialCopy), 0;
  std::size_t index = 0;
  if (module != 0) {
    if (module < kModuleBase || (module - kModuleBase) % kModuleStep != 0) {
      return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle)), 0;
    }
    index = (module - kModuleBase) / kModuleStep;
  }
  if (index >= p->modules.size()) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle)), 0;
  if (buffer == nullptr || capacity == 0) return Fail(static_cast<std::uint32_t>(kErrorInsufficientBuffer)), 0;
  // As the system does: a path that does not fit is cut to capacity - 1 characters plus NUL.
  const std::wstring& path = p->modules[index];
  const std::size_t n = std::min<std::size_t>(path.size(), capacity - 1);
  std::copy(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(n), buffer);
  buffer[n] = 0;
  if (n < path.size()) lastError_ = static_cast<std::uint32_t>(kErrorInsufficientBuffer);
  return static_cast<std::uint32_t>(n);
}

bool FakeProcesses::CloseHandle(Handle handle) {
  if (handles_.erase(handle) == 0) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  return true;
}

bool FakeProcesses::TerminateProcess(Handle process, std::uint32_t exitCode) {
  HandleInfo* info = FindHandle(process);
  if (info == nullptr || info->snapshot) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  auto failure = terminateFailures_.find(info->processId);
  if (failure != terminateFailures_.end()) return Fail(failure->second);
  if (FindProcess(info->processId) == nullptr) return Fail(static_cast<std::uint32_t>(kErrorAccessDenied));
  terminations_.push_back(TerminateCall{info->processId, exitCode});
  if (terminateRemoves_) RemoveProcess(info->processId);
  return true;
}

std::uint32_t FakeProcesses::GetCurrentProcessId() { return currentId_; }
std::uint32_t FakeProcesses::LastError() { return lastError_; }

Handle FakeProcesses::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  if (snapshotFailure_ != 0) {
    Fail(snapshotFailure_);
    return kNoHandle;
  }
  HandleInfo info;
  info.snapshot = true;
  if (flags & kSnapModule) {
    info.modules = true;
    const Process* p = FindProcess(processId == 0 ? currentId_ : processId);
    if (p == nullptr) {
      Fail(static_cast<std::uint32_t>(kErrorInvalidParameter));
      return kNoHandle;
    }
    if (moduleFailures_.count(p->id) != 0) {
      Fail(moduleFailures_[p->id]);
      return kNoHandle;
    }
    info.processId = p->id;
    info.view.push_back(*p);
  } else if (flags & kSnapProcess) {
    info.view = processes_;
  } else {
    Fail(static_cast<std::uint32_t>(kErrorInvalidParameter));
    return kNoHandle;
  }
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, std::move(info));
  return handle;
}

bool FakeProcesses::Process32First(Handle snapshot, ProcessEntry& entry) {
  HandleInfo* info = FindHandle(snapshot);
  if (info == nullptr || !info->snapshot || info->modules) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  info->next = 0;
  return Process32Next(snapshot, entry);
}

bool FakeProcesses::Process32Next(Handle snapshot, ProcessEntry& entry) {
  HandleInfo* info = FindHandle(snapshot);
  if (info == nullptr || !info->snapshot || info->modules) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  if (info->next >= info->view.size()) return Fail(kErrorNoMoreFiles);
  const Process& p = info->view[info->next++];
  entry.processId = p.id;
  CopyNarrow(p.modules.empty() ? std::wstring() : p.modules.front(), entry.exeFile);
  return true;
}

bool FakeProcesses::Module32First(Handle snapshot, ModuleEntry& entry) {
  HandleInfo* info = FindHandle(snapshot);
  if (info == nullptr || !info->snapshot || !info->modules) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  info->next = 0;
  return Module32Next(snapshot, entry);
}

bool FakeProcesses::Module32Next(Handle snapshot, ModuleEntry& entry) {
  HandleInfo* info = FindHandle(snapshot);
  if (info == nullptr || !info->snapshot || !info->modules) return Fail(static_cast<std::uint32_t>(kErrorInvalidHandle));
  const auto& modules = info->view.front().modules;
  if (info->next >= modules.size()) return Fail(kErrorNoMoreFiles);
  entry.processId = info->processId;
  CopyNarrow(modules[info->next++], entry.exePath);
  return true;
}

}  // namespace platform

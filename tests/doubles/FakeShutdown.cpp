#include "tests/doubles/FakeShutdown.h"

namespace platform {
namespace {
constexpr std::uint32_t kErrorNoSuchPrivilege = 1313;
constexpr std::uint32_t kRpcServerUnavailable = 1722;
}  // namespace

bool FakeShutdown::OpenProcessToken(Handle process, std::uint32_t access, ShutdownHandle& token) {
  if (openFailure_ != 0) return Fail(openFailure_);
  if (process != GetCurrentProcess()) return Fail(kErrorInvalidHandle);
  const Handle opened = nextHandle_;
  nextHandle_ += 4;
  tokens_[opened] = access;
  token = ShutdownHandle(*this, opened);
  openedAccess_.push_back(access);
  return Succeed();
}

bool FakeShutdown::LookupPrivilegeValueA(const std::string& systemName, const std::string& name, Luid& luid) {
  lookups_.emplace_back(systemName, name);
  if (lookupFailure_ != 0) return Fail(lookupFailure_);
  if (!systemName.empty()) return Fail(kRpcServerUnavailable);
  if (name != "SeShutdownPrivilege") return Fail(kErrorNoSuchPrivilege);
  luid = kShutdownLuid;
  return Succeed();
}

bool FakeShutdown::AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivilege& newState,
                                         std::uint32_t previousStateBytes, std::uint32_t& returnLength) {
  auto it = tokens_.find(token);
  if (it == tokens_.end()) return Fail(kErrorInvalidHandle);
  std::uint32_t required = kTokenAdjustPrivileges | (previousStateBytes != 0 ? kTokenQuery : 0);
  if ((it->second & required) != required) return Fail(kErrorAccessDenied);
  if (adjustFailure_ != 0) return Fail(adjustFailure_);
  adjustments_.push_back(PrivilegeAdjustment{token, disableAll, newState, previousStateBytes});
  // The previous state of the one privilege changed: a set of one entry.
  if (previousStateBytes != 0) returnLength = kTokenPrivilegeBytes;
  if (disableAll) {
    enabled_ = false;
  } else if (newState.count >= 1 && newState.luid == kShutdownLuid) {
    if (!hasPrivilege_) {
      lastError_ = static_cast<std::uint32_t>(kErrorNotAllAssigned);
      return true;
    }
    enabled_ = (newState.attributes & kSePrivilegeEnabled) != 0;
  }
  return Succeed();
}

bool FakeShutdown::CloseHandle(Handle handle) {
  if (tokens_.erase(handle) == 0) return Fail(kErrorInvalidHandle);
  return true;
}

bool FakeShutdown::ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  exitCalls_.push_back(ExitWindowsCall{flags, reason, enabled_});
  if (exitFailure_ != 0) return Fail(exitFailure_);
  return Succeed();
}

}  // namespace platform

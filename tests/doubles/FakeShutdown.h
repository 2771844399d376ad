#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Shutdown.h"

namespace platform {

// A recorded AdjustTokenPrivileges call.
struct PrivilegeAdjustment {
  Handle token = kNoHandle;
  bool disableAll = false;
  TokenPrivilege newState;
  std::uint32_t previousStateBytes = 0;
  friend bool operator==(const PrivilegeAdjustment&, const PrivilegeAdjustment&) = default;
};

// A recorded ExitWindowsEx call, with whether the shutdown privilege was enabled at that moment.
struct ExitWindowsCall {
  std::uint32_t flags = 0;
  std::uint32_t reason = 0;
  bool privilegeEnabled = false;
  friend bool operator==(const ExitWindowsCall&, const ExitWindowsCall&) = default;
};

// The program's token and the session, in memory. The token holds one privilege, "SeShutdownPrivilege"
// (LUID {19, 0}), disabled; the local system knows only that privilege. ExitWindowsEx is recorded and,
// unless refused, accepted; nothing ends.
//
//   shutdown.RefuseExit(kErrorAccessDenied);   // the next ExitWindowsEx answers false with error 5
class FakeShutdown : public IShutdown {
 public:
  FakeShutdown() = default;
  FakeShutdown(const FakeShutdown&) = delete;
  FakeShutdown& operator=(const FakeShutdown&) = delete;

  // --- Set-up (a code of 0 removes the failure) --------------------------------------------------
  void FailOpenToken(std::uint32_t code) { openFailure_ = code; }
  void FailLookup(std::uint32_t code) { lookupFailure_ = code; }
  void FailAdjust(std::uint32_t code) { adjustFailure_ = code; }
  // The token lacks the shutdown privilege: adjusting it succeeds with kErrorNotAllAssigned.
  void SetTokenHasPrivilege(bool has) { hasPrivilege_ = has; }
  void RefuseExit(std::uint32_t code) { exitFailure_ = code; }

  // --- Inspection -------------------------------------------------------------------------------
  static constexpr Luid kShutdownLuid{19, 0};
  bool ShutdownPrivilegeEnabled() const noexcept { return enabled_; }
  // Access rights of every successful OpenProcessToken, in call order.
  const std::vector<std::uint32_t>& OpenedTokens() const noexcept { return openedAccess_; }
  // (system name, privilege name) of every lookup, in call order.
  const std::vector<std::pair<std::string, std::string>>& Lookups() const noexcept { return lookups_; }
  const std::vector<PrivilegeAdjustment>& Adjustments() const noexcept { return adjustments_; }
  const std::vector<ExitWindowsCall>& ExitCalls() const noexcept { return exitCalls_; }
  // Token handles opened and not yet closed.
  std::size_t OpenHandleCount() const noexcept { return tokens_.size(); }

  // --- IShutdown --------------------------------------------------------------------------------
  // The pseudo handle, all bits set, as Windows gives it.
  Handle GetCurrentProcess() override { return ~Handle{0}; }
  // Only the current process's pseudo handle has a token here; anything else is kErrorInvalidHandle.
  bool OpenProcessToken(Handle process, std::uint32_t access, ShutdownHandle& token) override;
  // Unknown names fail with error 1313 (ERROR_NO_SUCH_PRIVILEGE); a remote system name with error 1722.
  bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name, Luid& luid) override;
  // Needs a token opened with kTokenAdjustPrivileges (and kTokenQuery when the previous state is asked
  // for), else kErrorAccessDenied.
  bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivilege& newState,
                             std::uint32_t previousStateBytes, std::uint32_t& returnLength) override;
  bool CloseHandle(Handle handle) override;
  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
  std::uint32_t LastError() override { return lastError_; }

 private:
  template <class Code>
  bool Fail(Code code) {
    lastError_ = static_cast<std::uint32_t>(code);
    return false;
  }
  bool Succeed() {
    lastError_ = 0;
    return true;
  }

  std::map<Handle, std::uint32_t> tokens_;  // handle -> access
  Handle nextHandle_ = 0x200;
  bool hasPrivilege_ = true;
  bool enabled_ = false;
  std::uint32_t openFailure_ = 0, lookupFailure_ = 0, adjustFailure_ = 0, exitFailure_ = 0;
  std::uint32_t lastError_ = 0;
  std::vector<std::uint32_t> openedAccess_;
  std::vector<std::pair<std::string, std::string>> lookups_;
  std::vector<PrivilegeAdjustment> adjustments_;
  std::vector<ExitWindowsCall> exitCalls_;
};

}  // namespace platform

// The process token's privileges through advapi32, and the end of the session through user32.
#include <windows.h>

#include "platform/PlatformInternal.h"

namespace platform {
namespace {

HANDLE ToHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromHandle(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

static_assert(sizeof(TOKEN_PRIVILEGES) == kTokenPrivilegeBytes);

class Win32ShutdownImpl final : public IShutdown {
 public:
  Handle GetCurrentProcess() override { return FromHandle(::GetCurrentProcess()); }

  bool OpenProcessToken(Handle process, std::uint32_t access, ShutdownHandle& token) override {
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(ToHandle(process), access, &opened)) return Fail();
    token = ShutdownHandle(*this, FromHandle(opened));
    return true;
  }

  bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name, Luid& luid) override {
    LUID found{};
    if (!::LookupPrivilegeValueA(systemName.empty() ? nullptr : systemName.c_str(), name.c_str(), &found)) {
      return Fail();
    }
    luid = Luid{found.LowPart, found.HighPart};
    return true;
  }

  bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivilege& newState,
                             std::uint32_t previousStateBytes, std::uint32_t& returnLength) override {
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = newState.count;
    state.Privileges[0].Luid.LowPart = newState.luid.lowPart;
    state.Privileges[0].Luid.HighPart = newState.luid.highPart;
    state.Privileges[0].Attributes = newState.attributes;
    // Room for the previous state: one entry's worth at most is asked for here.
    TOKEN_PRIVILEGES previous{};
    const DWORD room = previousStateBytes < sizeof previous ? previousStateBytes : sizeof previous;
    DWORD needed = 0;
    const BOOL ok = ::AdjustTokenPrivileges(ToHandle(token), disableAll ? TRUE : FALSE, &state, room,
                                            room != 0 ? &previous : nullptr, room != 0 ? &needed : nullptr);
    // Success is not the whole answer: ERROR_NOT_ALL_ASSIGNED comes with a true result.
    lastError_ = ::GetLastError();
    if (!ok) return false;
    returnLength = needed;
    return true;
  }

  bool CloseHandle(Handle handle) override { return ::CloseHandle(ToHandle(handle)) ? true : Fail(); }

  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override {
    return ::ExitWindowsEx(flags, reason) ? true : Fail();
  }

  std::uint32_t LastError() override { return lastError_; }

 private:
  bool Fail() {
    lastError_ = ::GetLastError();
    return false;
  }

  // Per thread, as GetLastError itself is.
  static thread_local std::uint32_t lastError_;
};

thread_local std::uint32_t Win32ShutdownImpl::lastError_ = 0;

}  // namespace

namespace detail {
IShutdown& Win32Shutdown() {
  static Win32ShutdownImpl shutdown;
  return shutdown;
}
}  // namespace detail

}  // namespace platform

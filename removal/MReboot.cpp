#include "removal/MReboot.h"

#include "common/Utilities.h"
#include "platform/Platform.h"

namespace MReboot {

namespace {

// Reason 0xFFFFFFFF: every bit set.
constexpr std::uint32_t kRestartReason = 0xFFFFFFFFu;

// Owns a token handle and closes it through the platform layer. Move-only.
class OwnedToken {
 public:
  OwnedToken() = default;
  OwnedToken(const OwnedToken&) = delete;
  OwnedToken& operator=(const OwnedToken&) = delete;
  ~OwnedToken() {
    if (handle_ != platform::kNoHandle) platform::Shutdown().CloseHandle(handle_);
  }
  platform::Handle& Receive() noexcept { return handle_; }
  platform::Handle Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != platform::kNoHandle; }

 private:
  platform::Handle handle_ = platform::kNoHandle;
};

}  // namespace

void EnableShutdownPrivilege() {
  // No call's result is reported: the restart request itself tells whether the privilege was needed.
  platform::IShutdown& shutdown = platform::Shutdown();
  OwnedToken token;
  if (!shutdown.OpenProcessToken(shutdown.GetCurrentProcess(), platform::kTokenAdjustPrivileges | platform::kTokenQuery,
                                 token.Receive())) {
    return;
  }
  platform::TokenPrivilege privilege;
  privilege.count = 1;
  if (!shutdown.LookupPrivilegeValueA("", "SeShutdownPrivilege", privilege.luid)) return;
  privilege.attributes = platform::kSePrivilegeEnabled;
  std::uint32_t returnLength = 0;
  shutdown.AdjustTokenPrivileges(token.Get(), false, privilege, platform::kTokenPrivilegeBytes, returnLength);
}

bool RestartWindows(std::wstring& ErrorText) {
  ErrorText.clear();
  EnableShutdownPrivilege();
  platform::IShutdown& shutdown = platform::Shutdown();
  if (shutdown.ExitWindowsEx(platform::kEwxShutdown | platform::kEwxReboot, kRestartReason)) return true;
  ErrorText = Utilities().GetErrorText(static_cast<long>(shutdown.LastError()));
  return false;
}

}  // namespace MReboot

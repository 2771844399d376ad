#include "removal/MReboot.h"

#include "common/Utilities.h"
#include "platform/Platform.h"

namespace MReboot {

namespace {

// Reason 0xFFFFFFFF: every bit set.
constexpr std::uint32_t kRestartReason = 0xFFFFFFFFu;

}  // namespace

void EnableShutdownPrivilege() {
  // No call's result is reported: the restart request itself tells whether the privilege was needed.
  platform::IShutdown& shutdown = platform::Shutdown();
  platform::ShutdownHandle token;
  if (!shutdown.OpenProcessToken(shutdown.GetCurrentProcess(), platform::kTokenAdjustPrivileges | platform::kTokenQuery,
                                 token)) {
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

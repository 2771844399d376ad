#pragma once
#include <cstdint>
#include <string>

#include "platform/OwnedHandle.h"
#include "platform/Types.h"

namespace platform {

// A locally unique identifier (LUID), as a privilege is known to the system.
struct Luid {
  std::uint32_t lowPart = 0;
  std::int32_t highPart = 0;
  friend bool operator==(const Luid&, const Luid&) = default;
};

// A privilege set of one privilege, as TOKEN_PRIVILEGES with a count of 1 lays it out (16 bytes).
struct TokenPrivilege {
  std::uint32_t count = 1;
  Luid luid;
  std::uint32_t attributes = 0;
  friend bool operator==(const TokenPrivilege&, const TokenPrivilege&) = default;
};

constexpr std::uint32_t kTokenQuery = 0x08;
constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
constexpr std::uint32_t kSePrivilegeEnabled = 0x2;
constexpr std::uint32_t kEwxShutdown = 0x1;
constexpr std::uint32_t kEwxReboot = 0x2;
// The size of a TOKEN_PRIVILEGES with one entry.
constexpr std::uint32_t kTokenPrivilegeBytes = 16;
// Error 1300, ERROR_NOT_ALL_ASSIGNED: AdjustTokenPrivileges succeeded, but the token lacks a privilege.
constexpr long kErrorNotAllAssigned = 1300;

class IShutdown;
// A token handle of IShutdown, closed by it.
using ShutdownHandle = OwnedHandle<IShutdown>;

// The privileges of the program's own token and the request to end the Windows session. Each call
// mirrors one Win32 call; failures are read with LastError(). The token it hands out is owned and
// closes itself.
class IShutdown {
 public:
  virtual ~IShutdown() = default;

  // The pseudo handle of the current process; it needs no closing.
  virtual Handle GetCurrentProcess() = 0;
  // The access token of a process; `token` is unchanged on failure.
  virtual bool OpenProcessToken(Handle process, std::uint32_t access, ShutdownHandle& token) = 0;
  // The LUID of a privilege by name ("SeShutdownPrivilege"); an empty system name is the local system.
  // `luid` is unchanged on failure.
  virtual bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name, Luid& luid) = 0;
  // Sets the attributes of the privilege in `newState` (or disables every privilege), with room for
  // `previousStateBytes` bytes of the previous state; `returnLength` receives the bytes that state
  // needs. As the system does, it succeeds when the token lacks the privilege, and LastError() then
  // gives kErrorNotAllAssigned.
  virtual bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivilege& newState,
                                     std::uint32_t previousStateBytes, std::uint32_t& returnLength) = 0;
  // What an owned handle calls to close itself.
  virtual bool CloseHandle(Handle handle) = 0;
  // Asks Windows to end the session (kEwxShutdown, kEwxReboot, ...) for the reason given. True when the
  // request was accepted; the session ends after the call returns.
  virtual bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) = 0;
  // GetLastError() right after the last call of this interface.
  virtual std::uint32_t LastError() = 0;
};

}  // namespace platform

#pragma once
#include <string>

// The restart of Windows after a removal.
namespace MReboot {

// Asks Windows to restart (shut down and reboot, not forced: applications may still object), after
// enabling the shutdown privilege. True when Windows accepted the request; the restart follows once the
// program has ended. False when it refused, with `ErrorText` = the system's text for the refusal
// (otherwise ""). No error handler: an error reaches the caller.
bool RestartWindows(std::wstring& ErrorText);

// Enables the shutdown privilege of this process's token. A failing call is not reported: the request
// to restart then decides.
void EnableShutdownPrivilege();

}  // namespace MReboot

// The Windows entry: common controls, COM, the toolkit's Win32 backend, then the program.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "shell/FMain.h"
#include "ui/BackendWin32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
    const HRESULT com = CoInitialize(nullptr);

    ui::SetBackend(ui::CreateWin32Backend());
    const int exitCode = RunWardline();
    ui::SetBackend(nullptr);

    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
  } catch (...) {
    // Whatever escaped the program's own handlers ends it with an error code, not a crash.
    return 1;
  }
}

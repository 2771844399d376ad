#pragma once
#include <string>

#include "platform/WinNamesBegin.h"

namespace platform {

// Mouse pointers, as the toolkit numbers them.
constexpr int kPointerDefault = 0;
constexpr int kPointerHourglass = 11;

// What the program does on the user's desktop outside its own windows.
class IDesktop {
 public:
  virtual ~IDesktop() = default;

  // Standard modal message box; returns the pressed button (1 OK, 2 Cancel, 4 Retry, 6 Yes, 7 No).
  virtual int MessageBox(const std::wstring& prompt, unsigned style, const std::wstring& title) = 0;
  // The same call, under the name that <windows.h>'s MessageBox macro gives it in Win32 code.
  int MessageBoxW(const std::wstring& prompt, unsigned style, const std::wstring& title) {
    return MessageBox(prompt, style, title);
  }
  // The screen's mouse pointer.
  virtual int MousePointer() = 0;
  virtual void SetMousePointer(int pointer) = 0;
  // Runs pending window messages once and returns.
  virtual void DoEvents() = 0;
  // Starts a program by command line without waiting; `windowStyle` as ShowWindow's (1 normal with
  // focus). False when it could not be started.
  virtual bool Start(const std::wstring& commandLine, int windowStyle) = 0;
};

}  // namespace platform

#include "platform/WinNamesEnd.h"

// The desktop through user32: message boxes, the mouse pointer, the message pump, starting programs.
#include <windows.h>

#include <vector>

#include "platform/PlatformInternal.h"

// The interface's own name, not the macro of <windows.h>.
#undef MessageBox

namespace platform {
namespace {

// At most this many messages per DoEvents, so that a window that keeps posting cannot hold us.
constexpr int kMaxMessagesPerPump = 10000;

LPCWSTR CursorFor(int pointer) {
  switch (pointer) {
    case 2: return IDC_CROSS;
    case 3: return IDC_IBEAM;
    case kPointerHourglass: return IDC_WAIT;
    case 13: return IDC_APPSTARTING;
    default: return IDC_ARROW;
  }
}

class Win32DesktopImpl final : public IDesktop {
 public:
  int MessageBox(const std::wstring& prompt, unsigned style, const std::wstring& title) override {
    return ::MessageBoxW(::GetActiveWindow(), prompt.c_str(), title.c_str(), style);
  }

  int MousePointer() override { return pointer_; }

  void SetMousePointer(int pointer) override {
    pointer_ = pointer;
    ::SetCursor(::LoadCursorW(nullptr, CursorFor(pointer)));
  }

  void DoEvents() override {
    MSG msg;
    for (int n = 0; n < kMaxMessagesPerPump && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
      if (msg.message == WM_QUIT) {
        // Leave the quit request for the program's own message loop.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  bool Start(const std::wstring& commandLine, int windowStyle) override {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);  // CreateProcessW may write into the command line
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
  }

 private:
  int pointer_ = kPointerDefault;
};

}  // namespace

namespace detail {
IDesktop& Win32Desktop() {
  static Win32DesktopImpl desktop;
  return desktop;
}
}  // namespace detail

}  // namespace platform

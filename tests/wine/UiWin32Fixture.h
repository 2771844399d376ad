#pragma once
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Error.h"
#include "tests/wine/ProgramUnderTest.h"
#include "ui/Backend.h"
#include "ui/BackendWin32.h"

// The native window of a toolkit handle, and what the real API says of a window.
namespace ui_wine {
inline HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }
using program_wine::ClassOf;
using program_wine::TextOf;

// The top-level windows of this thread with the class `name`.
inline std::vector<HWND> ThreadWindows(const std::wstring& name) {
  std::vector<HWND> all, found;
  ::EnumThreadWindows(::GetCurrentThreadId(), program_wine::CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND hwnd : all) {
    if (ClassOf(hwnd) == name) found.push_back(hwnd);
  }
  return found;
}
}  // namespace ui_wine

// While it lives, presses OK in every message box of this thread (class "#32770") at most 200 ms after
// the box shows, and keeps the texts of each box's Static children, one box per entry. One at a time.
class MessageBoxCloser {
 public:
  MessageBoxCloser() {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 200, Tick);
  }
  ~MessageBoxCloser() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  MessageBoxCloser(const MessageBoxCloser&) = delete;
  MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

  std::vector<std::wstring> texts;

 private:
  static VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) -> BOOL {
          if (current_ == nullptr || ui_wine::ClassOf(hwnd) != L"#32770" || !::IsWindowVisible(hwnd)) return TRUE;
          std::wstring text;
          ::EnumChildWindows(
              hwnd,
              [](HWND child, LPARAM param) -> BOOL {
                if (::lstrcmpiW(ui_wine::ClassOf(child).c_str(), L"Static") == 0) {
                  *reinterpret_cast<std::wstring*>(param) += ui_wine::TextOf(child);
                }
                return TRUE;
              },
              reinterpret_cast<LPARAM>(&text));
          current_->texts.push_back(text);
          ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
          return TRUE;
        },
        0);
  }
  static inline MessageBoxCloser* current_ = nullptr;
  UINT_PTR timer_ = 0;
};

// The toolkit on its Win32 backend for one test; errors that reach the toolkit's unhandled-error
// handler are collected in `errors` ("source: description") instead of ending the program.
class UiWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = ui::SetBackend(ui::CreateWin32Backend());
    ui::SetUnhandledErrorHandler([this](const CError& e, const std::wstring& source) {
      errors.push_back(source + L": " + e.Description());
    });
  }
  void TearDown() override {
    ui::SetUnhandledErrorHandler(nullptr);
    ui::SetBackend(std::move(previous_));
  }
 public:
  // Runs pending messages every 10 ms for up to `ms` milliseconds, until `done` holds; what `done` says
  // at the end.
  static bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    for (int waited = 0; waited < ms; waited += 10) {
      ui::DoEvents();
      if (done()) return true;
      Sleep(10);
    }
    ui::DoEvents();
    return done();
  }
 protected:
  // Puts the previous backend back now: the test's Win32 backend is destroyed.
  void EndBackend() { ui::SetBackend(std::move(previous_)); }

  std::vector<std::wstring> errors;

 private:
  std::unique_ptr<ui::IBackend> previous_;
};

// The toolkit on its Win32 backend while it lives, for a test that needs it for a part only (the
// clipboard, a form on real windows); the backend before comes back after.
struct Win32Backend {
  Win32Backend() = default;
  ~Win32Backend() { ui::SetBackend(std::move(previous)); }
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;
  std::unique_ptr<ui::IBackend> previous = ui::SetBackend(ui::CreateWin32Backend());
};

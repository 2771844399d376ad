#pragma once
// wardline.exe as the Wine tests run it: copied with the DLLs it needs into a scratch folder of its own
// and started there as a child process, its windows found and driven from outside as a user would, and
// the helper (wdl_loadchild.exe) that holds libraries or files while the program runs.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/wine/Endpoint.h"

namespace program_wine {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;

inline fs::path BinFolder() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return fs::path(std::wstring(buffer.data(), length)).parent_path();
}

inline std::wstring TextOf(HWND hwnd) {
  wchar_t text[1024] = L"\x2603poison";
  ::GetWindowTextW(hwnd, text, 1024);
  return text;
}

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = L"\x2603poison";
  ::GetClassNameW(hwnd, name, 256);
  return name;
}

inline BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
  return TRUE;
}

// The child windows of `parent`, all levels, in the order the system lists them.
inline std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

// The visible top-level windows of process `pid`.
inline std::vector<HWND> VisibleWindowsOf(DWORD pid) {
  std::vector<HWND> all, found;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND hwnd : all) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == pid && ::IsWindowVisible(hwnd)) found.push_back(hwnd);
  }
  return found;
}

inline bool IsMainWindow(HWND hwnd) { return TextOf(hwnd) == L"Wardline" && ::GetMenu(hwnd) != nullptr; }
inline bool IsMessageBox(HWND hwnd) { return ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == L"Wardline"; }

// The texts of a dialog's Static children, one after the other.
inline std::wstring StaticTexts(HWND dialog) {
  std::wstring texts;
  for (HWND child : ChildrenOf(dialog)) {
    if (ClassOf(child) == L"Static") texts += TextOf(child) + L"\n";
  }
  return texts;
}

// Accepts the program's message boxes that say `text`.
inline std::function<bool(HWND)> BoxSaying(const std::wstring& text) {
  return [text](HWND hwnd) { return IsMessageBox(hwnd) && StaticTexts(hwnd).find(text) != std::wstring::npos; };
}

// The first child window of `parent` of class `className` (with this text, when given); null when there
// is none.
inline HWND ChildOfClass(HWND parent, const std::wstring& className, const std::wstring* text = nullptr) {
  for (HWND child : ChildrenOf(parent)) {
    if (ClassOf(child) == className && (text == nullptr || TextOf(child) == *text)) return child;
  }
  return nullptr;
}
inline HWND ChildWindow(HWND parent, const std::wstring& className, const std::wstring& text) {
  return ChildOfClass(parent, className, &text);
}

inline std::string ReadAll(const fs::path& file) { return wine_test::ReadText(file); }

// How often `part` occurs in `text`.
inline std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The whole text of a control of another process (GetWindowText gives only a window's caption there).
inline std::wstring ControlText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// Presses the button of `window` with this caption, as a click does.
inline void Press(HWND window, const std::wstring& caption) {
  HWND button = ChildWindow(window, L"Button", caption);
  ASSERT_NE(button, nullptr) << "no button " << std::string(caption.begin(), caption.end());
  ASSERT_TRUE(::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button)));
}

// Ends the process if it still runs, with exit code `code`, and closes its handles.
inline void EndProcess(PROCESS_INFORMATION& info, UINT code) {
  if (info.hProcess == nullptr) return;
  if (::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(info.hProcess, code);
  ::WaitForSingleObject(info.hProcess, 5000);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  info = {};
}

// Runs `run` when it goes out of scope.
struct AtEnd {
  std::function<void()> run;
  ~AtEnd() { run(); }
};

// The DLLs that every start needs: the shared component library alone (each binary carries the C and
// C++ runtimes inside it).
inline const std::vector<std::wstring> kRuntime = {L"qnCommon.dll"};

// kRuntime and `more`.
inline std::vector<std::wstring> Runtime(const std::vector<std::wstring>& more = {}) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.insert(dlls.end(), more.begin(), more.end());
  return dlls;
}

// wardline.exe and the DLLs named, copied into a fresh scratch folder and started there. The process is
// killed if it still runs when the fixture ends (or Stop is called), and the folder is removed (best
// effort).
class ProgramUnderTest : public ::testing::Test {
 protected:
  void TearDown() override { Stop(); }

  void Stop() {
    EndProcess(process_, 99);
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
    folder_.clear();
  }

  // `program` from `from_`, copied as itself, started with `arguments` once `prepare` (when given) has
  // made the folder ready.
  void Start(const std::vector<std::wstring>& dlls, const std::wstring& program = L"wardline.exe",
             const std::wstring& arguments = L"", const std::function<void(const fs::path&)>& prepare = nullptr) {
    folder_ = fs::temp_directory_path() /
              (L"wdl-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()));
    ASSERT_TRUE(fs::create_directories(folder_));
    for (const std::wstring& file : dlls) fs::copy_file(from_ / file, folder_ / file);
    fs::copy_file(from_ / program, folder_ / program);
    if (prepare) {
      ASSERT_NO_FATAL_FAILURE(prepare(folder_));
    }
    std::wstring commandLine = L"\"" + (folder_ / program).wstring() + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder_.c_str(), &startup, &process_))
        << ::GetLastError();
  }

  // `program` with WDLCustom.dll, started up to its main window, which `main` receives.
  void StartToMainWindow(HWND& main, const std::wstring& program = L"wardline.exe",
                         const std::wstring& arguments = L"") {
    ASSERT_NO_FATAL_FAILURE(Start(Runtime({L"WDLCustom.dll"}), program, arguments));
    ASSERT_NO_FATAL_FAILURE(Await(main, IsMainWindow, 30, "main window"));
  }

  // Polls every 100 ms, for at most `seconds`, for a visible window of the child that `wanted` accepts;
  // null when the child ended or the time ran out. Any window seen before, `seen` receives first.
  HWND WaitForWindow(const std::function<bool(HWND)>& wanted, int seconds,
                     const std::function<void(HWND)>& seen = nullptr) {
    for (int tick = 0; tick < seconds * 10; ++tick) {
      for (HWND hwnd : VisibleWindowsOf(process_.dwProcessId)) {
        if (wanted(hwnd)) return hwnd;
        if (seen) seen(hwnd);
      }
      if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) return nullptr;
      ::Sleep(100);
    }
    return nullptr;
  }

  // WaitForWindow into `found`, failing the test (named `what`) when no such window came.
  void Await(HWND& found, const std::function<bool(HWND)>& wanted, int seconds, const char* what,
             const std::function<void(HWND)>& seen = nullptr) {
    found = WaitForWindow(wanted, seconds, seen);
    ASSERT_NE(found, nullptr) << "no " << what << " within " << seconds << " s (exit code " << WaitForExit(0)
                              << ")";
  }

  // The child's exit code, or STILL_ACTIVE when it did not end within `seconds`.
  DWORD WaitForExit(int seconds) {
    DWORD code = 0xDEADBEEF;
    const DWORD wait = ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(seconds) * 1000);
    if (wait != WAIT_OBJECT_0) return STILL_ACTIVE;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  // Closes `windows` in their order and expects the program to end with exit code 0 within `seconds`.
  void CloseExpectingExit0(const std::vector<HWND>& windows, int seconds = 10) {
    for (HWND window : windows) ASSERT_TRUE(::PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitForExit(seconds), 0u);
  }

  std::string Log() const { return ReadAll(folder_ / L"WDL.log"); }

  // Where Start takes the program and its DLLs from: the bin folder, unless a test names another.
  fs::path from_ = BinFolder();
  fs::path folder_;
  PROCESS_INFORMATION process_{};
};

// The helper the test starts: `program` (a copy of wdl_loadchild.exe) holding `libraries` until it is
// ended; an entry "hold:" + path it holds open instead of loading it. `events` names its events, with
// this process's id appended. Killed when the owner goes if it still runs.
class LibraryHolder {
 public:
  LibraryHolder(const std::wstring& program, const std::vector<std::wstring>& libraries,
                const std::wstring& events = L"WdlRemovalRoundTrip") {
    const std::wstring name = events + std::to_wstring(::GetCurrentProcessId());
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, (name + L".ready").c_str());
    std::wstring commandLine = L"\"" + program + L"\" " + name + L" 300000";
    for (const std::wstring& library : libraries) commandLine += L" \"" + library + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started = ready_ != nullptr && ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                                    nullptr, nullptr, &startup, &info_);
    ready = started && ::WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0;
  }
  ~LibraryHolder() {
    EndProcess(info_, 98);
    if (ready_ != nullptr) ::CloseHandle(ready_);
  }
  LibraryHolder(const LibraryHolder&) = delete;
  LibraryHolder& operator=(const LibraryHolder&) = delete;

  // True once the process has ended (within `ms` milliseconds).
  bool Ended(DWORD ms) const { return ::WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0; }
  // The exit code once the process has ended within `ms` milliseconds; STILL_ACTIVE while it runs.
  DWORD ExitCodeAfter(DWORD ms) const {
    Ended(ms);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  DWORD Id() const { return info_.dwProcessId; }

  bool started = false;
  bool ready = false;

 private:
  HANDLE ready_ = nullptr;
  PROCESS_INFORMATION info_{};
};

}  // namespace program_wine

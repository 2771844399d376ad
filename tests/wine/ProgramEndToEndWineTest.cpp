// wardline.exe itself, run as a child process in a scratch folder of its own: a normal start up to the
// main window and back, and a start without WDLCustom.dll, which ends in a run-time error. The program
// with a fault planted behind its Remove Spyware button (wdl_faultyprogram.exe, built from the same entry
// and start-up) shows how an error in the running program ends it. Started with /uninstall, it sends
// the feedback typed into its one window to the local stand-in for the vendor's endpoint.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/wine/Endpoint.h"
#include "tests/wine/WindowPixels.h"

namespace {

namespace fs = std::filesystem;

fs::path BinFolder() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return fs::path(std::wstring(buffer.data(), length)).parent_path();
}

std::wstring TextOf(HWND hwnd) {
  wchar_t text[1024] = L"\x2603poison";
  ::GetWindowTextW(hwnd, text, 1024);
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = L"\x2603poison";
  ::GetClassNameW(hwnd, name, 256);
  return name;
}

// The visible top-level windows of process `pid`.
std::vector<HWND> VisibleWindowsOf(DWORD pid) {
  struct Walk {
    DWORD pid;
    std::vector<HWND> found;
  } walk{pid, {}};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* w = reinterpret_cast<Walk*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner == w->pid && ::IsWindowVisible(hwnd)) w->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&walk));
  return walk.found;
}

bool IsMainWindow(HWND hwnd) { return TextOf(hwnd) == L"Wardline" && ::GetMenu(hwnd) != nullptr; }
// The About window: a form without a menu or title bar, titled like the main window.
bool IsAboutWindow(HWND hwnd) {
  return ClassOf(hwnd) == L"WDL.Form" && TextOf(hwnd) == L"Wardline" && ::GetMenu(hwnd) == nullptr &&
         (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION) == 0;
}
bool IsMessageBox(HWND hwnd) { return ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == L"Wardline"; }

// The screen rectangle of the group box among the child windows of `parent` (empty when there is none),
// and those of the other children.
struct FrameAndOthers {
  RECT frame{};
  std::vector<RECT> others;
};
FrameAndOthers ChildRects(HWND parent) {
  FrameAndOthers rects;
  ::EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        auto* r = reinterpret_cast<FrameAndOthers*>(param);
        RECT rect{};
        ::GetWindowRect(child, &rect);
        const bool frame = ClassOf(child) == L"Button" && (::GetWindowLongPtrW(child, GWL_STYLE) & 0xF) == BS_GROUPBOX;
        if (frame) {
          r->frame = rect;
        } else {
          r->others.push_back(rect);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&rects));
  return rects;
}

// The child window of `parent` with this class and text; null when there is none.
HWND ChildWindow(HWND parent, const std::wstring& className, const std::wstring& text) {
  struct Search {
    std::wstring className, text;
    HWND found = nullptr;
  } search{className, text};
  ::EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (ClassOf(child) == s->className && TextOf(child) == s->text) s->found = child;
        return s->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The texts of a dialog's Static children, one after the other.
std::wstring StaticTexts(HWND dialog) {
  std::wstring texts;
  ::EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) -> BOOL {
        if (ClassOf(child) == L"Static") *reinterpret_cast<std::wstring*>(param) += TextOf(child) + L"\n";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// wardline.exe and the DLLs named, copied into a fresh scratch folder and started there. The process is
// killed if it still runs when the fixture ends, and the folder is removed (best effort).
class ProgramEndToEndWine : public ::testing::Test {
 protected:
  void TearDown() override {
    if (process_.hProcess != nullptr) {
      if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 99);
      ::WaitForSingleObject(process_.hProcess, 5000);
      ::CloseHandle(process_.hThread);
      ::CloseHandle(process_.hProcess);
    }
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
  }

  // `program` from the bin folder, copied as itself, started with `arguments`.
  void Start(const std::vector<std::wstring>& dlls, const std::wstring& program = L"wardline.exe",
             const std::wstring& arguments = L"") {
    folder_ = fs::temp_directory_path() /
              (L"wdl-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()));
    ASSERT_TRUE(fs::create_directories(folder_));
    for (const std::wstring& file : dlls) fs::copy_file(BinFolder() / file, folder_ / file);
    fs::copy_file(BinFolder() / program, folder_ / program);
    std::wstring commandLine = L"\"" + (folder_ / program).wstring() + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder_.c_str(), &startup, &process_))
        << ::GetLastError();
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

  // The child's exit code, or STILL_ACTIVE when it did not end within `seconds`.
  DWORD WaitForExit(int seconds) {
    DWORD code = 0xDEADBEEF;
    const DWORD wait = ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(seconds) * 1000);
    if (wait != WAIT_OBJECT_0) return STILL_ACTIVE;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  void PressRemoveSpyware(HWND main) {
    HWND button = ChildWindow(main, L"Button", L"Remove Spyware...");
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(::PostMessageW(main, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                               reinterpret_cast<LPARAM>(button)));
  }

  // Starts the program with the fault `mode` planted, presses Remove Spyware and expects the run-time
  // error box with `number` and `description`, one level-0 log line under `source` and exit code 1.
  void ExpectRunTimeErrorBehindTheButton(const std::wstring& mode, long number, const std::string& description,
                                         const std::string& source);

  fs::path folder_;
  PROCESS_INFORMATION process_{};
};

const std::vector<std::wstring> kRuntime = {L"qnCommon.dll", L"libstdc++-6.dll", L"libgcc_s_seh-1.dll",
                                            L"libwinpthread-1.dll"};

void ProgramEndToEndWine::ExpectRunTimeErrorBehindTheButton(const std::wstring& mode, long number,
                                                           const std::string& description,
                                                           const std::string& source) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wdl_faultyprogram.exe", mode));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";
  ASSERT_NO_FATAL_FAILURE(PressRemoveSpyware(main));

  HWND box = WaitForWindow(IsMessageBox, 30);
  ASSERT_NE(box, nullptr) << "no message box within 30 s (exit code " << WaitForExit(0) << ")";
  const std::wstring text = StaticTexts(box);
  EXPECT_NE(text.find(L"Run-time error '" + std::to_wstring(number) + L"'"), std::wstring::npos) << text.c_str();
  EXPECT_NE(text.find(std::wstring(description.begin(), description.end())), std::wstring::npos) << text.c_str();
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_EQ(WaitForExit(10), 1u);

  const std::string log = ReadAll(folder_ / L"WDL.log");
  const std::string line = "\t0\t" + std::to_string(number) + "\t" + source + "\t" + description;
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line)) << "logged more than once";
}

TEST_F(ProgramEndToEndWine, StartsToItsMainWindowLogsTheStartAndEndsWithZeroWhenClosed) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";

  ASSERT_TRUE(fs::exists(folder_ / L"WDL.log"));
  EXPECT_TRUE(fs::exists(folder_ / L"short.log"));
  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("********** start app"), std::string::npos) << log;
  EXPECT_NE(log.find("Wardline ver.2.0.24"), std::string::npos) << log;
  EXPECT_NE(log.find("Startup: "), std::string::npos) << log;

  ASSERT_TRUE(::PostMessageW(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForExit(10), 0u);
}

TEST_F(ProgramEndToEndWine, WithoutWDLCustomShowsRunTimeError429AndEndsWithAnErrorCode) {
  ASSERT_NO_FATAL_FAILURE(Start(kRuntime));
  bool mainWindowFirst = false;
  HWND box = WaitForWindow(IsMessageBox, 30, [&](HWND hwnd) { mainWindowFirst |= IsMainWindow(hwnd); });
  ASSERT_NE(box, nullptr) << "no message box within 30 s (exit code " << WaitForExit(0) << ")";
  EXPECT_FALSE(mainWindowFirst);

  const std::wstring text = StaticTexts(box);
  EXPECT_NE(text.find(L"429"), std::wstring::npos) << text.c_str();
  EXPECT_NE(text.find(L"can't create object"), std::wstring::npos) << text.c_str();
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  const DWORD code = WaitForExit(10);
  EXPECT_NE(code, 0u);
  EXPECT_NE(code, STILL_ACTIVE);

  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("********** start app"), std::string::npos) << log;
  EXPECT_NE(log.find("\t429\t"), std::string::npos) << log;
  EXPECT_NE(log.find("can't create object"), std::string::npos) << log;
  EXPECT_EQ(log.find("can't create object"), log.rfind("can't create object")) << "logged more than once";
}

// An error of a button's handler in the running program: the run-time error box, the log line, exit code 1.
TEST_F(ProgramEndToEndWine, ErrorOfAButtonHandlerIsARunTimeErrorThatEndsTheProgram) {
  ExpectRunTimeErrorBehindTheButton(L"handler", 53, "File not found", "FMain.cmdSpywareRemover_Click");
}

// An error inside the toolkit's window procedure (no brush can be had for a new colour) takes the same
// path, rather than ending the message quietly and leaving the program running.
TEST_F(ProgramEndToEndWine, ErrorInsideAWindowProcedureIsARunTimeErrorThatEndsTheProgram) {
  ExpectRunTimeErrorBehindTheButton(L"toolkit", 7, "Out of memory", "FMain.WindowProc");
}

// The program's own About window, with the common controls its manifest asks for: read back from the
// screen, its frame shows the form's dark blue inside rather than black.
TEST_F(ProgramEndToEndWine, AboutWindowsFrameShowsDarkBlueInside) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  // The program with the About window behind its Remove Spyware button: the menus of another process are
  // out of reach under Wine (WINE-DIFFERENCES.md).
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wdl_faultyprogram.exe", L"about"));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";
  EXPECT_EQ(::GetMenuItemCount(::GetMenu(main)), -1) << "Wine reaches another process's menus now: open the "
                                                        "About window by Help > About and update WINE-DIFFERENCES.md";
  ASSERT_NO_FATAL_FAILURE(PressRemoveSpyware(main));
  HWND about = WaitForWindow(IsAboutWindow, 10);
  ASSERT_NE(about, nullptr) << "no About window within 10 s";
  ::Sleep(1000);  // painted, and on the screen
  const FrameAndOthers rects = ChildRects(about);
  ASSERT_FALSE(::IsRectEmpty(&rects.frame)) << "no frame in the About window";

  RECT window{};
  ::GetWindowRect(about, &window);
  HDC screen = ::GetDC(nullptr);
  const wine_pixels::Pixels pixels(screen, window);
  ::ReleaseDC(nullptr, screen);
  const auto count =
      wine_pixels::CountOtherThan(pixels, wine_pixels::InsideOfFrame(rects.frame), rects.others, RGB(0, 0, 102));
  EXPECT_GT(count.checked, 1000) << "the frame's inside is all covered";
  EXPECT_EQ(count.other, 0) << "of " << count.checked << " pixels; the first is 0x" << std::hex << count.firstOther;

  ASSERT_TRUE(::PostMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0));
  ASSERT_TRUE(::PostMessageW(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForExit(10), 0u);
}

// wardline.exe /uninstall as its own process: the feedback window alone. The reason typed into it and
// sent reaches the vendor's stand-in (tests/endpoint) with the program's log, and after the "Thank you. "
// box the program ends with exit code 0.
TEST_F(ProgramEndToEndWine, UninstallSendsTheReasonWithTheLogAndEndsWithZeroAfterThanks) {
  wine_test::ClearRecords();
  wine_test::SetAnswer("200");
  wine_test::ProxySetting proxy(wine_test::ProxySetting::Local(wine_test::EndpointPort()));
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"vbzip10.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wardline.exe", L"/uninstall"));
  HWND window = WaitForWindow([](HWND hwnd) { return TextOf(hwnd) == L"Wardline Uninstall"; }, 30);
  ASSERT_NE(window, nullptr) << "no feedback window within 30 s (exit code " << WaitForExit(0) << ")";
  EXPECT_FALSE(IsMainWindow(window));

  HWND reason = ChildWindow(window, L"Edit", L"");
  HWND send = ChildWindow(window, L"Button", L"Send");
  ASSERT_NE(reason, nullptr);
  ASSERT_NE(send, nullptr);
  // Typed as keystrokes reach the box (a multi-line box tells its parent nothing of a WM_SETTEXT).
  for (wchar_t c : std::wstring(L"Too slow for me")) ::SendMessageW(reason, WM_CHAR, c, 0);
  ASSERT_TRUE(::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(send), BN_CLICKED),
                             reinterpret_cast<LPARAM>(send)));
  HWND box = WaitForWindow(IsMessageBox, 120);
  ASSERT_NE(box, nullptr) << "no message box within 120 s (exit code " << WaitForExit(0) << ")";
  EXPECT_NE(StaticTexts(box).find(L"Thank you. "), std::wstring::npos) << StaticTexts(box).c_str();
  EXPECT_EQ(WaitForExit(0), STILL_ACTIVE);  // the program waits for the box
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_EQ(WaitForExit(10), 0u);

  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  const wine_test::Record& r = records[0];
  EXPECT_EQ(r.verdict, "ok");
  EXPECT_EQ(r.subject, "LDW\\Uninstall");
  ASSERT_EQ(r.values.size(), 2u);
  EXPECT_EQ(r.values.at("reason"), "Too slow for me");
  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("Wardline ver.2.0.24"), std::string::npos) << log;
  EXPECT_EQ(r.values.at("log"), log);
}

}  // namespace

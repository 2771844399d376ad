// The program itself (its own entry, start-up and resources) with something planted behind its Remove
// Spyware button, for the end-to-end tests. The first word of the command line picks it:
//
//   wdl_faultyprogram.exe handler   the button's handler fails: CError 53 "File not found"
//   wdl_faultyprogram.exe toolkit   the handler gives Label1 a new colour and the next allocation of the
//                                   program's own code fails, which is when the toolkit makes the brush
//                                   for that colour inside the window procedure: out of memory
//   wdl_faultyprogram.exe about     the button opens the About window as Help > About does (under Wine
//                                   another process cannot reach the main window's menus)
//   wdl_faultyprogram.exe refused   from the click on, the system refuses to create the program's form
//                                   windows (a CBT hook), and the handler goes on as Request Support does
//   wdl_faultyprogram.exe taken     before the program starts, its form windows' class "WDL.Form" is
//                                   registered with another window procedure
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "common/Error.h"
#include "shell/app/FAbout.h"
#include "shell/app/FMain.h"

namespace {

std::atomic<bool> failNextAllocation{false};

bool CommandLineHas(const wchar_t* word) { return std::wstring(::GetCommandLineW()).find(word) != std::wstring::npos; }

LRESULT CALLBACK RefuseForms(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t name[64] = L"";
  if (code == HCBT_CREATEWND && ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64) &&
      std::wstring(name) == L"WDL.Form") {
    return 1;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

const bool planted = [] {
  if (CommandLineHas(L" handler")) {
    GetLaterWindows().spywareRemover = [](ui::Form&) { throw CError(53, L"File not found"); };
  } else if (CommandLineHas(L" toolkit")) {
    GetLaterWindows().spywareRemover = [](ui::Form& parent) {
      static_cast<FMain&>(parent).Label1.SetBackColor(ui::Rgb(1, 2, 3));
      failNextAllocation = true;
    };
  } else if (CommandLineHas(L" about")) {
    GetLaterWindows().spywareRemover = [](ui::Form& parent) { static_cast<FMain&>(parent).mnuAbout_Click(); };
  } else if (CommandLineHas(L" refused")) {
    GetLaterWindows().spywareRemover = [](ui::Form& parent) {
      ::SetWindowsHookExW(WH_CBT, RefuseForms, nullptr, ::GetCurrentThreadId());
      static_cast<FMain&>(parent).cmdRequestSupport_Click();
    };
  } else if (CommandLineHas(L" taken")) {
    WNDCLASSEXW taken{};
    taken.cbSize = sizeof(taken);
    taken.lpfnWndProc = ::DefWindowProcW;
    taken.hInstance = ::GetModuleHandleW(nullptr);
    taken.lpszClassName = L"WDL.Form";
    ::RegisterClassExW(&taken);
  }
  return true;
}();

}  // namespace

// The program's own code allocates through these (the C++ runtime's own code keeps its own).
void* operator new(std::size_t size) {
  if (failNextAllocation.exchange(false)) throw std::bad_alloc();
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

// The program itself (its own entry, start-up and resources) with something planted behind its Remove
// Spyware button, for the end-to-end tests. The first word of the command line picks it:
//
//   wdl_faultyprogram.exe handler   the button's handler fails: CError 53 "File not found"
//   wdl_faultyprogram.exe toolkit   the handler gives Label1 a new colour and the next allocation of the
//                                   program's own code fails, which is when the toolkit makes the brush
//                                   for that colour inside the window procedure: out of memory
//   wdl_faultyprogram.exe about     the button opens the About window as Help > About does (under Wine
//                                   another process cannot reach the main window's menus)
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

// The Windows entry: COM, the toolkit's Win32 backend, then the program.
#include <windows.h>

#include <memory>
#include <utility>

#include "common/Error.h"
#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "shell/app/FMain.h"
#include "ui/Backend.h"
#include "ui/BackendWin32.h"

#include "platform/WinNamesBegin.h"
namespace {

// The system's desktop, except that pending messages run through the toolkit's pump, so that every
// wait of the program (Utilities().DoEventsEx() included) handles dialog keys the same way.
class ToolkitDesktop : public platform::IDesktop {
 public:
  explicit ToolkitDesktop(platform::IDesktop& system) : system_(system) {}
  int MessageBox(const std::wstring& prompt, unsigned style, const std::wstring& title) override {
    return system_.MessageBox(prompt, style, title);
  }
  int MousePointer() override { return system_.MousePointer(); }
  void SetMousePointer(int pointer) override { system_.SetMousePointer(pointer); }
  void DoEvents() override { ui::DoEvents(); }
  bool Start(const std::wstring& commandLine, int windowStyle) override {
    return system_.Start(commandLine, windowStyle);
  }

 private:
  platform::IDesktop& system_;
};

// The toolkit's backend installed for the program's run, and removed again (its windows with it)
// before COM goes.
class ToolkitRun {
 public:
  explicit ToolkitRun(std::unique_ptr<ui::IBackend> backend) { ui::SetBackend(std::move(backend)); }
  ~ToolkitRun() { ui::SetBackend(nullptr); }
  ToolkitRun(const ToolkitRun&) = delete;
  ToolkitRun& operator=(const ToolkitRun&) = delete;
};

}  // namespace
#include "platform/WinNamesEnd.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    // COM on the program's one thread for the whole run. Without it the program still runs: an object
    // that needs COM fails when it is made, on the path of whoever makes it.
    const platform::win32::ComApartment com;
    const ToolkitRun toolkit(ui::CreateWin32Backend());
    static ToolkitDesktop desktop(platform::Desktop());
    platform::Services services;
    services.desktop = &desktop;
    platform::Install(services);
    return RunWardline();
  } catch (...) {
    // Whatever escaped the program's own handlers takes the one path of an unhandled error: the
    // run-time error box, the log line when there is a logger, exit code 1.
    try {
      ReportRunTimeError(CurrentError(), L"WinMain");
    } catch (...) {
      // No box to be had either: the exit code still tells.
    }
    return 1;
  }
}

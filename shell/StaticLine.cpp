#include "shell/StaticLine.h"

#include "ui/Backend.h"

StaticLine::StaticLine(ui::Form& form, std::wstring name, ui::TwipsRect bounds)
    : ui::UserControl(form, std::move(name), bounds, L"WDL.StaticLine") {
  OnInitialize = [this] { UserControl_Initialize(); };
  OnResize = [this] { UserControl_Resize(); };
  OnTerminate = [this] { UserControl_Terminate(); };
}

StaticLine::~StaticLine() {
  // A control whose window went without its Terminate (the toolkit's backend went first) lost the line
  // with it: nothing is left to destroy.
  if (Native() == 0) mhWndLine.Release();
}

void StaticLine::UserControl_Initialize() {
  // Every step runs even when an earlier one failed: a missing line must not stop the form loading.
  ui::IWindowApi& windows = ui::Windows();
  ui::WindowRect rect;
  windows.GetWindowRect(Native(), rect);
  mhWndLine = ui::OwnedWindow(windows.CreateWindowExW(kLineExStyle, L"Static", L"StaticLine", kLineStyle, 0, 0,
                                                      static_cast<int>(rect.right - rect.left), 0, Native(), 0));
}

void StaticLine::UserControl_Resize() {
  if (mhWndLine.Get() == 0) return;
  ui::IWindowApi& windows = ui::Windows();
  ui::WindowRect own;
  ui::WindowRect line;
  if (!windows.GetWindowRect(Native(), own) || !windows.GetWindowRect(mhWndLine.Get(), line)) return;
  windows.MoveWindow(mhWndLine.Get(), 0, 0, static_cast<int>(own.right - own.left),
                     static_cast<int>(line.bottom - line.top), true);
}

void StaticLine::UserControl_Terminate() { mhWndLine.Reset(); }

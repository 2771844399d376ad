#pragma once
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Error.h"
#include "ui/Backend.h"
#include "ui/BackendWin32.h"

// The toolkit on its Win32 backend for one test; errors that reach the toolkit's unhandled-error
// handler are collected in `errors` ("source: description") instead of ending the program.
class UiWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    previous_ = ui::SetBackend(ui::CreateWin32Backend());
    ui::ResetApplication();
    ui::SetUnhandledErrorHandler([this](const CError& e, const std::wstring& source) {
      errors.push_back(source + L": " + e.Description());
    });
  }
  void TearDown() override {
    ui::SetUnhandledErrorHandler(nullptr);
    ui::SetBackend(std::move(previous_));
    ui::ResetApplication();
  }
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

  std::vector<std::wstring> errors;

 private:
  std::unique_ptr<ui::IBackend> previous_;
};

// The toolkit's Win32 backend on real windows: what it creates it also releases.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/BackendWin32.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

HWND H(ui::WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = L"\x2603poison";
  ::GetClassNameW(hwnd, name, 256);
  return name;
}

// The top-level windows of this thread with the class `name`.
std::vector<HWND> ThreadWindows(const std::wstring& name) {
  struct Walk {
    std::wstring name;
    std::vector<HWND> found;
  } walk{name, {}};
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* w = reinterpret_cast<Walk*>(param);
        if (ClassOf(hwnd) == w->name) w->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&walk));
  return walk.found;
}

// Its own backend for each test; whatever was installed before comes back afterwards.
class UiBackendWin32Wine : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    previous_ = ui::SetBackend(ui::CreateWin32Backend());
    ui::ResetApplication();
  }
  void TearDown() override {
    ui::SetUnhandledErrorHandler(nullptr);
    ui::SetBackend(std::move(previous_));
    ui::ResetApplication();
  }
  // Puts the previous backend back now: the test's Win32 backend is destroyed.
  void EndBackend() { ui::SetBackend(std::move(previous_)); }

 private:
  std::unique_ptr<ui::IBackend> previous_;
};

// The message font it made for the controls, the brushes it made for their colours, its helper window
// and the windows of a form still loaded all go with the backend.
TEST_F(UiBackendWin32Wine, ReleasesItsFontBrushesAndWindowsWhenItGoes) {
  ui::Form form(L"FHolder");
  ui::Label label(form, L"lblText", ui::TwipsRect{120, 120, 2400, 300}, L"text");
  label.SetBackColor(ui::Rgb(1, 2, 3));
  form.Show();
  const HWND window = H(form.Native());
  const HWND labelWindow = H(label.Native());
  ASSERT_TRUE(::IsWindow(labelWindow));

  const auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(labelWindow, WM_GETFONT, 0, 0));
  HDC dc = ::GetDC(labelWindow);
  const auto brush = reinterpret_cast<HGDIOBJ>(
      ::SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(labelWindow)));
  ::ReleaseDC(labelWindow, dc);
  const std::vector<HWND> helpers = ThreadWindows(L"WDL.Helper");
  ASSERT_NE(font, ::GetStockObject(DEFAULT_GUI_FONT)) << "the backend made no font of its own";
  ASSERT_EQ(::GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  ASSERT_EQ(::GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  ASSERT_EQ(helpers.size(), 1u);

  EndBackend();
  EXPECT_EQ(::GetObjectType(font), 0u) << "font left behind";
  EXPECT_EQ(::GetObjectType(brush), 0u) << "brush left behind";
  EXPECT_FALSE(::IsWindow(helpers[0]));
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(form.Native(), 0u);
  EXPECT_EQ(label.Native(), 0u);
}

// A form object destroyed while it is loaded (the program's end after a run-time error, with its main
// window still up) takes its windows along, control by control, as its parts go.
TEST_F(UiBackendWin32Wine, FormDestroyedWhileLoadedTakesItsWindowsAlong) {
  struct FHolder : ui::Form {
    FHolder()
        : ui::Form(L"FHolder"),
          lblText(*this, L"lblText", ui::TwipsRect{120, 120, 2400, 300}, L"text"),
          cmdOK(*this, L"cmdOK", ui::TwipsRect{120, 600, 1200, 345}, L"OK") {}
    ui::Label lblText;
    ui::Button cmdOK;
  };
  HWND window = nullptr, label = nullptr, button = nullptr;
  {
    FHolder form;
    form.Show();
    window = H(form.Native());
    label = H(form.lblText.Native());
    button = H(form.cmdOK.Native());
    ASSERT_TRUE(::IsWindow(label) && ::IsWindow(button));
  }
  EXPECT_FALSE(::IsWindow(label));
  EXPECT_FALSE(::IsWindow(button));
  EXPECT_FALSE(::IsWindow(window));
}

}  // namespace

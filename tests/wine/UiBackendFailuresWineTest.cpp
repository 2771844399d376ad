// The toolkit's Win32 backend when the window system refuses it something: a window class whose name
// is taken, a window that a CBT hook will not let be created, a timer for a window that is gone. Each
// refusal is an error with the system's number and text. The backend then does not come into being;
// a form stays unloaded with nothing of it left on the screen, and its modal show never serves a loop
// that nothing could end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/Platform.h"
#include "tests/wine/UiWin32Fixture.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace {

using namespace ui_wine;

const long kClassExists = err::FromWin32(ERROR_CLASS_ALREADY_EXISTS);

// The error of a failed system call as the toolkit reports it: "<call> failed: " and the system's text
// for the error's own number (for 0x8007xxxx the Win32 code in its low word).
std::wstring SystemErrorOf(const wchar_t* call, long number) {
  const auto bits = static_cast<std::uint32_t>(number);
  const std::uint32_t code = (bits & 0xFFFF0000u) == 0x80070000u ? bits & 0xFFFFu : bits;
  return std::wstring(call) + L" failed: " + platform::System().ErrorText(code);
}

// `error` is the failure of `call` with a number of the system's: `number` when it is not 0 (what the
// system gives for a creation that a hook refuses is its own affair: no code, or another).
void ExpectSystemError(const std::pair<long, std::wstring>& error, const wchar_t* call, long number = 0) {
  EXPECT_NE(error.first, 0) << "no error";
  if (number != 0) {
    EXPECT_EQ(error.first, number);
  }
  EXPECT_EQ(error.second, SystemErrorOf(call, error.first));
}

// While it lives, the system refuses to create this thread's windows of class `refused`: a WH_CBT hook
// answers their HCBT_CREATEWND with 1. One at a time.
class RefusedWindows {
 public:
  explicit RefusedWindows(std::wstring refused) : refused_(std::move(refused)) {
    current_ = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
  }
  ~RefusedWindows() {
    ::UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  RefusedWindows(const RefusedWindows&) = delete;
  RefusedWindows& operator=(const RefusedWindows&) = delete;

  int refusals = 0;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && current_ != nullptr &&
        ::lstrcmpiW(ClassOf(reinterpret_cast<HWND>(wParam)).c_str(), current_->refused_.c_str()) == 0) {
      ++current_->refusals;
      return 1;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline RefusedWindows* current_ = nullptr;
  std::wstring refused_;
  HHOOK hook_ = nullptr;
};

// A window class of `name` with the system's default procedure: the name taken before the toolkit
// registers its own. Given back when it goes.
struct TakenClass {
  explicit TakenClass(const wchar_t* taken) : name(taken) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    registered = ::RegisterClassExW(&wc) != 0;
  }
  ~TakenClass() { ::UnregisterClassW(name, ::GetModuleHandleW(nullptr)); }
  TakenClass(const TakenClass&) = delete;
  TakenClass& operator=(const TakenClass&) = delete;
  const wchar_t* name;
  bool registered = false;
};

// The number and description of the CError that `action` throws; (0, "") when it throws none.
template <class Action>
std::pair<long, std::wstring> ErrorOf(Action&& action) {
  try {
    action();
  } catch (const CError& e) {
    return {e.Number(), e.Description()};
  }
  return {0, L""};
}

TEST(UiBackendCreationWine, BackendRefusedAClassOrItsHelperWindowIsAnErrorAndLeavesNoWindow) {
  struct Case { const wchar_t* taken; const wchar_t* refused; const wchar_t* call; long number; };
  for (const Case& c : {Case{L"WDL.Form", nullptr, L"RegisterClassExW", kClassExists},
                        Case{L"WDL.Image", nullptr, L"RegisterClassExW", kClassExists},
                        Case{L"WDL.Helper", nullptr, L"RegisterClassExW", kClassExists},
                        Case{nullptr, L"WDL.Helper", L"CreateWindowExW", 0}}) {
    const std::wstring name = c.taken ? c.taken : c.refused;
    // Whatever an earlier case registered goes first, so that the name is free to be taken.
    for (const wchar_t* own : {L"WDL.Form", L"WDL.Image", L"WDL.Helper"}) {
      ::UnregisterClassW(own, ::GetModuleHandleW(nullptr));
    }
    std::optional<TakenClass> taken;
    if (c.taken) {
      taken.emplace(c.taken);
      ASSERT_TRUE(taken->registered) << "the test could not take " << std::string(name.begin(), name.end());
    }
    std::optional<RefusedWindows> refusal;
    if (c.refused) refusal.emplace(c.refused);
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ExpectSystemError(ErrorOf([] { ui::CreateWin32Backend(); }), c.call, c.number);
    EXPECT_EQ(refusal ? refusal->refusals : 1, 1) << "the helper window was not asked for";
    EXPECT_TRUE(ThreadWindows(L"WDL.Helper").empty()) << "the helper window stayed";
  }
}

// A form with a label, a button and a user control of class `hostClass`, all of which need windows.
struct FHolder : ui::Form {
  explicit FHolder(const wchar_t* hostClass)
      : ui::Form(L"FHolder"),
        lblText(*this, L"lblText", ui::TwipsRect{120, 120, 2400, 300}, L"text"),
        cmdOK(*this, L"cmdOK", ui::TwipsRect{120, 600, 1200, 345}, L"OK"),
        Host1(*this, L"Host1", ui::TwipsRect{120, 1100, 2400, 300}, hostClass) {
    OnLoad = [this] { ++loads; };
  }
  ui::Label lblText;
  ui::Button cmdOK;
  ui::UserControl Host1;
  int loads = 0;
};

using UiBackendFailuresWine = UiWin32Test;

// The dialog's modal show over its owner fails as a whole when any of its windows cannot be had: the
// error reaches the caller at once, the dialog is not loaded and holds no window, and the owner still
// takes input. Once the system gives the windows again, the same dialog loads.
TEST_F(UiBackendFailuresWine, ModalShowOfAFormWhoseWindowsCannotAllBeMadeFailsAndLeavesNothing) {
  ui::Form owner(L"FOwner");
  owner.Show();
  const HWND ownerWindow = H(owner.Native());
  TakenClass takenHost(L"WDL.TakenHost");
  ASSERT_TRUE(takenHost.registered);
  struct Case { const wchar_t* refused; const wchar_t* hostClass; const wchar_t* call; long number; };
  for (const Case& c : {Case{L"WDL.Form", L"WDL.TestHost", L"CreateWindowExW", 0},
                        Case{L"Button", L"WDL.TestHost", L"CreateWindowExW", 0},
                        Case{L"WDL.TestHost", L"WDL.TestHost", L"CreateWindowExW", 0},
                        Case{nullptr, L"WDL.TakenHost", L"RegisterClassExW", kClassExists}}) {
    const std::wstring what = c.refused ? c.refused : c.hostClass;
    SCOPED_TRACE(std::string(what.begin(), what.end()));
    FHolder dialog(c.hostClass);
    {
      std::optional<RefusedWindows> refusal;
      if (c.refused) refusal.emplace(c.refused);
      ExpectSystemError(ErrorOf([&] { dialog.ShowModal(&owner); }), c.call, c.number);
    }
    EXPECT_EQ(std::tuple(dialog.Loaded(), dialog.Visible(), dialog.loads, dialog.Native(), dialog.lblText.Native(),
                         dialog.cmdOK.Native(), dialog.Host1.Native()),
              std::tuple(false, false, 0, 0u, 0u, 0u, 0u));
    EXPECT_EQ(ThreadWindows(L"WDL.Form"), std::vector<HWND>{ownerWindow}) << "a window of the dialog stayed";
    EXPECT_NE(::IsWindowEnabled(ownerWindow), FALSE);
    if (c.refused) {
      dialog.Show(&owner);
      EXPECT_TRUE(dialog.Loaded() && ::IsWindow(H(dialog.Host1.Native()))) << "it does not load afterwards";
      dialog.Unload();
    }
  }
  EXPECT_TRUE(errors.empty());
}

// A timer that the system refuses (its window is gone) makes its form's load fail as a whole.
TEST_F(UiBackendFailuresWine, FormWhoseTimerIsRefusedStaysUnloaded) {
  struct FTimed : ui::Form {
    FTimed() : ui::Form(L"FTimed"), Timer1(*this, L"Timer1", 100, true) {}
    ui::Timer Timer1;
  } form;
  const std::vector<HWND> helpers = ThreadWindows(L"WDL.Helper");
  ASSERT_EQ(helpers.size(), 1u);
  ASSERT_TRUE(::DestroyWindow(helpers[0]));  // behind the backend's back
  ExpectSystemError(ErrorOf([&] { form.Show(); }), L"SetTimer");
  EXPECT_EQ(std::tuple(form.Loaded(), form.Native(), form.Timer1.Running()), std::tuple(false, 0u, false));
  EXPECT_TRUE(ThreadWindows(L"WDL.Form").empty());
  EXPECT_TRUE(errors.empty());
}

}  // namespace

#pragma once
// Keys typed as the user types them: through the system's input (SendInput), which delivers them to the
// focused control of the foreground window, with the toolkit serving the messages that come of them.
// The window driven must be the foreground one; a test asserts that first (KeyboardReaches).
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/wine/UiWin32Fixture.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace wine_keys {

// Serves the toolkit's messages for a while: what the system's input queue held by then has arrived.
inline void Serve() { UiWin32Test::PumpUntil([] { return false; }, 60); }

inline INPUT Key(WORD vk, DWORD flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = flags;
  return input;
}

// Presses and releases `key` while `held` are down (pressed in their order, released the other way).
inline void Press(WORD key, std::initializer_list<WORD> held = {}) {
  std::vector<INPUT> inputs;
  for (WORD down : held) inputs.push_back(Key(down, 0));
  inputs.push_back(Key(key, 0));
  inputs.push_back(Key(key, KEYEVENTF_KEYUP));
  for (auto up = std::rbegin(held); up != std::rend(held); ++up) inputs.push_back(Key(*up, KEYEVENTF_KEYUP));
  EXPECT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
  Serve();
}

// Types `text` as characters of the keyboard.
inline void Type(const std::wstring& text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
      INPUT input = Key(0, KEYEVENTF_UNICODE | up);
      input.ki.wScan = c;
      inputs.push_back(input);
    }
  }
  EXPECT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
  Serve();
}

// The name of the control of `form` that holds the focus; "(none of the form's)" otherwise.
inline std::wstring Focused(const ui::Form& form) {
  const HWND focus = ::GetFocus();
  for (const ui::Control* control : form.Controls()) {
    if (focus != nullptr && reinterpret_cast<HWND>(control->Native()) == focus) return control->Name();
  }
  return L"(none of the form's)";
}

// True when the system's input reaches `form`: it is the foreground window (and serves its messages).
inline bool KeyboardReaches(const ui::Form& form) {
  const HWND window = reinterpret_cast<HWND>(form.Native());
  return UiWin32Test::PumpUntil([&] { return ::GetForegroundWindow() == window; }, 2000);
}

// Gives `name`'s control the focus, as the program does.
inline void FocusOn(ui::Form& form, const std::wstring& name) {
  ui::Control* control = form.FindControl(name);
  ASSERT_NE(control, nullptr) << "no control " << std::string(name.begin(), name.end());
  control->SetFocus();
  Serve();
}

// The controls that hold the focus after each of `steps` presses of Tab (Shift+Tab `backwards`), from
// `start`.
inline std::vector<std::wstring> TabWalk(ui::Form& form, const std::wstring& start, bool backwards, std::size_t steps) {
  FocusOn(form, start);
  std::vector<std::wstring> walked;
  for (std::size_t step = 0; step < steps; ++step) {
    if (backwards) {
      Press(VK_TAB, {VK_SHIFT});
    } else {
      Press(VK_TAB);
    }
    walked.push_back(Focused(form));
  }
  return walked;
}

// The whole tab order from the multi-line box `start`: `order` lists the tab stops that Tab reaches
// from it, ending with `start` again; Shift+Tab walks them the other way.
inline void ExpectTabOrder(ui::Form& form, const std::wstring& start, const std::vector<std::wstring>& order) {
  ASSERT_FALSE(order.empty());
  ASSERT_EQ(order.back(), start);
  std::vector<std::wstring> back(order.rbegin() + 1, order.rend());
  back.push_back(start);
  EXPECT_EQ(TabWalk(form, start, false, order.size()), order) << "Tab";
  EXPECT_EQ(TabWalk(form, start, true, order.size()), back) << "Shift+Tab";
}

// `key` pressed in each control of `from` presses `button` (its clicks are counted in place of its own
// handler meanwhile): the names of the controls from which it did.
inline std::vector<std::wstring> PressingFrom(ui::Form& form, WORD key, ui::Button& button,
                                              const std::vector<std::wstring>& from) {
  int clicks = 0;
  const auto own = button.OnClick;
  button.OnClick = [&] { ++clicks; };
  std::vector<std::wstring> pressed;
  for (const std::wstring& name : from) {
    FocusOn(form, name);
    const int before = clicks;
    Press(key);
    if (clicks == before + 1) pressed.push_back(name);
  }
  button.OnClick = own;
  return pressed;
}

}  // namespace wine_keys

#pragma once
#include <windows.h>

#include <map>
#include <set>

#include "ui/Backend.h"
#include "ui/win32/ControlWindows.h"
#include "ui/win32/Handles.h"
#include "ui/win32/Menus.h"
#include "ui/win32/Paints.h"

namespace ui::win32 {

// The forms' windows, of class "WDL.Form", with their menu bars and their controls' windows. The form's
// window procedure turns the system's messages into the toolkit's events: commands of buttons, menus
// and the dialog keys, the form's activation, the keyboard focus as the dialog manager moves it, and
// the painting of the form and its controls' colours.
class FormWindows {
 public:
  FormWindows(Paints& paints, ControlWindows& controls);
  // A form still loaded loses its windows and is told so (its handles and its controls' become 0).
  ~FormWindows();
  FormWindows(const FormWindows&) = delete;
  FormWindows& operator=(const FormWindows&) = delete;

  // Creates the form's window, its menu bar and its controls' windows, and starts its user controls.
  // CError when the system refuses any of them: then nothing of them is left and the form has no window.
  void Load(Form& form);
  // Destroys them again.
  void Unload(Form& form);
  // Shows the form over `owner` (may be null), centred over it the first time, and activates it.
  void Show(Form& form, Form* owner);
  void Hide(Form& form);
  // CError when a new menu bar cannot be had; the form keeps the bar it had.
  void Changed(Form& form, Change what);

 private:
  void FitClientArea(Form& form);
  void Command(Form& form, WPARAM wParam, LPARAM lParam);
  LRESULT Message(Form& form, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  Paints& paints_;
  ControlWindows& controls_;
  Menus menus_;
  std::set<Form*> positioned_;  // the forms centred already
  std::map<Form*, WindowOwner> windows_;
};

}  // namespace ui::win32

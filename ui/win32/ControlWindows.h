#pragma once
#include <windows.h>

#include <set>
#include <string>

#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/win32/Paints.h"

namespace ui::win32 {

// The windows of the controls: the system's "BUTTON", "STATIC", "EDIT", "LISTBOX" and progress-bar
// windows, images of class "WDL.Image" and user controls of their own class each. A control's window is
// a child of its form's window, which destroys it; the control's properties are mirrored on it while it
// exists, and what the user does in it becomes a call of the control's user-input entry points.
class ControlWindows {
 public:
  // Sets up the common controls that the controls' windows are made of and registers the images'
  // class; CError when either fails.
  explicit ControlWindows(Paints& paints);
  ControlWindows(const ControlWindows&) = delete;
  ControlWindows& operator=(const ControlWindows&) = delete;

  // Creates the windows of the form's controls inside `parent`, in tab order; frames lie below the
  // other controls. CError when a window, its class or its subclass cannot be had: the controls made
  // so far keep their windows (the caller destroys `parent` with them).
  void Create(Form& form, HWND parent);
  // Raises Initialize and the first Resize of the form's user controls, whose windows exist.
  void StartUserControls(Form& form);
  // Lets go of the control's window (its subclasses and properties), which stays until its parent goes.
  // Also called from a control's destructor, when its kind is no longer known.
  void Detach(Control& control);
  // Detaches the control and destroys its window at once.
  void Destroy(Control& control);

  void Changed(Control& control, Change what);
  // Reads the user-edited selection of a text box back into the control.
  void ReadBack(Control& control);
  // A notification (WM_COMMAND code) of the control's window to its form.
  void Notify(Control& control, int code);
  // Fills the window of a control with the control's back colour, or its form's; false when the window
  // is no control of a loaded form.
  bool EraseWithBackColor(HWND hwnd, HDC dc);

 private:
  void CreateOne(Control& control, HWND parent, int id);
  static LRESULT CALLBACK ImageProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK HostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK LabelProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR);
  static LRESULT CALLBACK TextBoxProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR);
  static LRESULT CALLBACK FrameProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self);

  Paints& paints_;
  std::set<std::wstring> hostClasses_;  // the user controls' window classes registered so far
  // Set while the backend itself changes a text box's text: the change is the program's, not the user's.
  bool suppressChange_ = false;
};

}  // namespace ui::win32

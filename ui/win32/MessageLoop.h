#pragma once
#include <windows.h>

#include <vector>

#include "ui/Form.h"

namespace ui::win32 {

// The loops that serve the user: the modal loop of a form shown modally (the program's other windows
// disabled meanwhile), the main loop, and the one pass of DoEvents. Each message goes through the
// toolkit's key handling (a text box's KeyUp, KeyPreview, the dialog keys) before its window gets it.
class MessageLoop {
 public:
  MessageLoop() = default;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Serves the user until `form` is hidden or unloaded, its window is gone or the program ends, with the
  // program's other visible windows disabled. CError (invalid window handle) for a form without its
  // window, which nothing could end.
  void RunModal(Form& form);
  // Enables again the windows that the modal show of `form` disabled; nothing when it disabled none.
  void EndModal(Form& form);
  // Serves the user until `form` is unloaded or the program ends.
  void RunMain(Form& form);
  // Runs the pending messages, at most a fixed number of them, and returns.
  void DoEvents();

 private:
  struct ModalEntry {
    Form* form;
    std::vector<HWND> disabled;
    bool ended = false;
  };
  static int ShiftState();
  static void Dispatch(MSG& msg);

  std::vector<ModalEntry*> modal_;  // the modal shows running, innermost last
};

}  // namespace ui::win32

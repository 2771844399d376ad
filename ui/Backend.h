#pragma once
#include <functional>
#include <memory>
#include <string>

#include "common/Error.h"
#include "ui/Types.h"
#include "ui/WindowApi.h"

namespace ui {

class Form;
class Control;
class Timer;

// What changed on a form or control, so that a backend updates only that.
enum class Change {
  Text, Bounds, Enabled, Colors, Items, Selection, Value, Default, Drawing, Menu, Locked
};

// The windowing system under the toolkit. Forms and controls keep their own state and tell the backend
// what changed; the backend turns user input into calls of the controls' user-input entry points
// (Button::PerformClick, TextBox::UserEdit, ...). The program's backend is the Win32 one
// (ui/BackendWin32.h); the native tests run the toolkit on a headless one of their own
// (tests/headless).
class IBackend {
 public:
  virtual ~IBackend() = default;

  // Pixels per logical inch.
  virtual int Dpi() = 0;

  // Creates the native windows of a form and of all its controls (user controls included; the backend
  // raises their Initialize and first Resize). CError when the window system refuses one of them: then
  // none of them is left and the form has no window.
  virtual void LoadForm(Form& form) = 0;
  // Destroys them again. Raises no event.
  virtual void UnloadForm(Form& form) = 0;
  virtual void ShowForm(Form& form, Form* owner) = 0;
  virtual void HideForm(Form& form) = 0;
  // Serves the user until `form` is hidden or unloaded or the program ends; the other windows of the
  // program take no input meanwhile. The form is already shown. CError, before anything is disabled,
  // for a form without its window.
  virtual void RunModal(Form& form) = 0;
  // Serves the user until `form` is unloaded or the program ends.
  virtual void RunMainLoop(Form& form) = 0;
  // Runs pending window messages once and returns.
  virtual void DoEvents() = 0;

  virtual void FormChanged(Form& form, Change what) = 0;
  virtual void ControlChanged(Control& control, Change what) = 0;
  // A control object goes away while its form is loaded.
  virtual void DestroyControl(Control& control) = 0;
  // Reads the user-edited state (text box selection) back into the control.
  virtual void ReadBack(Control& control) = 0;
  virtual void Focus(Control& control) = 0;
  // A timer was switched on or off (its form loaded or unloaded, or its Enabled set). CError when the
  // window system refuses to start it.
  virtual void TimerChanged(Timer& timer) = 0;

  // The clipboard's text; "" when it holds none.
  virtual std::wstring ClipboardText() = 0;
  // False when the clipboard could not be had.
  virtual bool SetClipboardText(const std::wstring& text) = 0;

  virtual IWindowApi& Windows() = 0;
};

// The backend in use. CError 51 (internal error) while none is installed: a program that forgot to set
// one up would otherwise run with windows that nobody sees.
IBackend& Backend();
// Installs `backend` (null: none) and returns the previous one. A run of the program lasts as long as
// its backend: installing one starts a new run, in which Ended() is false and ExitCode() 0 until Quit.
std::unique_ptr<IBackend> SetBackend(std::unique_ptr<IBackend> backend);

int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);

// Runs pending window messages once.
void DoEvents();
std::wstring ClipboardText();
bool SetClipboardText(const std::wstring& text);
IWindowApi& Windows();

// The program's end. After Quit every loop of the toolkit returns; the entry returns ExitCode().
void Quit(int exitCode);
bool Ended();
int ExitCode();

// What happens to an error that no handler of the program caught: `source` names the event
// ("FMain.cmdRequestSupport_Click"). The default shows a critical message box and ends the program
// with exit code 1.
using UnhandledErrorHandler = std::function<void(const CError& error, const std::wstring& source)>;
void SetUnhandledErrorHandler(UnhandledErrorHandler handler);
// Raises one event: runs `handler` and lets no exception out of it. A CError (or any other exception,
// turned into one) goes to the unhandled-error handler.
void Raise(const std::wstring& source, const std::function<void()>& handler) noexcept;
// Hands an error to the unhandled-error handler, as Raise does, and ends the program (exit code 1). An
// error reported while the handler still runs for an earlier one (raised by a message served while its
// box shows) is not handed on again: the program ends with the first.
void ReportUnhandledError(const CError& error, const std::wstring& source) noexcept;
// Inside a catch block that must not throw (a destructor, the end of a window procedure): hands the
// error being handled to ReportUnhandledError under the name that `source()` makes, or under none when
// even that cannot be had.
template <class Source>
void ReportCurrentError(Source&& source) noexcept {
  const CError error = CurrentError();
  std::wstring name;
  try {
    name = source();
  } catch (...) {
    // Out of memory for the name as well: the error goes without it.
  }
  ReportUnhandledError(error, name);
}

}  // namespace ui

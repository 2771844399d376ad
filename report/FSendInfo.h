#pragma once
#include <memory>

#include "common/Items.h"
#include "ui/Controls.h"
#include "ui/Form.h"

class CLogger;

// The uninstall-feedback window, the whole of the /uninstall mode: it asks why the user uninstalls and
// sends that reason with the text of the program's log under "LDW\Uninstall". It ends the program
// (ui::Quit(0)) when the feedback was sent, when the user skips it and when the window is closed; a
// failed send offers Retry and Cancel, and after Cancel the window stays open. While a send runs the
// window is disabled, so that neither Skip nor the close box can interrupt it.
class FSendInfo : public ui::Form {
 public:
  FSendInfo();

  // Keeps `Log`: all logging of the window goes there. Called once, before the window is shown.
  void Init(std::shared_ptr<CLogger> Log);

  // The /uninstall start-up's window: made, given `logger` and shown without blocking or owner.
  static std::shared_ptr<ui::Form> Open(std::shared_ptr<CLogger> logger);

  // Design, in tab order.
  ui::Image Image1;
  ui::Label Label1;
  ui::Frame Frame1;
  ui::Label Label4;
  ui::TextBox txtReason;
  ui::Button cmdSend;
  ui::Button cmdCancel;

 private:
  void Form_Load();
  void cmdSend_Click();
  void cmdCancel_Click();
  void Form_Unload();
  // "reason" (the text as typed) when the text is not blanks only, then "log" (the log file's text)
  // unless it cannot be read. Never fails: a step that fails is left out.
  CProperties MakeFeedbackValues();
  void Log(long number, const std::wstring& message, int level);

  std::shared_ptr<CLogger> moLog;
};

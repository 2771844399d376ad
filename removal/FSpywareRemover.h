#pragma once
#include <memory>
#include <string>

#include "removal/PaRemover.h"
#include "shell/FProgressor.h"
#include "shell/StaticLine.h"
#include "ui/Controls.h"
#include "ui/Form.h"

// The removal-script window. The user pastes the Spyware Removal Script from the vendor's mail, checks
// it (Check) and applies it (Remove Spyware): the script is checked against this PC and this version
// (RemovalScript.h), then the remover runs inside the modal progress dialog. Afterwards the window is
// unchanged (script refused, run cancelled, restart declined), finished (nothing removed: Remove Spyware
// disabled, Cancel reads "Close" and is the default button), or the program has ended (files removed and
// the restart offer accepted, whether or not Windows took the request). The main window makes one for
// each opening and shows it with ShowDialog.
class FSpywareRemover : public ui::Form {
 public:
  // The design.
  FSpywareRemover();

  // Shows the window modally over `ParentForm`; returns when it has been closed or the program ended.
  void ShowDialog(ui::Form& ParentForm);

  // Design, in tab order.
  ui::Label lblTop;
  ui::Label Label1;
  ui::TextBox txtMessage;
  ui::Button cmdPaste;
  ui::Button cmdCheckPastedData;
  ui::Button cmdApplyScript;
  ui::Button cmdCancel;
  StaticLine StaticLine1;
  ui::Image Image1;
  ui::Image Image3;

 private:
  void Form_Load();
  // Selects the whole text (errors ignored).
  void SelectAll();
  void txtMessage_GotFocus();
  void txtMessage_KeyUp(int KeyCode, int Shift);
  void cmdPaste_Click();
  void cmdCheckPastedData_Click();
  void cmdApplyScript_Click();
  // The removal, inside the progress dialog.
  void moProgressor_Started();
  void cmdCancel_Click();

  // The lists of the script that Remove Spyware checked, which the remover receives.
  CChecksumList WhiteList;
  CChecksumList BlackList;
  // The remover's result: true when files were removed.
  bool RebootRequired = false;
  // The remover's cause when it removed nothing.
  std::wstring FalseCause;
  std::unique_ptr<FProgressor> moProgressor;
};

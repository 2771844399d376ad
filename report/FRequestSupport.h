#pragma once
#include <memory>
#include <string>

#include "shell/FProgressor.h"
#include "shell/StaticLine.h"
#include "ui/Controls.h"
#include "ui/Form.h"

// The support-request window. It shows this PC's operating system, processor and computer name, takes
// the user's comments, name and e-mail address and, on Request Support, compiles the system state,
// writes it as the state XML and posts it under "LDW\SupportRequest", all inside the modal progress
// dialog. Afterwards it is unchanged (cancelled or input refused), sent (Cancel reads "Close" and is
// the default button) or failed (message 106; the input stays). The main window makes one for each
// opening and shows it with ShowDialog.
class FRequestSupport : public ui::Form {
 public:
  // The design; also Form_Initialize.
  FRequestSupport();

  // Shows the window modally over `ParentForm`; returns when it has been closed.
  void ShowDialog(ui::Form& ParentForm);

  // Design, in tab order.
  ui::Label lblTop;
  ui::Label Label3;
  ui::TextBox txtOS;
  ui::Label Label4;
  ui::TextBox txtCPUType;
  ui::Label Label5;
  ui::TextBox txtComputerName;
  ui::TextBox txtComments;
  ui::Label Label1;
  ui::TextBox txtYourName;
  ui::Label Label2;
  ui::TextBox txtYourEmail;
  ui::Button cmdRequestSupport;
  ui::Button cmdCancel;
  StaticLine StaticLine1;
  ui::Image Image1;
  ui::Image Image3;

  // The result of the last send: true when the endpoint took it.
  bool RequestSent() const noexcept { return mbRequestSent; }

 private:
  void Form_Initialize();
  // Fills the machine texts. A text that cannot be obtained leaves its box empty (logged at level 4):
  // the user can still send the request.
  void Form_Load();
  void Form_Activate();
  void txtComments_GotFocus();
  void cmdRequestSupport_Click();
  // The whole job, inside the progress dialog.
  void moProgressor_Started();
  void cmdCancel_Click();

  std::unique_ptr<FProgressor> moProgressor;
  bool mbRequestSent = false;
  std::wstring msSendError;
};

#pragma once
#include <functional>
#include <string>

#include "shell/Progressor.h"
#include "ui/Controls.h"
#include "ui/Form.h"

// The modal progress dialog inside which every long job runs. The owner sets Started, calls Init and
// then ShowProgress(true, itself); when the dialog becomes active it raises Started, the owner's handler
// does the whole job (calling Progress and testing Cancelled), and when the handler returns the dialog
// hides itself, which ends the modal show. Cancel (the button, Enter or Escape) only sets a flag that the
// job sees at its next test of Cancelled: the click itself is served inside the job's next Progress.
class FProgressor : public ui::Form, public IProgressor {
 public:
  FProgressor();

  // Events.
  std::function<void()> Started;
  std::function<void()> Cancel;

  // True once the user pressed Cancel since the last ShowProgress; kept after the dialog has closed.
  bool Cancelled() const noexcept override { return mbCancelled; }
  // The two lines of the job's description.
  void Init(const std::wstring& Line1, const std::wstring& Line2);
  // Modal: returns when the job has finished and the dialog is unloaded, with the default mouse
  // pointer (the owner is not used). Not modal: shows the dialog owned by `OwnerForm` and returns.
  void ShowProgress(bool Modal, ui::Form* OwnerForm = nullptr);
  // Shows `Percent` (0 to 100; other values leave the bar as it was) and lets pending window messages
  // run once. Never fails.
  void Progress(double Percent) override;
  // Default mouse pointer, dialog unloaded. Never fails; harmless when already closed.
  void Finalize();

  ui::Image Picture1;
  ui::Label lblLine1;
  ui::Label lblLine2;
  ui::ProgressBar pb;
  ui::Button cmdCancel;

 private:
  void Form_Activate();
  void cmdCancel_Click();

  bool mbCancelled = false;
  bool mbStartedThisShowing = false;
};

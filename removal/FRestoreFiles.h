#pragma once
#include <memory>

#include "inspection/ProcessManager.h"
#include "removal/FormsListBox.h"
#include "ui/Controls.h"
#include "ui/Form.h"

// The restore window: lists the recorded removed files whose parasite-named file still exists, and
// gives a chosen one its former name again. The main window creates it, calls Init and shows it
// modally when Init answers true; Close and the title bar's close box hide it, which ends that show.
class FRestoreFiles : public ui::Form {
 public:
  FRestoreFiles();

  // Fills the list. True when it holds at least one file; false also after an error (logged).
  bool Init();
  // Fills the list afresh from the record, selecting the first row. After an error (logged) the list
  // holds the rows added so far.
  void RefreshList();

  // Design, in tab order.
  ui::Image Image1;
  ui::Label Label1;
  ui::Label Label2;
  ui::ListBox lstFilesBox;  // the control named "lstFiles"
  FormsListBox lstFiles{lstFilesBox};
  ui::Button cmdRestoreFile;
  ui::Button cmdClose;

  // Event handlers.
  void cmdRestoreFile_Click();
  void cmdClose_Click();
  void Form_QueryUnload(bool& Cancel, int UnloadMode);

 private:
  std::unique_ptr<CProcessManager> moProcessManager;
};

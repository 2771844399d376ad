#pragma once
#include <functional>
#include <memory>
#include <string>

#include "shell/StaticLine.h"
#include "ui/Controls.h"
#include "ui/Form.h"

class CError;
class CLogger;

// Windows of later subsystems that the shell opens. Each subsystem registers its own at start-up of
// the program (before RunWardline); an entry left empty behaves as described beside it.
struct LaterWindows {
  // Shows the removal-script window modally over `parent`. Empty: the button does nothing.
  std::function<void(ui::Form& parent)> spywareRemover;
  // Makes the uninstall-feedback window, hands it the logger and shows it without blocking; the window
  // ends the program (ui::Quit) when done. Empty: /uninstall ends the program at once.
  std::function<std::shared_ptr<ui::Form>(std::shared_ptr<CLogger> logger)> sendInfo;
};
LaterWindows& GetLaterWindows();
// The program's own entries, which GetLaterWindows() holds until something replaces them.
LaterWindows ProgramLaterWindows();

// Starts "explorer" with the product's web site, in a normal window; failures are ignored.
void OpenWebSite() noexcept;

// The program's run-time error box for an error that no handler caught: logged at level 0 when there
// is a logger, shown as a critical box titled "Wardline" with the error's number and description; the
// program then ends with exit code 1.
void ReportRunTimeError(const CError& error, const std::wstring& source);

// The main window, which is also the start-up window.
class FMain : public ui::Form {
 public:
  enum class StartupResult { ShowMain, End };

  // The design only; the start-up is Form_Initialize.
  FMain();

  // The start-up, in either mode by the command line. ShowMain: the program-wide objects exist, the
  // splash has closed and the labels are filled. End: the program is over (ui::Ended() is true);
  // nothing is to be shown. An unhandled error leaves as far as built and reaches the caller.
  StartupResult Form_Initialize();

  // Design, in tab order.
  ui::Image Image1;
  ui::Image Image2;
  ui::Label Label1;
  ui::Button cmdLearnMore;
  StaticLine StaticLine3;
  ui::Image Image3;
  ui::Label Label2;
  ui::Button cmdRequestSupport;
  StaticLine StaticLine4;
  ui::Image Image4;
  ui::Label Label3;
  ui::Button cmdSpywareRemover;
  StaticLine StaticLine1;
  ui::Label Label4;

  // Command handlers.
  void cmdRequestSupport_Click();
  void cmdSpywareRemover_Click();
  void cmdLearnMore_Click();
  void mnuVisitHomepage_Click();
  void mnuAbout_Click();
  void mnuRestoreRemovedPrograms_Click();
  void mnuExit_Click();

 private:
  StartupResult NormalStartup();
  StartupResult UninstallStartup();
};

// The whole program: the start-up, then the main window until it is unloaded. Returns the exit code
// (0, or 1 after an unhandled error or a failed component check). An error of the start-up or of the
// main window's show and loop is reported through ReportRunTimeError; only a failure to set up the
// report itself (out of memory before the start-up) leaves it.
int RunWardline();

#include "shell/app/FMain.h"

#include <memory>

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "custom/CustomComponent.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "platform/Platform.h"
#include "removal/FRestoreFiles.h"
#include "removal/FSpywareRemover.h"
#include "report/FRequestSupport.h"
#include "report/FSendInfo.h"
#include "shell/app/Components.h"
#include "shell/app/FAbout.h"
#include "shell/app/FSplash.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/app/Mode.h"
#include "shell/Pictures.h"
#include "shell/Product.h"
#include "shell/Strings.h"
#include "ui/Backend.h"

namespace {

constexpr wchar_t kStartupSource[] = L"FMain.Form_Initialize";

void LogStartLines(CLogger& logger) {
  logger.Log(0, L"********** start app", kLogInfo, kStartupSource);
  logger.Log(0, LoadResString(100) + L" ver." + MWDL::gsVersion, kLogInfo, kStartupSource);
  logger.Log(0, L"Startup: " + platform::System().FormatDateTime(MAPI::GetWindowsStartTime()), kLogInfo,
             kStartupSource);
}

void SetLogFiles(CLogger& logger) {
  const std::wstring folder = platform::Files().ProgramFolder();
  logger.SetLogFiles(folder + L"\\WDL.log", folder + L"\\short.log");
}

}  // namespace

LaterWindows ProgramLaterWindows() {
  LaterWindows registered;
  registered.spywareRemover = [](ui::Form& parent) {
    FSpywareRemover window;
    window.ShowDialog(parent);
  };
  registered.sendInfo = FSendInfo::Open;
  return registered;
}

LaterWindows& GetLaterWindows() {
  // The program's own windows of the later subsystems; tests put others in their place.
  static LaterWindows windows = ProgramLaterWindows();
  return windows;
}

void OpenWebSite() noexcept {
  try {
    platform::Desktop().Start(std::wstring(L"explorer ") + product::kWebSite, 1);
  } catch (...) {
    // The browser is a convenience: a failure is neither shown nor logged.
  }
}

void ReportRunTimeError(const CError& error, const std::wstring& source) {
  try {
    MWDL::LogError(error, kLogError, source);
  } catch (...) {
    // A logger (the customisation's own) that fails must not keep the box and the exit from coming.
  }
  MAPI::MyMsgBox(L"Run-time error '" + std::to_wstring(error.Number()) + L"':\r\n\r\n" + error.Description(),
                 MAPI::kStyleCritical, L"Wardline");
  ui::Quit(1);
}

FMain::FMain()
    : ui::Form(L"FMain"),
      Image1(*this, L"Image1", ui::TwipsRect{105, 165, 1515, 4185}, pictures::MainBanner()),
      Image2(*this, L"Image2", ui::TwipsRect{1785, 165, 480, 480}, pictures::SectionIcon(0)),
      Label1(*this, L"Label1", ui::TwipsRect{2445, 135, 5145, 1065}),
      cmdLearnMore(*this, L"cmdLearnMore", ui::TwipsRect{5880, 1185, 1665, 345}, L"Learn More..."),
      StaticLine3(*this, L"StaticLine3", ui::TwipsRect{2820, 1725, 4755, 105}),
      Image3(*this, L"Image3", ui::TwipsRect{1785, 1935, 480, 480}, pictures::SectionIcon(1)),
      Label2(*this, L"Label2", ui::TwipsRect{2445, 1935, 5145, 675}),
      cmdRequestSupport(*this, L"cmdRequestSupport", ui::TwipsRect{5910, 2595, 1665, 345}, L"Request Support..."),
      StaticLine4(*this, L"StaticLine4", ui::TwipsRect{2820, 3135, 4755, 105}),
      Image4(*this, L"Image4", ui::TwipsRect{1785, 3345, 480, 480}, pictures::SectionIcon(2)),
      Label3(*this, L"Label3", ui::TwipsRect{2445, 3345, 5145, 675}),
      cmdSpywareRemover(*this, L"cmdSpywareRemover", ui::TwipsRect{5940, 4005, 1665, 345}, L"Remove Spyware..."),
      StaticLine1(*this, L"StaticLine1", ui::TwipsRect{180, 4560, 7425, 105}),
      Label4(*this, L"Label4", ui::TwipsRect{690, 4680, 6375, 195},
             std::wstring(L"The latest version of Wardline is always available at ") + product::kWebSite) {
  SetCaption(L"Wardline");
  SetBorderStyle(ui::BorderStyle::FixedSingle);
  SetClientSize(7770, 5010);

  ui::MenuItem& file = AddMenu(L"mnuFile", L"&File");
  file.Add(L"mnuExit", L"E&xit").OnClick = [this] { mnuExit_Click(); };
  ui::MenuItem& tools = AddMenu(L"mnuTools", L"&Tools");
  tools.Add(L"mnuRestoreRemovedPrograms", L"&Restore Removed Programs...").OnClick = [this] {
    mnuRestoreRemovedPrograms_Click();
  };
  ui::MenuItem& help = AddMenu(L"mnuHelp", L"&Help");
  help.Add(L"mnuVisitHomepage", L"Wardline Home Page").OnClick = [this] { mnuVisitHomepage_Click(); };
  help.Add(L"mnuHelp1", L"-");
  help.Add(L"mnuAbout", L"&About Wardline...").OnClick = [this] { mnuAbout_Click(); };

  cmdLearnMore.OnClick = [this] { cmdLearnMore_Click(); };
  cmdRequestSupport.OnClick = [this] { cmdRequestSupport_Click(); };
  cmdSpywareRemover.OnClick = [this] { cmdSpywareRemover_Click(); };
}

// ---- start-up ----

FMain::StartupResult FMain::Form_Initialize() {
  if (IsUninstallMode(platform::System().CommandArguments())) return UninstallStartup();
  return NormalStartup();
}

FMain::StartupResult FMain::NormalStartup() {
  // No error is trapped here: a failing step is the caller's run-time error.
  MWDL::goLogger = std::make_shared<CLogger>();
  MWDL::gsVersion = MWDL::VersionText();
  SetLogFiles(*MWDL::goLogger);
  LogStartLines(*MWDL::goLogger);

  {
    std::shared_ptr<platform::IComponent> component = platform::Components().Create(kCustomProgId);
    if (!component) throw CError(err::kCannotCreateObject, L"ActiveX component can't create object");
    auto* custom = dynamic_cast<ICustom2*>(component.get());
    if (!custom) throw CError(438, L"Object doesn't support this property or method");
    std::shared_ptr<CLogger> logger = MWDL::goLogger;
    custom->Init(logger);
    // A component that hands back no logger leaves the program's own in place.
    if (logger) MWDL::goLogger = logger;
  }

  std::wstring message;
  if (!MWDL::CheckComponents(message)) {
    MAPI::MyMsgBox(message, MAPI::kStyleCritical, L"");
    MWDL::Log(0, message, kLogTolerated, kStartupSource);
    ui::Quit(1);
    return StartupResult::End;
  }

  auto splash = std::make_unique<FSplash>();
  splash->Show();
  platform::Desktop().SetMousePointer(platform::kPointerHourglass);
  ui::DoEvents();

  MAPI::gbIsNT = MAPI::IsWindowsNT();
  MAPI::gbIsNT4 = MAPI::IsWindowsNT4();

  MWDL::goRegistry = std::make_shared<CRegistry>();
  MWDL::goHashier = std::make_shared<CHashier>();
  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
  MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();

  Label1.SetCaption(LoadResString(134));
  Label2.SetCaption(LoadResString(135));
  Label3.SetCaption(LoadResString(136));

  while (splash->Visible() && !ui::Ended()) ui::DoEvents();

  platform::Desktop().SetMousePointer(platform::kPointerDefault);
  splash.reset();
  return ui::Ended() ? StartupResult::End : StartupResult::ShowMain;
}

FMain::StartupResult FMain::UninstallStartup() {
  // Every error on this path is ignored; one before the feedback window shows ends the program quietly.
  bool failed = false;
  auto attempt = [&failed](auto&& step) {
    try {
      step();
    } catch (...) {
      failed = true;  // errors are ignored on this path; one before the window ends the program quietly
    }
  };
  std::shared_ptr<CLogger> logger;
  attempt([&] { logger = std::make_shared<CLogger>(); });
  // A step that needs the logger is skipped when there is none (already a failure).
  attempt([&] { if (logger) SetLogFiles(*logger); });
  attempt([&] { MWDL::gsVersion = MWDL::VersionText(); });
  attempt([&] { if (logger) LogStartLines(*logger); });
  if (failed || !logger) {
    ui::Quit(1);
    return StartupResult::End;
  }

  std::shared_ptr<ui::Form> feedback;
  if (const auto& makeWindow = GetLaterWindows().sendInfo) {
    try {
      feedback = makeWindow(logger);
    } catch (...) {
      feedback.reset();  // errors in making the feedback window are ignored: no window, the end below
    }
  }
  // Without a feedback window on screen nothing could ever end the program: end it now rather than
  // wait invisibly for ever.
  if (!feedback || !feedback->Loaded()) {
    ui::Quit(feedback || !GetLaterWindows().sendInfo ? 0 : 1);
    return StartupResult::End;
  }
  while (!ui::Ended() && feedback->Loaded()) {
    ui::DoEvents();
    platform::System().Sleep(5);
  }
  ui::Quit(0);
  return StartupResult::End;
}

// ---- commands ----

void FMain::cmdRequestSupport_Click() {
  // Not trapped: an error here is a run-time error of the program.
  FRequestSupport window;
  window.ShowDialog(*this);
}

void FMain::cmdSpywareRemover_Click() {
  if (const auto& show = GetLaterWindows().spywareRemover) show(*this);
}

void FMain::cmdLearnMore_Click() { mnuVisitHomepage_Click(); }

void FMain::mnuVisitHomepage_Click() { OpenWebSite(); }

void FMain::mnuAbout_Click() {
  try {
    FAbout about;
    about.ShowModal(this);
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FMain.mnuAbout_Click");
  }
}

void FMain::mnuRestoreRemovedPrograms_Click() {
  try {
    FRestoreFiles restore;
    if (restore.Init()) {
      restore.ShowModal(this);
    } else {
      MAPI::MyMsgBox(LoadResString(124), MAPI::kStyleInformation, L"");
    }
    try {
      restore.Unload();
    } catch (...) {
      // Unloading the restore window ignores its errors.
    }
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FMain.mnuRestoreRemovedPrograms_Click");
  }
}

void FMain::mnuExit_Click() {
  try {
    Unload();
  } catch (...) {
    // File > Exit ignores its errors.
  }
}

// ---- the program ----

int RunWardline() {
  ui::SetUnhandledErrorHandler(ReportRunTimeError);
  // The toolkit creates the main window object first; its initialisation is the start-up.
  FMain main;
  FMain::StartupResult result = FMain::StartupResult::End;
  ui::Raise(L"FMain.Form_Initialize", [&] { result = main.Form_Initialize(); });
  if (result == FMain::StartupResult::ShowMain && !ui::Ended()) {
    // An error that escapes the toolkit while it shows and serves the main window is a run-time error
    // like any other.
    ui::Raise(L"FMain.Show", [&] {
      main.Show();
      if (!ui::Ended()) ui::Backend().RunMainLoop(main);
    });
    // The program ends when the main window is unloaded.
    ui::Quit(0);
  }
  return ui::ExitCode();
}

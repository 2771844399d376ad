// The program's start-up in both modes (FMain's initialisation) and its run to the end.
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "common/Logger.h"
#include "custom/CustomComponent.h"
#include "common/Error.h"
#include "shell/app/FMain.h"
#include "shell/app/FSplash.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "tests/native/InspectionEnumFixture.h"
#include "tests/native/UiHeadlessFixture.h"

namespace {

struct FakeCustom : ICustom2 {
  FakeCustom(std::shared_ptr<CLogger> r, std::shared_ptr<CLogger>* got) : replacement(std::move(r)), received(got) {}
  void Init(std::shared_ptr<CLogger>& logger) override {
    *received = logger;
    if (replacement) logger = replacement;
  }
  std::shared_ptr<CLogger> replacement;
  std::shared_ptr<CLogger>* received;
};

class ShellStartup : public UiHeadlessTest {
 protected:
  ShellStartup() {
    Reset();
    machine.files.SetProgramFolder(L"C:\\Wardline");
    machine.components.Register(kCustomProgId, [this] { return std::make_shared<FakeCustom>(replacement, &received); });
    machine.components.Register(kCommonTestProgId, [] { return std::make_shared<platform::IComponent>(); });
    machine.components.Register(kCustomTestProgId, [] { return std::make_shared<platform::IComponent>(); });
    // Time passes while the start-up pumps, so the splash closes by itself.
    headless->onIdle = [this] {
      pointersSeen.push_back(machine.desktop.MousePointer());
      machine.system.SetTickCount(machine.system.GetTickCount() + 100);
    };
  }
  ~ShellStartup() override { Reset(); }

  static void Reset() {
    GetLaterWindows() = LaterWindows{};
    MWDL::goLogger.reset();
    MWDL::goRegistry.reset();
    MWDL::goHashier.reset();
    MWDL::goFileInfoManager.reset();
    MWDL::goFilenameResolver.reset();
    MWDL::gsVersion.clear();
  }

  std::string Log() const { return machine.files.FileText(L"C:\\Wardline\\WDL.log"); }
  bool LogHas(const std::string& part) const { return Log().find(part) != std::string::npos; }
  // A run that fails: exit code 1, exactly one critical box with the product's title, only the windows
  // `shown`, and `logged` in the log.
  void ExpectFailedRun(const std::wstring& prompt, const std::string& logged,
                       const std::vector<std::wstring>& shown = {}) {
    EXPECT_EQ(RunWardline(), 1);
    EXPECT_TRUE(LogHas(logged)) << Log();
    ASSERT_EQ(machine.desktop.Boxes().size(), 1u);
    const platform::ShownBox& box = machine.desktop.Boxes()[0];
    EXPECT_EQ(std::tie(box.style, box.title, box.prompt), std::tuple(16u, L"Wardline", prompt));
    EXPECT_EQ(headless->ShownForms(), shown);
  }

  std::shared_ptr<CLogger> replacement;
  std::shared_ptr<CLogger> received;
  std::vector<int> pointersSeen;
};

TEST_F(ShellStartup, NormalStartupLogsCreatesAndWaitsAboutThreeSecondsForTheSplash) {
  const std::uint32_t start = machine.system.GetTickCount();
  FMain main;
  ASSERT_EQ(main.Form_Initialize(), FMain::StartupResult::ShowMain);
  const std::uint32_t waited = machine.system.GetTickCount() - start;
  EXPECT_GE(waited, 3000u);
  EXPECT_LE(waited, 3200u);
  const std::string log = Log();
  std::size_t previous = 0;
  for (const char* line : {"FMain.Form_Initialize\t********** start app", "FMain.Form_Initialize\tWardline ver.2.0.24",
                           "FMain.Form_Initialize\tStartup: "}) {
    const std::size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << line << "\n" << log;
    EXPECT_GE(at, previous) << line;
    previous = at + 1;
  }
  EXPECT_NE(machine.files.FileText(L"C:\\Wardline\\short.log").find("start app"), std::string::npos);

  EXPECT_EQ(machine.components.Requests(),
            (std::vector<std::wstring>{kCustomProgId, kCommonTestProgId, kCustomTestProgId}));
  const bool objects = MWDL::goRegistry && MWDL::goHashier && MWDL::goFileInfoManager && MWDL::goFilenameResolver;
  EXPECT_EQ(std::tuple(received, MWDL::gsVersion, objects, MAPI::gbIsNT),
            std::tuple(MWDL::goLogger, L"2.0.24", true, true));
  EXPECT_EQ(std::tie(main.Label1.Caption(), main.Label2.Caption(), main.Label3.Caption()),
            std::tuple(LoadResString(134), LoadResString(135), LoadResString(136)));
  ASSERT_FALSE(pointersSeen.empty());
  // The hourglass while it starts; the main window is shown by the toolkit after the start-up.
  EXPECT_EQ(std::tuple(headless->ShownForms(), pointersSeen.front(), machine.desktop.MousePointer(), main.Loaded()),
            std::tuple(std::vector<std::wstring>{L"FSplash"}, platform::kPointerHourglass, platform::kPointerDefault,
                       false));
}

TEST_F(ShellStartup, ClickOnTheSplashEndsTheWaitAtOnce) {
  const std::uint32_t start = machine.system.GetTickCount();
  int pumps = 0;
  headless->onIdle = [&] {
    machine.system.SetTickCount(machine.system.GetTickCount() + 100);
    if (++pumps != 2) return;
    auto* splash = static_cast<FSplash*>(headless->FindLoaded(L"FSplash"));
    ASSERT_NE(splash, nullptr);
    splash->Image1.UserMouseUp(ui::MouseEventArgs{ui::kLeftButton, 0, 0, 0});
  };
  FMain main;
  ASSERT_EQ(main.Form_Initialize(), FMain::StartupResult::ShowMain);
  EXPECT_EQ(std::tuple(pumps, machine.system.GetTickCount() - start, headless->FindLoaded(L"FSplash")),
            std::tuple(2, 200u, nullptr));
}

TEST_F(ShellStartup, ComponentCheckFailureShowsCriticalBoxBeforeAnyWindowAndLogsItAtLevelFour) {
  machine.components.Fail(kCustomTestProgId);
  ExpectFailedRun(
      L"Component 'WDLCUSTOM.DLL' or one of its dependencies not correctly registered: a file is missing or invalid. "
      L"Try to reinstall Wardline.",
      "\t4\t0\tFMain.Form_Initialize\tComponent 'WDLCUSTOM.DLL' or one of its");
}

TEST_F(ShellStartup, MissingCustomComponentIsARunTimeError) {
  machine.components.Fail(kCustomProgId);
  ExpectFailedRun(L"Run-time error '429':\r\n\r\nActiveX component can't create object",
                  "\t0\t429\tFMain.Form_Initialize\tActiveX component can't create object");
}

// A library without memory for the object: the customisation component's creation fails with that error.
TEST_F(ShellStartup, CustomComponentWithoutMemoryIsThatRunTimeError) {
  machine.components.Register(kCustomProgId, []() -> std::shared_ptr<platform::IComponent> { throw std::bad_alloc(); });
  ExpectFailedRun(L"Run-time error '7':\r\n\r\nOut of memory", "\t0\t7\tFMain.Form_Initialize\tOut of memory");
}

// ... and the component check counts it as any other failure to create.
TEST_F(ShellStartup, TestClassWithoutMemoryFailsTheComponentCheck) {
  machine.components.Register(kCommonTestProgId, []() -> std::shared_ptr<platform::IComponent> { throw std::bad_alloc(); });
  ExpectFailedRun(
      L"Component 'QNCOMMON.DLL' or one of its dependencies not correctly registered: a file is missing or invalid. "
      L"Try to reinstall Wardline.",
      "\t4\t0\tFMain.Form_Initialize\tComponent 'QNCOMMON.DLL' or one of its");
}

TEST_F(ShellStartup, LoggerHandedBackByTheComponentIsTheProgramsLogger) {
  auto recording = std::make_shared<CapturingLogger>();
  replacement = recording;
  machine.components.Fail(kCommonTestProgId);
  EXPECT_EQ(RunWardline(), 1);
  EXPECT_EQ(MWDL::goLogger, recording);
  ASSERT_EQ(recording->lines.size(), 1u);
  const LogLine& line = recording->lines[0];
  EXPECT_EQ(std::tuple(line.level, line.source, line.message.find(L"QNCOMMON.DLL") != std::wstring::npos),
            std::tuple(4, L"FMain.Form_Initialize", true)) << line.message;
}

TEST_F(ShellStartup, NormalRunShowsTheMainWindowUntilItIsUnloaded) {
  bool shownWithTexts = false;
  headless->onMainLoop = [&](ui::Form& form) {
    auto& main = static_cast<FMain&>(form);
    shownWithTexts = main.Visible() && main.Label1.Caption() == LoadResString(134);
    main.FindMenu(L"mnuExit")->PerformClick(main.Name());
  };
  EXPECT_EQ(RunWardline(), 0);
  EXPECT_EQ(std::pair(shownWithTexts, headless->ShownForms()),
            std::pair(true, std::vector<std::wstring>{L"FSplash", L"FMain"}));
}

// An error that escapes the toolkit itself while it shows or serves the main window takes the same path
// as a handler's: the run-time error box, a level-0 log line, exit code 1.
TEST_F(ShellStartup, ErrorEscapingTheMainWindowsLoopIsARunTimeError) {
  headless->onMainLoop = [](ui::Form&) { throw std::bad_alloc(); };
  ExpectFailedRun(L"Run-time error '7':\r\n\r\nOut of memory", "\t0\t7\tFMain.Show\tOut of memory",
                  {L"FSplash", L"FMain"});
}

// A program that set up no backend for the toolkit does not run on without windows: its first window
// is a run-time error.
TEST_F(ShellStartup, StartupWithoutAToolkitBackendIsARunTimeError) {
  std::unique_ptr<ui::IBackend> backend = ui::SetBackend(nullptr);
  ExpectFailedRun(L"Run-time error '51':\r\n\r\nInternal error: the windowing toolkit has no backend",
                  "\t0\t51\tFMain.Form_Initialize\tInternal error: the windowing toolkit has no backend");
  ui::SetBackend(std::move(backend));
}

TEST_F(ShellStartup, ModeChoiceByTheWholeCommandLine) {
  struct Case { const wchar_t* arguments; bool uninstall; };
  for (const Case c : {Case{L"", false}, Case{L"  /UNINSTALL  ", true}, Case{L"/uninstall", true},
                       Case{L"/uninstall now", false}, Case{L"/uninstal", false}}) {
    Reset();
    NewRun();
    machine.system.SetCommandArguments(c.arguments);
    const std::size_t before = machine.components.Requests().size();
    FMain main;
    main.Form_Initialize();
    // No components checked and no program logger in the uninstall mode.
    EXPECT_EQ(std::pair(machine.components.Requests().size() == before, MWDL::goLogger == nullptr),
              std::pair(c.uninstall, c.uninstall)) << c.arguments;
  }
}

TEST_F(ShellStartup, UninstallModeLogsAndHandsItsOwnLoggerToTheFeedbackWindow) {
  machine.system.SetCommandArguments(L"/uninstall");
  std::shared_ptr<CLogger> handed;
  std::shared_ptr<ui::Form> window;
  GetLaterWindows().sendInfo = [&](std::shared_ptr<CLogger> logger) {
    handed = logger;
    window = std::make_shared<ui::Form>(L"FSendInfo");
    window->Show();
    return window;
  };
  int pumps = 0;
  headless->onIdle = [&] {
    if (++pumps == 3) ui::Quit(0);  // the feedback window ends the program
  };
  FMain main;
  EXPECT_EQ(main.Form_Initialize(), FMain::StartupResult::End);
  ASSERT_NE(handed, nullptr);
  EXPECT_EQ(std::tuple(handed->LogFileName(), MWDL::goLogger, pumps, LogHas("Wardline ver.2.0.24"),
                       machine.components.Requests().empty(), ui::ExitCode()),
            std::tuple(L"C:\\Wardline\\WDL.log", nullptr, 3, true, true, 0));
}

TEST_F(ShellStartup, UninstallModeWithoutAFeedbackWindowEndsInsteadOfWaitingForEver) {
  machine.system.SetCommandArguments(L"/uninstall");
  GetLaterWindows().sendInfo = [](std::shared_ptr<CLogger>) -> std::shared_ptr<ui::Form> {
    throw CError(429, L"ActiveX component can't create object");
  };
  EXPECT_EQ(RunWardline(), 1);
  EXPECT_EQ(std::pair(ui::Ended(), machine.desktop.Boxes().empty()), std::pair(true, true));
}

}  // namespace

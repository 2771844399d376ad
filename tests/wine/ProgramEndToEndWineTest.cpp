// wardline.exe itself, run as a child process in a scratch folder of its own: a normal start up to the
// main window and back, and a start without WDLCustom.dll, which ends in a run-time error. The program
// with a fault planted behind its Remove Spyware button (wdl_faultyprogram.exe, built from the same entry
// and start-up) shows how an error in the running program ends it. Started with /uninstall, it sends
// the feedback typed into its one window to the local stand-in for the vendor's endpoint. And the whole
// removal round trip: a support request, the vendor's script for it pasted into the running program,
// which removes the test's own files and ends the helper that held them, and the restore.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/Items.h"
#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "detection/PaDetector.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Hashier.h"
#include "platform/KeyFold.h"
#include "removal/FRestoreFiles.h"
#include "removal/RemovalScript.h"
#include "report/CL.h"
#include "report/Reporter.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/RemovalFixture.h"
#include "tests/wine/UiWin32Fixture.h"
#include "tests/wine/WindowPixels.h"

namespace {

namespace fs = std::filesystem;
using namespace program_wine;
using ::testing::Contains;

// The About window: a form without a menu or title bar, titled like the main window.
bool IsAboutWindow(HWND hwnd) {
  return ClassOf(hwnd) == L"WDL.Form" && TextOf(hwnd) == L"Wardline" && ::GetMenu(hwnd) == nullptr &&
         (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION) == 0;
}

class ProgramEndToEndWine : public ProgramUnderTest {};

TEST_F(ProgramEndToEndWine, StartsToItsMainWindowLogsTheStartAndEndsWithZeroWhenClosed) {
  HWND main = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartToMainWindow(main));
  ASSERT_TRUE(fs::exists(folder_ / L"WDL.log"));
  EXPECT_TRUE(fs::exists(folder_ / L"short.log"));
  EXPECT_THAT(Log(),
              AllOf(HasSubstr("********** start app"), HasSubstr("Wardline ver.2.0.24"), HasSubstr("Startup: ")));
  CloseExpectingExit0({main});
}

TEST_F(ProgramEndToEndWine, WithoutWDLCustomShowsRunTimeError429AndEndsWithAnErrorCode) {
  ASSERT_NO_FATAL_FAILURE(Start(kRuntime));
  bool mainWindowFirst = false;
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(
      Await(box, IsMessageBox, 30, "message box", [&](HWND hwnd) { mainWindowFirst |= IsMainWindow(hwnd); }));
  EXPECT_FALSE(mainWindowFirst);
  EXPECT_THAT(StaticTexts(box), AllOf(HasSubstr(L"429"), HasSubstr(L"can't create object")));
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_THAT(WaitForExit(10), AllOf(::testing::Ne(0u), ::testing::Ne(STILL_ACTIVE)));
  const std::string log = Log();
  EXPECT_THAT(log, AllOf(HasSubstr("********** start app"), HasSubstr("\t429\t")));
  EXPECT_EQ(Occurrences(log, "can't create object"), 1u) << log;
}

// An error in the running program (wdl_faultyprogram.exe with the fault planted behind its Remove
// Spyware button): the run-time error box, one level-0 log line, exit code 1. An error inside the
// toolkit's window procedure (no brush can be had for a new colour) takes the same path as one of a
// button's handler, rather than ending the message quietly and leaving the program running.
TEST_F(ProgramEndToEndWine, ErrorsOfTheRunningProgramAreRunTimeErrorsThatEndIt) {
  struct Case { const wchar_t* mode; long number; std::string description, source; };
  for (const Case& c : {Case{L"handler", 53, "File not found", "FMain.cmdSpywareRemover_Click"},
                        Case{L"toolkit", 7, "Out of memory", "FMain.WindowProc"}}) {
    SCOPED_TRACE(c.source);
    HWND main = nullptr, box = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartToMainWindow(main, L"wdl_faultyprogram.exe", c.mode));
    ASSERT_NO_FATAL_FAILURE(Press(main, L"Remove Spyware..."));
    ASSERT_NO_FATAL_FAILURE(Await(box, IsMessageBox, 30, "message box"));
    EXPECT_THAT(StaticTexts(box), AllOf(HasSubstr(L"Run-time error '" + std::to_wstring(c.number) + L"'"),
                                        HasSubstr(qn::FromUtf8(c.description))));
    ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
    EXPECT_EQ(WaitForExit(10), 1u);
    const std::string log = Log();
    EXPECT_EQ(Occurrences(log, "\t0\t" + std::to_string(c.number) + "\t" + c.source + "\t" + c.description), 1u)
        << log;
    Stop();
  }
}

// When the system will not give the program its windows, the program says so and ends instead of
// waiting for a window that does not exist. A dialog refused while it runs (wdl_faultyprogram.exe
// refused: Request Support behind the Remove Spyware button) is a run-time error of the button's
// handler: the box, one log line, exit code 1. Its form windows' class taken before it starts (taken)
// is one of its entry, before any window and before there is a log: the box and exit code 1.
TEST_F(ProgramEndToEndWine, WindowsTheSystemRefusesAreRunTimeErrorsThatEndIt) {
  struct Case { const wchar_t* mode; bool running; std::wstring shown; std::string logged; };
  for (const Case& c : {Case{L"refused", true, L"CreateWindowExW failed: ",
                             "\tFMain.cmdSpywareRemover_Click\tCreateWindowExW failed: "},
                        Case{L"taken", false, L"Run-time error '-2147023486':\r\n\r\nRegisterClassExW failed: ", ""}}) {
    SCOPED_TRACE(std::string(c.shown.begin(), c.shown.end()));
    HWND main = nullptr, box = nullptr;
    bool mainWindowFirst = false;
    if (c.running) {
      ASSERT_NO_FATAL_FAILURE(StartToMainWindow(main, L"wdl_faultyprogram.exe", c.mode));
      ASSERT_NO_FATAL_FAILURE(Press(main, L"Remove Spyware..."));
    } else {
      ASSERT_NO_FATAL_FAILURE(Start(Runtime({L"WDLCustom.dll"}), L"wdl_faultyprogram.exe", c.mode));
    }
    ASSERT_NO_FATAL_FAILURE(
        Await(box, IsMessageBox, 30, "message box", [&](HWND hwnd) { mainWindowFirst |= IsMainWindow(hwnd); }));
    EXPECT_THAT(StaticTexts(box), AllOf(HasSubstr(L"Run-time error '"), HasSubstr(c.shown)));
    EXPECT_EQ(mainWindowFirst, c.running) << "the main window shows only in the running program";
    ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
    EXPECT_EQ(WaitForExit(10), 1u);
    if (c.running) {
      EXPECT_EQ(Occurrences(Log(), c.logged), 1u) << Log();
    } else {
      EXPECT_FALSE(fs::exists(folder_ / L"WDL.log")) << "the start-up ran";
    }
    Stop();
  }
}

// The program's own About window, with the common controls its manifest asks for: read back from the
// screen, its frame shows the form's dark blue inside rather than black.
TEST_F(ProgramEndToEndWine, AboutWindowsFrameShowsDarkBlueInside) {
  // The program with the About window behind its Remove Spyware button: the menus of another process are
  // out of reach under Wine (WINE-DIFFERENCES.md).
  HWND main = nullptr, about = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartToMainWindow(main, L"wdl_faultyprogram.exe", L"about"));
  EXPECT_EQ(::GetMenuItemCount(::GetMenu(main)), -1) << "Wine reaches another process's menus now: open the "
                                                        "About window by Help > About and update WINE-DIFFERENCES.md";
  ASSERT_NO_FATAL_FAILURE(Press(main, L"Remove Spyware..."));
  ASSERT_NO_FATAL_FAILURE(Await(about, IsAboutWindow, 10, "About window"));
  ::Sleep(1000);  // painted, and on the screen
  RECT frame{}, window{};
  std::vector<RECT> others;
  for (HWND child : ChildrenOf(about)) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    if (ClassOf(child) == L"Button" && (::GetWindowLongPtrW(child, GWL_STYLE) & 0xF) == BS_GROUPBOX) {
      frame = rect;
    } else {
      others.push_back(rect);
    }
  }
  ASSERT_FALSE(::IsRectEmpty(&frame)) << "no frame in the About window";

  ::GetWindowRect(about, &window);
  HDC screen = ::GetDC(nullptr);
  const wine_pixels::Pixels pixels(screen, window);
  ::ReleaseDC(nullptr, screen);
  const auto count = wine_pixels::CountOtherThan(pixels, wine_pixels::InsideOfFrame(frame), others, RGB(0, 0, 102));
  EXPECT_GT(count.checked, 1000) << "the frame's inside is all covered";
  EXPECT_EQ(count.other, 0) << "of " << count.checked << " pixels; the first is 0x" << std::hex << count.firstOther;

  ASSERT_TRUE(::PostMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0));
  CloseExpectingExit0({main});
}

// wardline.exe /uninstall as its own process: the feedback window alone. The reason typed into it and
// sent reaches the vendor's stand-in (tests/endpoint) with the program's log, and after the "Thank you. "
// box the program ends with exit code 0.
TEST_F(ProgramEndToEndWine, UninstallSendsTheReasonWithTheLogAndEndsWithZeroAfterThanks) {
  wine_test::FreshEndpoint endpoint;
  HWND window = nullptr, box = nullptr;
  ASSERT_NO_FATAL_FAILURE(Start(Runtime({L"vbzip10.dll"}), L"wardline.exe", L"/uninstall"));
  ASSERT_NO_FATAL_FAILURE(
      Await(window, [](HWND hwnd) { return TextOf(hwnd) == L"Wardline Uninstall"; }, 30, "feedback window"));
  EXPECT_FALSE(IsMainWindow(window));

  HWND reason = ChildWindow(window, L"Edit", L"");
  ASSERT_NE(reason, nullptr);
  // Typed as keystrokes reach the box (a multi-line box tells its parent nothing of a WM_SETTEXT).
  for (wchar_t c : std::wstring(L"Too slow for me")) ::SendMessageW(reason, WM_CHAR, c, 0);
  ASSERT_NO_FATAL_FAILURE(Press(window, L"Send"));
  ASSERT_NO_FATAL_FAILURE(Await(box, IsMessageBox, 120, "message box"));
  EXPECT_THAT(StaticTexts(box), HasSubstr(L"Thank you. "));
  EXPECT_EQ(WaitForExit(0), STILL_ACTIVE);  // the program waits for the box
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_EQ(WaitForExit(10), 0u);

  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr("Wardline ver.2.0.24"));
  EXPECT_EQ(wine_test::Arrivals(),
            (std::vector<wine_test::Arrival>{{"ok", "LDW\\Uninstall", {{"reason", "Too slow for me"}, {"log", log}}}}));
}

// ---- the removal round trip ----

// A file of the bin folder copied to `to` with `tail` appended, which the loader ignores: a file of the
// test's own, whose checksum no file of the build shares. Returns the copy's bytes.
std::string CopyWithTail(const fs::path& from, const fs::path& to, const std::string& tail) {
  const std::string bytes = ReadAll(from) + tail;
  std::ofstream(to, std::ios::binary) << bytes;
  return bytes;
}

std::wstring LongPath(const fs::path& path) {
  wchar_t buffer[MAX_PATH * 4] = L"";
  const DWORD length = ::GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 4);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(buffer, length) : path.wstring();
}

class SilentProgressor : public IProgressor {
 public:
  void Progress(double) override {}
  bool Cancelled() const override { return false; }
};

// The files that the script in `text` selects on this machine as it runs now, as the remover selects
// them: the suspicious files not on the white list and every file on the black list (paths folded).
std::set<std::wstring> Selection(const std::wstring& text) {
  RemovalScript::ScriptTexts texts;
  RemovalScript::CChecksumList white, black;
  std::set<std::wstring> selected;
  if (!RemovalScript::ParseScriptFromMessage(text, texts, white, black)) return {L"(the script does not read)"};
  MWDL::goHashier = std::make_shared<CHashier>();
  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
  SilentProgressor progressor;
  SystemState state;
  CPaDetector().CompileSystemState(progressor, 1, 30, state);
  if (!state.oCommonFileList || !state.oSuspiciousFileList) return {L"(no state)"};
  const auto key = [](const std::wstring& file) {
    std::int32_t size = 0;
    return qn::NumberKey(MWDL::goHashier->HashFromFullFileName(file, size));
  };
  for (const std::wstring& file : *state.oSuspiciousFileList) {
    if (!white.Exists(key(file))) selected.insert(platform::FoldKey(file));
  }
  for (const std::wstring& file : *state.oCommonFileList) {
    if (black.Exists(key(file))) selected.insert(platform::FoldKey(file));
  }
  return selected;
}

// The round trip on the real system. The program sends nothing itself here: the test sends the support
// request as the support-request window does, with this machine's state, while the program and a helper
// holding the test's two libraries run. The vendor's tool answers with a script that removes those two
// (the one without version data by leaving it off the white list, the one with a CompanyName by its
// checksum on the black list) and keeps every other suspicious file of this machine, so that nothing but
// the test's own files can go; the test checks that before the script is applied. The script is pasted
// into the running program's removal window; the restart is declined. Then the restore window, in this
// process, gives the files their names back.
TEST_F(ProgramEndToEndWine, RemovalScriptForASupportRequestRemovesTheTestsFilesAndRestoreBringsThemBack) {
  wine_test::FreshEndpoint endpoint;
  auto logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};
  Win32Backend toolkit;  // for the clipboard
  HWND main = nullptr, remover = nullptr, offer = nullptr, reminder = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartToMainWindow(main));

  // The test's own files, in its scratch folder: the build's files are never touched.
  const fs::path files = folder_ / L"files";
  ASSERT_TRUE(fs::create_directories(files));
  const std::string tail = "wdl removal round trip " + std::to_string(::GetCurrentProcessId()) + " " +
                           std::to_string(::GetTickCount64());
  std::vector<std::string> bytes;  // of each copy, in this order
  for (const wchar_t* name : {L"wdl_plaindll.dll", L"wdl_testdll.dll", L"wdl_loadchild.exe"}) {
    bytes.push_back(CopyWithTail(BinFolder() / name, files / name, tail));
  }
  const std::wstring plain = LongPath(files / L"wdl_plaindll.dll"), company = LongPath(files / L"wdl_testdll.dll");
  const std::vector<std::wstring> both = {plain, company};
  // The test's values in the record of removed files go before and after the test.
  const auto cleanRecord = [&] { std::for_each(both.begin(), both.end(), removal_wine::DeleteRecord); };
  cleanRecord();
  const AtEnd recordCleaned{cleanRecord};
  LibraryHolder holder(LongPath(files / L"wdl_loadchild.exe"), both);
  ASSERT_TRUE(holder.started) << ::GetLastError();
  ASSERT_TRUE(holder.ready) << "the helper did not load the libraries";

  // The support request with this machine's state and descriptions. The zip library, which the send
  // loads into this process, is loaded first, so that the state the vendor reads holds it too.
  const std::unique_ptr<HINSTANCE__, decltype(&::FreeLibrary)> zip(
      ::LoadLibraryW((BinFolder() / L"vbzip10.dll").c_str()), ::FreeLibrary);
  ASSERT_NE(zip, nullptr);
  long major = 0, minor = 0, build = 0, platformId = 0;
  std::wstring servicePack, cause;
  const std::wstring os = Utilities().GetOSVersion(major, minor, build, platformId, servicePack);
  SilentProgressor progressor;
  const std::wstring state = CReporter().MakeStateXML(progressor, os, Utilities().GetCPUType(),
                                                      Utilities().GetComputerName(), L"Ads pop up", L"Ann",
                                                      L"ann@example.com");
  ASSERT_FALSE(state.empty()) << qn::ToUtf8(logger->lines);
  CProperties values;
  values.Add(L"state", state);
  ASSERT_TRUE(CL().Do1(L"LDW\\SupportRequest", values, cause)) << qn::ToUtf8(cause);
  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].verdict, "ok");

  int status = 0;
  const std::string answer = wine_test::VendorScript(records[0].number, both, true, status);
  ASSERT_EQ(status, 200) << answer;
  const std::wstring script = qn::FromUtf8(answer);
  ASSERT_EQ(Selection(script), (std::set<std::wstring>{platform::FoldKey(plain), platform::FoldKey(company)}))
      << "the script would remove other files than the test's: not applied";

  // The user opens the removal window, copies the script out of the mail, pastes and applies it.
  ASSERT_NO_FATAL_FAILURE(Press(main, L"Remove Spyware..."));
  ASSERT_NO_FATAL_FAILURE(
      Await(remover, [](HWND hwnd) { return TextOf(hwnd) == L"Spyware Remover"; }, 30, "removal window"));
  ASSERT_TRUE(ui::SetClipboardText(L"Dear customer,\r\n\r\nplease paste this:\r\n\r\n" + script + L"\r\nRegards\r\n"));
  ASSERT_NO_FATAL_FAILURE(Press(remover, L"Paste"));
  HWND edit = ChildOfClass(remover, L"Edit");
  ASSERT_NE(edit, nullptr);
  // The clipboard's owner is this process's window: under Wine another process gets the text only while
  // the owner serves its messages.
  for (int tick = 0; tick < 200 && ControlText(edit).find(L"Regards") == std::wstring::npos; ++tick) {
    ui::DoEvents();
    ::Sleep(50);
  }
  ASSERT_NE(ControlText(edit).find(script), std::wstring::npos)
      << "the script was not pasted: " << qn::ToUtf8(ControlText(edit)) << "; the clipboard holds "
      << qn::ToUtf8(ui::ClipboardText());
  ASSERT_NO_FATAL_FAILURE(Press(remover, L"Remove Spyware"));

  ASSERT_NO_FATAL_FAILURE(
      Await(offer, BoxSaying(L"Windows restart is required to complete cleanup."), 180, "restart offer"));
  ASSERT_TRUE(::PostMessageW(offer, WM_COMMAND, IDCANCEL, 0));  // declined: Windows is not asked to restart
  ASSERT_NO_FATAL_FAILURE(Await(reminder, BoxSaying(L"Don't forget to restart Windows manually."), 10, "reminder"));
  ASSERT_TRUE(::PostMessageW(reminder, WM_COMMAND, IDOK, 0));

  EXPECT_TRUE(holder.Ended(10000)) << "the helper that held the libraries still runs";
  const std::string log = Log();
  const std::string terminated = "Process for file '" + std::to_string(holder.Id()) + "' terminated successfully. ";
  EXPECT_THAT(log, AllOf(HasSubstr("Executing a script: Dear customer,"), HasSubstr(terminated)));
  for (const std::wstring& file : both) {
    EXPECT_FALSE(fs::exists(file)) << qn::ToUtf8(file);
    EXPECT_TRUE(fs::exists(MAPI::MakeParasiteFileName(file))) << qn::ToUtf8(file);
    EXPECT_EQ(removal_wine::Record(file), file);
    EXPECT_THAT(log, AllOf(HasSubstr("Disabling " + qn::ToUtf8(file)),
                           HasSubstr("File renamed sucessfullly: '" + qn::ToUtf8(file) + "'")));
  }
  EXPECT_EQ(Occurrences(log, "\tDisabling "), 2u) << log;

  // The window stays open after the restart was declined; closed with the program.
  ASSERT_NO_FATAL_FAILURE(CloseExpectingExit0({remover, main}));

  // The restore window, driven through its handlers; every box is answered OK.
  {
    MessageBoxCloser closer;
    FRestoreFiles restore;
    ASSERT_TRUE(restore.Init());
    for (const std::wstring& file : both) {
      restore.lstFiles.SetText(file);
      restore.cmdRestoreFile_Click();
      EXPECT_THAT(closer.texts, Contains(HasSubstr(L"Program '" + file + L"' is restored successfully.")));
    }
  }
  for (std::size_t i = 0; i < both.size(); ++i) {
    EXPECT_EQ(ReadAll(both[i]), bytes[i]);
    EXPECT_FALSE(fs::exists(MAPI::MakeParasiteFileName(both[i]))) << qn::ToUtf8(both[i]);
    EXPECT_EQ(removal_wine::Record(both[i]), removal_wine::kNoRecord);
  }
}

}  // namespace

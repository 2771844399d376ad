// wardline.exe itself, run as a child process in a scratch folder of its own: a normal start up to the
// main window and back, and a start without WDLCustom.dll, which ends in a run-time error. The program
// with a fault planted behind its Remove Spyware button (wdl_faultyprogram.exe, built from the same entry
// and start-up) shows how an error in the running program ends it. Started with /uninstall, it sends
// the feedback typed into its one window to the local stand-in for the vendor's endpoint. And the whole
// removal round trip: a support request, the vendor's script for it pasted into the running program,
// which removes the test's own files and ends the helper that held them, and the restore.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
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
#include "tests/wine/UiWin32Fixture.h"
#include "tests/wine/WindowPixels.h"

namespace {

namespace fs = std::filesystem;
using namespace program_wine;

// The About window: a form without a menu or title bar, titled like the main window.
bool IsAboutWindow(HWND hwnd) {
  return ClassOf(hwnd) == L"WDL.Form" && TextOf(hwnd) == L"Wardline" && ::GetMenu(hwnd) == nullptr &&
         (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION) == 0;
}

// The screen rectangle of the group box among the child windows of `parent` (empty when there is none),
// and those of the other children.
struct FrameAndOthers {
  RECT frame{};
  std::vector<RECT> others;
};
FrameAndOthers ChildRects(HWND parent) {
  FrameAndOthers rects;
  ::EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        auto* r = reinterpret_cast<FrameAndOthers*>(param);
        RECT rect{};
        ::GetWindowRect(child, &rect);
        const bool frame = ClassOf(child) == L"Button" && (::GetWindowLongPtrW(child, GWL_STYLE) & 0xF) == BS_GROUPBOX;
        if (frame) {
          r->frame = rect;
        } else {
          r->others.push_back(rect);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&rects));
  return rects;
}

// wardline.exe as a child process, with the buttons these tests press.
class ProgramEndToEndWine : public program_wine::ProgramUnderTest {
 protected:
  void PressRemoveSpyware(HWND main) {
    HWND button = ChildWindow(main, L"Button", L"Remove Spyware...");
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(::PostMessageW(main, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                               reinterpret_cast<LPARAM>(button)));
  }

  // Starts the program with the fault `mode` planted, presses Remove Spyware and expects the run-time
  // error box with `number` and `description`, one level-0 log line under `source` and exit code 1.
  void ExpectRunTimeErrorBehindTheButton(const std::wstring& mode, long number, const std::string& description,
                                         const std::string& source);
};

void ProgramEndToEndWine::ExpectRunTimeErrorBehindTheButton(const std::wstring& mode, long number,
                                                           const std::string& description,
                                                           const std::string& source) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wdl_faultyprogram.exe", mode));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";
  ASSERT_NO_FATAL_FAILURE(PressRemoveSpyware(main));

  HWND box = WaitForWindow(IsMessageBox, 30);
  ASSERT_NE(box, nullptr) << "no message box within 30 s (exit code " << WaitForExit(0) << ")";
  const std::wstring text = StaticTexts(box);
  EXPECT_NE(text.find(L"Run-time error '" + std::to_wstring(number) + L"'"), std::wstring::npos) << text.c_str();
  EXPECT_NE(text.find(std::wstring(description.begin(), description.end())), std::wstring::npos) << text.c_str();
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_EQ(WaitForExit(10), 1u);

  const std::string log = ReadAll(folder_ / L"WDL.log");
  const std::string line = "\t0\t" + std::to_string(number) + "\t" + source + "\t" + description;
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line)) << "logged more than once";
}

TEST_F(ProgramEndToEndWine, StartsToItsMainWindowLogsTheStartAndEndsWithZeroWhenClosed) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";

  ASSERT_TRUE(fs::exists(folder_ / L"WDL.log"));
  EXPECT_TRUE(fs::exists(folder_ / L"short.log"));
  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("********** start app"), std::string::npos) << log;
  EXPECT_NE(log.find("Wardline ver.2.0.24"), std::string::npos) << log;
  EXPECT_NE(log.find("Startup: "), std::string::npos) << log;

  ASSERT_TRUE(::PostMessageW(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForExit(10), 0u);
}

TEST_F(ProgramEndToEndWine, WithoutWDLCustomShowsRunTimeError429AndEndsWithAnErrorCode) {
  ASSERT_NO_FATAL_FAILURE(Start(kRuntime));
  bool mainWindowFirst = false;
  HWND box = WaitForWindow(IsMessageBox, 30, [&](HWND hwnd) { mainWindowFirst |= IsMainWindow(hwnd); });
  ASSERT_NE(box, nullptr) << "no message box within 30 s (exit code " << WaitForExit(0) << ")";
  EXPECT_FALSE(mainWindowFirst);

  const std::wstring text = StaticTexts(box);
  EXPECT_NE(text.find(L"429"), std::wstring::npos) << text.c_str();
  EXPECT_NE(text.find(L"can't create object"), std::wstring::npos) << text.c_str();
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  const DWORD code = WaitForExit(10);
  EXPECT_NE(code, 0u);
  EXPECT_NE(code, STILL_ACTIVE);

  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("********** start app"), std::string::npos) << log;
  EXPECT_NE(log.find("\t429\t"), std::string::npos) << log;
  EXPECT_NE(log.find("can't create object"), std::string::npos) << log;
  EXPECT_EQ(log.find("can't create object"), log.rfind("can't create object")) << "logged more than once";
}

// An error of a button's handler in the running program: the run-time error box, the log line, exit code 1.
TEST_F(ProgramEndToEndWine, ErrorOfAButtonHandlerIsARunTimeErrorThatEndsTheProgram) {
  ExpectRunTimeErrorBehindTheButton(L"handler", 53, "File not found", "FMain.cmdSpywareRemover_Click");
}

// An error inside the toolkit's window procedure (no brush can be had for a new colour) takes the same
// path, rather than ending the message quietly and leaving the program running.
TEST_F(ProgramEndToEndWine, ErrorInsideAWindowProcedureIsARunTimeErrorThatEndsTheProgram) {
  ExpectRunTimeErrorBehindTheButton(L"toolkit", 7, "Out of memory", "FMain.WindowProc");
}

// The program's own About window, with the common controls its manifest asks for: read back from the
// screen, its frame shows the form's dark blue inside rather than black.
TEST_F(ProgramEndToEndWine, AboutWindowsFrameShowsDarkBlueInside) {
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  // The program with the About window behind its Remove Spyware button: the menus of another process are
  // out of reach under Wine (WINE-DIFFERENCES.md).
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wdl_faultyprogram.exe", L"about"));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";
  EXPECT_EQ(::GetMenuItemCount(::GetMenu(main)), -1) << "Wine reaches another process's menus now: open the "
                                                        "About window by Help > About and update WINE-DIFFERENCES.md";
  ASSERT_NO_FATAL_FAILURE(PressRemoveSpyware(main));
  HWND about = WaitForWindow(IsAboutWindow, 10);
  ASSERT_NE(about, nullptr) << "no About window within 10 s";
  ::Sleep(1000);  // painted, and on the screen
  const FrameAndOthers rects = ChildRects(about);
  ASSERT_FALSE(::IsRectEmpty(&rects.frame)) << "no frame in the About window";

  RECT window{};
  ::GetWindowRect(about, &window);
  HDC screen = ::GetDC(nullptr);
  const wine_pixels::Pixels pixels(screen, window);
  ::ReleaseDC(nullptr, screen);
  const auto count =
      wine_pixels::CountOtherThan(pixels, wine_pixels::InsideOfFrame(rects.frame), rects.others, RGB(0, 0, 102));
  EXPECT_GT(count.checked, 1000) << "the frame's inside is all covered";
  EXPECT_EQ(count.other, 0) << "of " << count.checked << " pixels; the first is 0x" << std::hex << count.firstOther;

  ASSERT_TRUE(::PostMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0));
  ASSERT_TRUE(::PostMessageW(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForExit(10), 0u);
}

// wardline.exe /uninstall as its own process: the feedback window alone. The reason typed into it and
// sent reaches the vendor's stand-in (tests/endpoint) with the program's log, and after the "Thank you. "
// box the program ends with exit code 0.
TEST_F(ProgramEndToEndWine, UninstallSendsTheReasonWithTheLogAndEndsWithZeroAfterThanks) {
  wine_test::ClearRecords();
  wine_test::SetAnswer("200");
  wine_test::ProxySetting proxy(wine_test::ProxySetting::Local(wine_test::EndpointPort()));
  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"vbzip10.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wardline.exe", L"/uninstall"));
  HWND window = WaitForWindow([](HWND hwnd) { return TextOf(hwnd) == L"Wardline Uninstall"; }, 30);
  ASSERT_NE(window, nullptr) << "no feedback window within 30 s (exit code " << WaitForExit(0) << ")";
  EXPECT_FALSE(IsMainWindow(window));

  HWND reason = ChildWindow(window, L"Edit", L"");
  HWND send = ChildWindow(window, L"Button", L"Send");
  ASSERT_NE(reason, nullptr);
  ASSERT_NE(send, nullptr);
  // Typed as keystrokes reach the box (a multi-line box tells its parent nothing of a WM_SETTEXT).
  for (wchar_t c : std::wstring(L"Too slow for me")) ::SendMessageW(reason, WM_CHAR, c, 0);
  ASSERT_TRUE(::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(send), BN_CLICKED),
                             reinterpret_cast<LPARAM>(send)));
  HWND box = WaitForWindow(IsMessageBox, 120);
  ASSERT_NE(box, nullptr) << "no message box within 120 s (exit code " << WaitForExit(0) << ")";
  EXPECT_NE(StaticTexts(box).find(L"Thank you. "), std::wstring::npos) << StaticTexts(box).c_str();
  EXPECT_EQ(WaitForExit(0), STILL_ACTIVE);  // the program waits for the box
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_EQ(WaitForExit(10), 0u);

  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  const wine_test::Record& r = records[0];
  EXPECT_EQ(r.verdict, "ok");
  EXPECT_EQ(r.subject, "LDW\\Uninstall");
  ASSERT_EQ(r.values.size(), 2u);
  EXPECT_EQ(r.values.at("reason"), "Too slow for me");
  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("Wardline ver.2.0.24"), std::string::npos) << log;
  EXPECT_EQ(r.values.at("log"), log);
}

// ---- the removal round trip ----

std::vector<std::uint8_t> BytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of the bin folder copied to `to` with `tail` appended, which the loader ignores: a file of the
// test's own, whose checksum no file of the build shares. Returns the copy's bytes.
std::vector<std::uint8_t> CopyWithTail(const fs::path& from, const fs::path& to, const std::string& tail) {
  std::vector<std::uint8_t> bytes = BytesOf(from);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  std::ofstream(to, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::wstring LongPath(const fs::path& path) {
  wchar_t buffer[MAX_PATH * 4] = L"";
  const DWORD length = ::GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 4);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(buffer, length) : path.wstring();
}

// The data of value `name` under the record of removed files; "(none)" when there is no such text.
std::wstring RecordedValue(const std::wstring& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, CProcessManager::kRemovedFilesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return L"(none)";
  }
  wchar_t data[MAX_PATH * 2] = L"\x2603poison";
  DWORD size = sizeof data - sizeof(wchar_t), type = 0;
  const LONG result = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return L"(none)";
  data[size / sizeof(wchar_t)] = L'\0';
  return data;
}

// Deletes the test's values from the record of removed files, before and after the test.
class RecordCleaner {
 public:
  explicit RecordCleaner(std::vector<std::wstring> names) : names_(std::move(names)) { Clean(); }
  ~RecordCleaner() { Clean(); }
  RecordCleaner(const RecordCleaner&) = delete;
  RecordCleaner& operator=(const RecordCleaner&) = delete;

 private:
  void Clean() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, CProcessManager::kRemovedFilesKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
      return;
    }
    for (const std::wstring& name : names_) ::RegDeleteValueW(key, name.c_str());
    ::RegCloseKey(key);
  }
  std::vector<std::wstring> names_;
};

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
    return RemovalScript::ChecksumKey(MWDL::goHashier->HashFromFullFileName(file, size));
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
  wine_test::ClearRecords();
  wine_test::SetAnswer("200");
  wine_test::ProxySetting proxy(wine_test::ProxySetting::Local(wine_test::EndpointPort()));
  auto logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};
  // The toolkit on its Win32 backend, for the clipboard, while the test runs.
  struct Win32Toolkit {
    std::unique_ptr<ui::IBackend> previous = ui::SetBackend(ui::CreateWin32Backend());
    ~Win32Toolkit() { ui::SetBackend(std::move(previous)); }
  } toolkit;

  std::vector<std::wstring> dlls = kRuntime;
  dlls.push_back(L"WDLCustom.dll");
  ASSERT_NO_FATAL_FAILURE(Start(dlls));
  HWND main = WaitForWindow(IsMainWindow, 30);
  ASSERT_NE(main, nullptr) << "no main window within 30 s (exit code " << WaitForExit(0) << ")";

  // The test's own files, in its scratch folder: the build's files are never touched.
  const fs::path files = folder_ / L"files";
  ASSERT_TRUE(fs::create_directories(files));
  const std::string tail = "wdl removal round trip " + std::to_string(::GetCurrentProcessId()) + " " +
                           std::to_string(::GetTickCount64());
  const std::vector<std::uint8_t> plainBytes =
      CopyWithTail(BinFolder() / L"wdl_plaindll.dll", files / L"wdl_plaindll.dll", tail);
  const std::vector<std::uint8_t> companyBytes =
      CopyWithTail(BinFolder() / L"wdl_testdll.dll", files / L"wdl_testdll.dll", tail);
  CopyWithTail(BinFolder() / L"wdl_loadchild.exe", files / L"wdl_loadchild.exe", tail);
  const std::wstring plain = LongPath(files / L"wdl_plaindll.dll");
  const std::wstring company = LongPath(files / L"wdl_testdll.dll");
  RecordCleaner cleaner({plain, company});
  LibraryHolder holder(LongPath(files / L"wdl_loadchild.exe"), {plain, company});
  ASSERT_TRUE(holder.started) << ::GetLastError();
  ASSERT_TRUE(holder.ready) << "the helper did not load the libraries";

  // The support request with this machine's state and descriptions. The zip library, which the send
  // loads into this process, is loaded first, so that the state the vendor reads holds it too.
  HMODULE zipLibrary = ::LoadLibraryW((BinFolder() / L"vbzip10.dll").c_str());
  ASSERT_NE(zipLibrary, nullptr);
  struct Release {
    HMODULE module;
    ~Release() { ::FreeLibrary(module); }
  } releaseZip{zipLibrary};
  long major = 0, minor = 0, build = 0, platformId = 0;
  std::wstring servicePack;
  const std::wstring os = Utilities().GetOSVersion(major, minor, build, platformId, servicePack);
  SilentProgressor progressor;
  const std::wstring state = CReporter().MakeStateXML(progressor, os, Utilities().GetCPUType(),
                                                      Utilities().GetComputerName(), L"Ads pop up", L"Ann",
                                                      L"ann@example.com");
  ASSERT_FALSE(state.empty()) << std::string(logger->lines.begin(), logger->lines.end());
  CProperties values;
  values.Add(L"state", state);
  std::wstring cause;
  ASSERT_TRUE(CL().Do1(L"LDW\\SupportRequest", values, cause)) << std::string(cause.begin(), cause.end());
  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].verdict, "ok");

  int status = 0;
  const std::string answer = wine_test::VendorScript(records[0].number, {plain, company}, true, status);
  ASSERT_EQ(status, 200) << answer;
  const std::wstring script = qn::FromUtf8(answer);
  ASSERT_EQ(Selection(script), (std::set<std::wstring>{platform::FoldKey(plain), platform::FoldKey(company)}))
      << "the script would remove other files than the test's: not applied";

  // The user opens the removal window, copies the script out of the mail, pastes and applies it.
  ASSERT_NO_FATAL_FAILURE(PressRemoveSpyware(main));
  HWND remover = WaitForWindow([](HWND hwnd) { return TextOf(hwnd) == L"Spyware Remover"; }, 30);
  ASSERT_NE(remover, nullptr) << "no removal window within 30 s";
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

  const auto boxSaying = [](const std::wstring& text) {
    return [text](HWND hwnd) { return IsMessageBox(hwnd) && StaticTexts(hwnd).find(text) != std::wstring::npos; };
  };
  HWND offer = WaitForWindow(boxSaying(L"Windows restart is required to complete cleanup."), 180);
  ASSERT_NE(offer, nullptr) << "no restart offer within 180 s (exit code " << WaitForExit(0) << ")";
  ASSERT_TRUE(::PostMessageW(offer, WM_COMMAND, IDCANCEL, 0));  // declined: Windows is not asked to restart
  HWND reminder = WaitForWindow(boxSaying(L"Don't forget to restart Windows manually."), 10);
  ASSERT_NE(reminder, nullptr);
  ASSERT_TRUE(::PostMessageW(reminder, WM_COMMAND, IDOK, 0));

  EXPECT_TRUE(holder.Ended(10000)) << "the helper that held the libraries still runs";
  for (const std::wstring& file : {plain, company}) {
    EXPECT_FALSE(fs::exists(file)) << std::string(file.begin(), file.end());
    EXPECT_TRUE(fs::exists(MAPI::MakeParasiteFileName(file))) << std::string(file.begin(), file.end());
    EXPECT_EQ(RecordedValue(file), file);
  }
  const std::string log = ReadAll(folder_ / L"WDL.log");
  EXPECT_NE(log.find("Executing a script: Dear customer,"), std::string::npos) << log;
  for (const std::wstring& file : {plain, company}) {
    EXPECT_NE(log.find("Disabling " + qn::ToUtf8(file)), std::string::npos) << log;
    EXPECT_NE(log.find("File renamed sucessfullly: '" + qn::ToUtf8(file) + "'"), std::string::npos) << log;
  }
  std::size_t disabled = 0;
  for (std::size_t at = log.find("\tDisabling "); at != std::string::npos; at = log.find("\tDisabling ", at + 1)) ++disabled;
  EXPECT_EQ(disabled, 2u) << log;
  EXPECT_NE(log.find("Process for file '" + std::to_string(holder.Id()) + "' terminated successfully. "),
            std::string::npos)
      << log;

  // The window stays open after the restart was declined; closed with the program.
  ASSERT_TRUE(::PostMessageW(remover, WM_CLOSE, 0, 0));
  ASSERT_TRUE(::PostMessageW(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForExit(10), 0u);

  // The restore window, driven through its handlers; every box is answered OK.
  {
    MessageBoxCloser closer;
    FRestoreFiles restore;
    ASSERT_TRUE(restore.Init());
    for (const std::wstring& file : {plain, company}) {
      restore.lstFiles.SetText(file);
      restore.cmdRestoreFile_Click();
    }
    std::wstring said;
    for (const std::wstring& text : closer.texts) said += text + L"\n";
    for (const std::wstring& file : {plain, company}) {
      EXPECT_NE(said.find(L"Program '" + file + L"' is restored successfully."), std::wstring::npos)
          << std::string(said.begin(), said.end());
    }
  }
  EXPECT_EQ(BytesOf(plain), plainBytes);
  EXPECT_EQ(BytesOf(company), companyBytes);
  for (const std::wstring& file : {plain, company}) {
    EXPECT_FALSE(fs::exists(MAPI::MakeParasiteFileName(file))) << std::string(file.begin(), file.end());
    EXPECT_EQ(RecordedValue(file), L"(none)");
  }
}

}  // namespace

// wardline.exe in a scratch folder where nothing it keeps for itself can be written: WDL.log read-only
// and, with short.log, held open without sharing by a helper the test starts (under Wine, running as
// root, only the held file stops a write: WINE-DIFFERENCES.md), and "Request.dat" taken by a folder. The
// program still starts, a support request typed into its window still reaches the local endpoint, the
// user hears of the request's success and of nothing else, and the files it could not write are as they
// were.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "shell/Strings.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/SubmissionFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace program_wine;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::FieldsAre;
using ::testing::Pair;

const std::string kEarlierLog = "2024-01-02 03:04:05\t5\t0\tFMain.Form_Initialize\tan earlier start\r\n";

// The editable Edit children of `window`, in their order: the read-only ones left out.
std::vector<HWND> EditableBoxes(HWND window) {
  std::vector<HWND> boxes;
  for (HWND child : ChildrenOf(window)) {
    if (ClassOf(child) == L"Edit" && (::GetWindowLongPtrW(child, GWL_STYLE) & ES_READONLY) == 0) boxes.push_back(child);
  }
  return boxes;
}

// Types `text` into a box of another process as keystrokes, replacing what it holds.
void Type(HWND box, const std::wstring& text) {
  ::SendMessageW(box, EM_SETSEL, 0, -1);
  for (wchar_t c : text) ::SendMessageW(box, WM_CHAR, c, 0);
}

class FaultInjectionProgramWine : public ProgramUnderTest {};

TEST_F(FaultInjectionProgramWine, WithNothingOfItsOwnWritableItStartsAndSendsASupportRequest) {
  wine_test::FreshEndpoint endpoint;
  wine_test::NewTempFiles sendsFiles;  // the program's send leaves its request file and zip there
  const AtEnd writable{[&] {  // the logs clear of the read-only attribute again, so that the folder can go
    for (const wchar_t* name : {L"WDL.log", L"short.log"}) {
      ::SetFileAttributesW((folder_ / name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }};
  std::unique_ptr<LibraryHolder> holder;
  const std::vector<std::wstring> dlls = Runtime({L"WDLCustom.dll", L"vbzip10.dll", L"wdl_loadchild.exe"});
  ASSERT_NO_FATAL_FAILURE(Start(dlls, L"wardline.exe", L"", [&](const fs::path& folder) {
    for (const wchar_t* name : {L"WDL.log", L"short.log"}) std::ofstream(folder / name, std::ios::binary) << kEarlierLog;
    ASSERT_TRUE(::SetFileAttributesW((folder / L"WDL.log").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(fs::create_directory(folder / L"Request.dat"));
    holder = std::make_unique<LibraryHolder>((folder / L"wdl_loadchild.exe").wstring(),
                                             std::vector<std::wstring>{L"hold:" + (folder / L"WDL.log").wstring(),
                                                                       L"hold:" + (folder / L"short.log").wstring()},
                                             L"WdlFaultLogs");
    ASSERT_TRUE(holder->ready) << "the helper does not hold the logs";
    HANDLE append = ::CreateFileW((folder / L"WDL.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD refused = ::GetLastError();
    if (append != INVALID_HANDLE_VALUE) ::CloseHandle(append);
    ASSERT_EQ(append, INVALID_HANDLE_VALUE) << "the log can still be written";
    EXPECT_EQ(refused, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }));

  std::vector<std::wstring> shown;  // the texts of every message box before the awaited one
  const auto boxes = [&](HWND hwnd) {
    if (IsMessageBox(hwnd)) shown.push_back(StaticTexts(hwnd));
  };
  HWND main = nullptr, window = nullptr, box = nullptr;
  ASSERT_NO_FATAL_FAILURE(Await(main, IsMainWindow, 30, "main window", boxes));
  EXPECT_EQ(ReadAll(folder_ / L"WDL.log"), kEarlierLog) << "the start lines reached the log after all";

  ASSERT_NO_FATAL_FAILURE(Press(main, L"Request Support..."));
  ASSERT_NO_FATAL_FAILURE(Await(
      window, [](HWND hwnd) { return TextOf(hwnd) == L"Request Support Form"; }, 30, "support-request window", boxes));
  const std::vector<HWND> editable = EditableBoxes(window);
  ASSERT_EQ(editable.size(), 3u) << "comments, name and e-mail";
  Type(editable[0], L"Pop-ups everywhere");
  Type(editable[1], L"Ann");
  Type(editable[2], L"ann@example.com");
  ASSERT_NO_FATAL_FAILURE(Press(window, L"Request Support"));

  ASSERT_NO_FATAL_FAILURE(Await(box, BoxSaying(LoadResString(105)), 240, "word of success", boxes));
  EXPECT_TRUE(shown.empty()) << "the user was told: " << std::string(shown.front().begin(), shown.front().end());
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));

  EXPECT_THAT(wine_test::Arrivals(),
              ElementsAre(FieldsAre("ok", "LDW\\SupportRequest",
                                    Contains(Pair("state", AllOf(HasSubstr("<yourname>Ann</yourname>"),
                                                                 HasSubstr("Pop-ups everywhere")))))));

  ASSERT_NO_FATAL_FAILURE(CloseExpectingExit0({window, main}, 20));
  // What it could not write is as it was.
  EXPECT_EQ(ReadAll(folder_ / L"WDL.log"), kEarlierLog);
  EXPECT_EQ(ReadAll(folder_ / L"short.log"), kEarlierLog);
  EXPECT_TRUE(fs::is_directory(folder_ / L"Request.dat") && fs::is_empty(folder_ / L"Request.dat"));
  EXPECT_EQ(sendsFiles.Added().size(), 2u) << "the request file and the zip stay after a send";
}

}  // namespace

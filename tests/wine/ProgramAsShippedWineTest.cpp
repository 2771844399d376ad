// wardline.exe as it ships: a copy of dist/ (the program, its three DLLs, nothing else) started as a
// user starts it. Its support requests list the program's own files with their version data and mark
// none of them suspicious, so that a vendor who answers from the suspicious list never has the
// program's own files renamed. And an error raised inside qnCommon.dll is caught in the program by its
// type, as every module carries its own copy of the C++ runtime.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/TextCodec.h"
#include "platform/KeyFold.h"
#include "removal/RemovalScript.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/ProgramUnderTest.h"

namespace {

namespace fs = std::filesystem;
using namespace program_wine;

// What the state XML says of one file: its maker, whether it has a description, whether it is suspicious.
using Listed = std::tuple<std::string, bool, bool>;

// The value of attribute `name` of the element `element` ("" when it has none).
std::string Attribute(const std::string& element, const std::string& name) {
  const std::string start = " " + name + "='";
  const std::size_t at = element.find(start);
  if (at == std::string::npos) return "";
  const std::size_t from = at + start.size();
  return element.substr(from, element.find('\'', from) - from);
}

// The "<f .../>" entries of section `section` of the state XML.
std::vector<std::string> Entries(const std::string& state, const std::string& section) {
  std::vector<std::string> entries;
  const std::size_t begin = state.find("<" + section + ">");
  const std::size_t end = state.find("</" + section + ">");
  if (begin == std::string::npos || end == std::string::npos) return entries;
  for (std::size_t at = state.find("<f ", begin); at != std::string::npos && at < end; at = state.find("<f ", at + 1)) {
    entries.push_back(state.substr(at, state.find("/>", at) + 2 - at));
  }
  return entries;
}

// The files of `folder` that the state XML lists, by their folded names.
std::map<std::wstring, Listed> FilesOf(const std::string& state, const fs::path& folder) {
  std::vector<std::string> suspicious;
  for (const std::string& entry : Entries(state, "suspicious")) suspicious.push_back(Attribute(entry, "x"));
  std::map<std::wstring, Listed> files;
  for (const std::string& entry : Entries(state, "fileinfo")) {
    const fs::path path = qn::FromUtf8(Attribute(entry, "i"));
    if (platform::FoldKey(path.parent_path().wstring()) != platform::FoldKey(folder.wstring())) continue;
    const bool isSuspicious = std::find(suspicious.begin(), suspicious.end(), Attribute(entry, "x")) != suspicious.end();
    files[platform::FoldKey(path.filename().wstring())] = {Attribute(entry, "m"), !Attribute(entry, "d").empty(),
                                                           isSuspicious};
  }
  return files;
}

std::wstring LongPathOf(const fs::path& path) {
  wchar_t buffer[MAX_PATH * 4] = L"";
  const DWORD length = ::GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 4);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(buffer, length) : path.wstring();
}

// Types `text` into the box as keystrokes reach it (a multi-line box tells its parent nothing of a
// WM_SETTEXT).
void Type(HWND box, const std::wstring& text) {
  for (wchar_t c : text) ::SendMessageW(box, WM_CHAR, c, 0);
}

class ProgramAsShippedWine : public ProgramUnderTest {
 protected:
  // A copy of the whole of dist/, started up to its main window.
  void StartFromDist(HWND& main) {
    from_ = WDL_DIST_FOLDER;
    std::vector<std::wstring> dlls;
    for (const auto& entry : fs::directory_iterator(from_)) {
      if (entry.path().filename() != L"wardline.exe") dlls.push_back(entry.path().filename().wstring());
    }
    ASSERT_FALSE(dlls.empty()) << "no dist/ at " << from_.string();
    ASSERT_NO_FATAL_FAILURE(Start(dlls));
    ASSERT_NO_FATAL_FAILURE(Await(main, IsMainWindow, 30, "main window"));
  }
};

// Two support requests from the same run: the first one loads the zip library to pack itself, so the
// second one's state lists all four of the program's files.
TEST_F(ProgramAsShippedWine, ItsSupportRequestsListTheProgramsOwnFilesAndSuspectNoneOfThem) {
  wine_test::FreshEndpoint endpoint;
  HWND main = nullptr, form = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartFromDist(main));
  ASSERT_NO_FATAL_FAILURE(Press(main, L"Request Support..."));
  ASSERT_NO_FATAL_FAILURE(
      Await(form, [](HWND hwnd) { return TextOf(hwnd) == L"Request Support Form"; }, 30, "support-request window"));

  // The comments box is the multi-line one; the name's box stands left of the e-mail's, both empty.
  HWND comments = nullptr;
  std::vector<HWND> empty;
  for (HWND child : ChildrenOf(form)) {
    if (ClassOf(child) != L"Edit") continue;
    if (::GetWindowLongPtrW(child, GWL_STYLE) & ES_MULTILINE) {
      comments = child;
    } else if (ControlText(child).empty()) {
      empty.push_back(child);
    }
  }
  ASSERT_NE(comments, nullptr);
  ASSERT_EQ(empty.size(), 2u);
  std::sort(empty.begin(), empty.end(), [](HWND a, HWND b) {
    RECT ra{}, rb{};
    ::GetWindowRect(a, &ra);
    ::GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  Type(comments, L"Ads pop up");
  Type(empty[0], L"Ann");
  Type(empty[1], L"ann@example.com");

  for (int request = 1; request <= 2; ++request) {
    SCOPED_TRACE("request " + std::to_string(request));
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(Press(form, L"Request Support"));
    ASSERT_NO_FATAL_FAILURE(Await(box, BoxSaying(L"Your support request has been sent successfully."), 180,
                                  "message of success"));
    ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));
    for (int tick = 0; tick < 100 && ::IsWindow(box); ++tick) ::Sleep(100);
    ASSERT_FALSE(::IsWindow(box)) << "the message stays";
  }

  const std::vector<wine_test::Record> records = wine_test::Records();
  ASSERT_EQ(records.size(), 2u);
  // Each of the program's files as the vendor reads it: made by Brevant Software, described, not suspicious.
  const auto ours = [](std::vector<std::wstring> names) {
    std::map<std::wstring, Listed> files;
    for (const std::wstring& name : names) files[platform::FoldKey(name)] = {"Brevant Software", true, false};
    return files;
  };
  const std::vector<std::wstring> loaded = {L"wardline.exe", L"qnCommon.dll", L"WDLCustom.dll"};
  const std::map<std::wstring, Listed> expected[] = {ours(loaded), ours({L"wardline.exe", L"qnCommon.dll",
                                                                          L"WDLCustom.dll", L"vbzip10.dll"})};
  const fs::path folder = LongPathOf(folder_);
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE("request " + std::to_string(i + 1));
    ASSERT_EQ(records[i].verdict, "ok");
    EXPECT_EQ(FilesOf(records[i].values.at("state"), folder), expected[i]);
  }
  CloseExpectingExit0({form, main});
}

// A pasted script whose body is no encoded text: qnCommon.dll's decoder raises error 5, the removal
// window's handler in the program catches it as the program's error type and logs its number and the
// library's description (an error not matched by its type would be logged as error 51), and the user
// is told that the script is invalid.
TEST_F(ProgramAsShippedWine, AnErrorRaisedInTheSharedLibraryIsCaughtInTheProgramByItsType) {
  HWND main = nullptr, remover = nullptr, box = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartFromDist(main));
  ASSERT_NO_FATAL_FAILURE(Press(main, L"Remove Spyware..."));
  ASSERT_NO_FATAL_FAILURE(
      Await(remover, [](HWND hwnd) { return TextOf(hwnd) == L"Spyware Remover"; }, 30, "removal window"));
  HWND script = ChildOfClass(remover, L"Edit");
  ASSERT_NE(script, nullptr);
  Type(script, std::wstring(RemovalScript::kStartMarker) + L"not (encoded)" + std::wstring(RemovalScript::kEndMarker));
  ASSERT_NO_FATAL_FAILURE(Press(remover, L"&Check"));
  ASSERT_NO_FATAL_FAILURE(
      Await(box, BoxSaying(L"Invalid script. Ensure that entire script is copy-pasted. "), 30, "message"));
  ASSERT_TRUE(::PostMessageW(box, WM_COMMAND, IDOK, 0));

  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "\t0\t5\tFSpywareRemover.ParseScriptFromMessage\tThe text is not a valid encoded byte "
                             "string"),
            1u)
      << log;
  ASSERT_NO_FATAL_FAILURE(CloseExpectingExit0({remover, main}));
}

}  // namespace

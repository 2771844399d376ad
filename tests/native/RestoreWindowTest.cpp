// The restore window and the main window's Tools > Restore Removed Programs, on the headless toolkit.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "removal/FRestoreFiles.h"
#include "shell/Strings.h"
#include "shell/app/FMain.h"
#include "tests/native/ErrorOf.h"
#include "tests/native/ReportWindowsFixture.h"

namespace {

const std::wstring kKey = L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files";
const std::wstring kA = L"C:\\Apps\\a.dll";
const std::wstring kB = L"C:\\Apps\\b.exe";
const std::wstring kGone = L"C:\\Apps\\gone.dll";
using Box = std::tuple<unsigned, std::wstring>;  // style, prompt
using Paths = std::vector<std::wstring>;
using Logged = std::vector<std::tuple<long, std::wstring, int, std::wstring>>;  // number, message, level, source

class RestoreWindowTest : public ReportWindowsTest {
 protected:
  // A file removed earlier: its record, and its parasite-named file unless it is gone.
  void Removed(const std::wstring& path, bool fileLeft = true) {
    on->registry.SetString(platform::kHkeyCurrentUser, kKey, path, path);
    if (fileLeft) on->files.AddTextFile(MAPI::MakeParasiteFileName(path), "MZ");
  }
  bool Recorded(const std::wstring& path) const { return on->registry.HasValue(platform::kHkeyCurrentUser, kKey, path); }
  std::vector<Box> Boxes() const {
    std::vector<Box> boxes;
    for (const auto& box : on->desktop.Boxes()) {
      EXPECT_EQ(box.title, L"Wardline");
      boxes.emplace_back(box.style, box.prompt);
    }
    return boxes;
  }
  static std::wstring Format(int id, const std::wstring& file) {
    std::wstring text = LoadResString(id);
    return text.replace(text.find(L"%1"), 2, file);
  }

  platform::FakeMachine* on = &machine;  // the machine that the helpers look at
};

}  // namespace

TEST_F(RestoreWindowTest, DesignCarriesItsTexts) {
  FRestoreFiles window;
  EXPECT_EQ(std::tuple(window.Caption(), window.Label1.Caption(), window.Label2.Caption(),
                       window.cmdRestoreFile.Caption(), window.cmdClose.Caption()),
            std::tuple(L"Restore Removed Programs", L"Specify program then press \"Restore Removed Program\" button.",
                       L"&Select program to restore:", L"&Restore Removed Program", L"&Close"));
  EXPECT_EQ(window.CancelButton(), &window.cmdClose);
  EXPECT_EQ(window.FindControl(L"lstFiles"), &window.lstFilesBox);
}

// Only records whose parasite-named file exists are listed, the first selected; the others stay in the
// registry. Nothing to restore (no record, an empty key, a record whose file is gone), or a record key
// that cannot be read (logged): Init answers false with an empty list.
TEST_F(RestoreWindowTest, InitListsTheRestorableRecordsAndSelectsTheFirst) {
  // what, arrange, listed, logged
  const std::vector<std::tuple<const char*, std::function<void()>, Paths, Logged>> cases = {
      {"records with and without their file", [&] { Removed(kGone, false); Removed(kA); Removed(kB); }, {kA, kB}, {}},
      {"no record", [] {}, {}, {}},
      {"empty key", [&] { machine.registry.CreateKey(platform::kHkeyCurrentUser, kKey); }, {}, {}},
      {"file gone", [&] { Removed(kGone, false); }, {}, {}},
      {"unreadable key",
       [&] { Removed(kA); machine.registry.FailEnum(platform::kHkeyCurrentUser, kKey, platform::kErrorAccessDenied); },
       {},
       {{err::FromWin32(platform::kErrorAccessDenied), L"Access is denied.", kLogError, L"FRestoreFiles.RefreshList"}}},
  };
  for (const auto& [what, arrange, listed, logged] : cases) {
    machine.registry.Clear();
    logger->lines.clear();
    arrange();
    FRestoreFiles window;
    EXPECT_EQ(window.Init(), !listed.empty()) << what;
    EXPECT_EQ(std::tuple(window.lstFilesBox.Items(), window.lstFiles.ListCount(), window.lstFiles.Text()),
              std::tuple(listed, static_cast<int>(listed.size()), listed.empty() ? L"" : listed[0]))
        << what;
    EXPECT_TRUE(machine.registry.Changes().empty()) << what;
    EXPECT_EQ(Lines(*logger), logged) << what;
  }
}

// Restore asks, gives the selected file its name back (over a file that has appeared again at that name)
// and only then deletes its record, and tells the user; when nothing is left it says so and hides. A
// cancelled question, no selection and a refused rename (the user is told why) leave the file removed,
// recorded and listed.
TEST_F(RestoreWindowTest, RestoreGivesTheSelectedFileItsNameBackAndTellsTheOutcome) {
  struct Case {
    const char* what;
    Paths removed;
    std::function<void(FRestoreFiles&)> prepare;  // after the window was initialised and shown
    Paths restored;
    std::vector<Box> boxes;
    Paths rows;  // afterwards
    bool visible;
  };
  const std::vector<Case> cases = {
      {"the last file", {kA}, [](FRestoreFiles&) {}, {kA},
       {{49, L"Are you sure you want to restore 'C:\\Apps\\a.dll'?"},
        {64, L"Program 'C:\\Apps\\a.dll' is restored successfully."},
        {64, LoadResString(122)}},
       {}, false},
      {"one of several, over a new file", {kA, kB},
       [&](FRestoreFiles& w) { on->files.AddTextFile(kB, "new"); w.lstFilesBox.UserSelect(1); },
       {kB}, {{49, Format(120, kB)}, {64, Format(121, kB)}}, {kA}, true},
      {"cancel in the question", {kA}, [&](FRestoreFiles&) { on->desktop.QueueAnswer(2); }, {},
       {{49, Format(120, kA)}}, {kA}, true},
      {"nothing selected", {kA}, [](FRestoreFiles& w) { w.lstFilesBox.SetListIndex(-1); }, {}, {}, {kA}, true},
      {"refused rename", {kA},
       [&](FRestoreFiles&) {
         on->files.Fail(MAPI::MakeParasiteFileName(kA), platform::kFileOpMove, platform::kErrorAccessDenied);
       },
       {}, {{49, Format(120, kA)}, {48, L"Cannot restore 'C:\\Apps\\a.dll'. Access is denied."}}, {kA}, true},
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    on = &m;
    for (const std::wstring& path : c.removed) Removed(path);
    FRestoreFiles window;
    ASSERT_TRUE(window.Init()) << c.what;
    window.Show();
    c.prepare(window);
    m.desktop.SetMessageBoxHook([&](const platform::ShownBox& box) {
      for (const std::wstring& path : c.removed) {
        if (box.prompt == Format(120, path) || box.prompt == Format(121, path)) {
          EXPECT_EQ(Recorded(path), box.prompt == Format(120, path)) << c.what;  // asked: still; told: no more
        }
      }
    });
    window.cmdRestoreFile.PerformClick();
    EXPECT_EQ(Boxes(), c.boxes) << c.what;
    for (const std::wstring& path : c.removed) {
      const bool back = std::find(c.restored.begin(), c.restored.end(), path) != c.restored.end();
      EXPECT_EQ(std::tuple(Recorded(path), m.files.HasFile(MAPI::MakeParasiteFileName(path)), m.files.FileText(path)),
                std::tuple(!back, !back, back ? "MZ" : ""))
          << c.what << " " << path;
    }
    if (c.boxes.size() < 2) {  // not asked, or cancelled
      EXPECT_TRUE(m.files.Moves().empty()) << c.what;
    }
    EXPECT_EQ(std::tuple(window.lstFilesBox.Items(), window.Visible(), window.Loaded()),
              std::tuple(c.rows, c.visible, true))
        << c.what;
    on = &machine;
  }
}

// An error (here: the window was never initialised) is logged and shown with its description.
TEST_F(RestoreWindowTest, ErrorInRestoreIsLoggedAndShown) {
  Removed(kA);
  FRestoreFiles window;
  window.RefreshList();
  window.cmdRestoreFile.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{49, Format(120, kA)},
                                       {64, L"Cannot restore 'C:\\Apps\\a.dll'. Object variable or With block variable not set"}}));
  EXPECT_EQ(Lines(*logger), (Logged{{err::kObjectNotSet, L"Object variable or With block variable not set", kLogError,
                                      L"FRestoreFiles.cmdRestoreFile_Click"}}));
  EXPECT_TRUE(Recorded(kA));
}

// Close, Escape and the title bar's close box only hide the window; an unload from code goes ahead.
TEST_F(RestoreWindowTest, CloseEscapeAndTheCloseBoxHideTheWindow) {
  FRestoreFiles window;
  const std::vector<std::function<void()>> ways = {[&] { window.cmdClose.PerformClick(); },
                                                   [&] { window.UserKeyPress(ui::kKeyEscape); },
                                                   [&] { window.UserClose(); }};
  for (std::size_t i = 0; i < ways.size(); ++i) {
    window.Show();
    ways[i]();
    EXPECT_EQ(std::pair(window.Visible(), window.Loaded()), std::pair(false, true)) << i;
  }
  window.Unload();
  EXPECT_FALSE(window.Loaded());
}

TEST_F(RestoreWindowTest, MainWindowSaysNothingToRestoreWithoutShowingTheWindow) {
  Removed(kGone, false);
  FMain main;
  main.Load();
  main.FindMenu(L"mnuRestoreRemovedPrograms")->PerformClick(main.Name());
  EXPECT_EQ(Boxes(), (std::vector<Box>{{64, LoadResString(124)}}));
  EXPECT_TRUE(headless->ShownForms().empty());
}

// The list's members as the Forms list box has them: one column, rows from 0, Text selects by text.
TEST_F(RestoreWindowTest, ListAnswersAsTheFormsListBox) {
  FRestoreFiles window;
  FormsListBox& list = window.lstFiles;
  list.AddItem(L"one");
  list.AddItem(L"two");
  EXPECT_EQ(std::tuple(list.ListCount(), list.List(1, 0), list.Text()), std::tuple(2, std::wstring(L"two"), std::wstring()));
  list.SetText(L"two");
  EXPECT_EQ(list.Text(), L"two");
  EXPECT_EQ(ErrorOf([&] { list.List(0, 1); }), 381);
  EXPECT_EQ(ErrorOf([&] { list.List(2, 0); }), 381);
  EXPECT_EQ(ErrorOf([&] { list.SetText(L"three"); }), 380);
  EXPECT_EQ(list.Text(), L"two");
  list.Clear();
  EXPECT_EQ(std::tuple(list.ListCount(), list.Text()), std::tuple(0, std::wstring()));
}

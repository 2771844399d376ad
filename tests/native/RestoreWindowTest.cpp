// The restore window and the main window's Tools > Restore Removed Programs, on the headless toolkit.
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Logger.h"
#include "inspection/Hashier.h"
#include "removal/FRestoreFiles.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "shell/app/FMain.h"
#include "tests/native/ErrorOf.h"
#include "tests/native/InspectionEnumFixture.h"
#include "tests/native/UiHeadlessFixture.h"

namespace {

const std::wstring kKey = L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files";
const std::wstring kA = L"C:\\Apps\\a.dll";
const std::wstring kB = L"C:\\Apps\\b.exe";
const std::wstring kGone = L"C:\\Apps\\gone.dll";
using Box = std::tuple<unsigned, std::wstring>;  // style, prompt

class RestoreWindowTest : public UiHeadlessTest {
 protected:
  RestoreWindowTest() {
    MWDL::goLogger = logger;
    MWDL::goHashier = std::make_shared<CHashier>();
    MAPI::gbIsNT = true;
  }
  ~RestoreWindowTest() override { std::tie(MWDL::goLogger, MWDL::goHashier, MAPI::gbIsNT) = saved_; }

  // A file removed earlier: its record, and its parasite-named file unless it is gone.
  void Removed(const std::wstring& path, bool fileLeft = true) {
    machine.registry.SetString(platform::kHkeyCurrentUser, kKey, path, path);
    if (fileLeft) machine.files.AddTextFile(MAPI::MakeParasiteFileName(path), "MZ");
  }
  bool Recorded(const std::wstring& path) const { return machine.registry.HasValue(platform::kHkeyCurrentUser, kKey, path); }
  std::vector<Box> Boxes() const {
    std::vector<Box> boxes;
    for (const auto& box : machine.desktop.Boxes()) {
      EXPECT_EQ(box.title, L"Wardline");
      boxes.emplace_back(box.style, box.prompt);
    }
    return boxes;
  }
  static std::vector<std::wstring> Rows(const FRestoreFiles& window) { return window.lstFilesBox.Items(); }
  static std::wstring Format(int id, const std::wstring& file) {
    std::wstring text = LoadResString(id);
    return text.replace(text.find(L"%1"), 2, file);
  }

  std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>();

 private:
  std::tuple<std::shared_ptr<CLogger>, std::shared_ptr<CHashier>, bool> saved_{MWDL::goLogger, MWDL::goHashier,
                                                                               MAPI::gbIsNT};
};

}  // namespace

TEST_F(RestoreWindowTest, DesignCarriesItsTexts) {
  FRestoreFiles window;
  EXPECT_EQ(window.Caption(), L"Restore Removed Programs");
  EXPECT_EQ(window.Label1.Caption(), L"Specify program then press \"Restore Removed Program\" button.");
  EXPECT_EQ(window.Label2.Caption(), L"&Select program to restore:");
  EXPECT_EQ(window.cmdRestoreFile.Caption(), L"&Restore Removed Program");
  EXPECT_EQ(window.cmdClose.Caption(), L"&Close");
  EXPECT_EQ(window.CancelButton(), &window.cmdClose);
  EXPECT_EQ(window.FindControl(L"lstFiles"), &window.lstFilesBox);
}

// Only records whose parasite-named file exists are listed; the others stay in the registry.
TEST_F(RestoreWindowTest, InitListsTheRestorableRecordsAndSelectsTheFirst) {
  Removed(kGone, false);
  Removed(kA);
  Removed(kB);
  FRestoreFiles window;
  EXPECT_TRUE(window.Init());
  EXPECT_EQ(Rows(window), (std::vector<std::wstring>{kA, kB}));
  EXPECT_EQ(window.lstFiles.Text(), kA);
  EXPECT_TRUE(Recorded(kGone));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(RestoreWindowTest, InitAnswersFalseWithNothingToRestore) {
  enum class Record { None, EmptyKey, FileGone };
  for (Record c : {Record::None, Record::EmptyKey, Record::FileGone}) {
    machine.registry.Clear();
    if (c == Record::EmptyKey) machine.registry.CreateKey(platform::kHkeyCurrentUser, kKey);
    if (c == Record::FileGone) Removed(kGone, false);
    FRestoreFiles window;
    EXPECT_FALSE(window.Init()) << static_cast<int>(c);
    EXPECT_EQ(window.lstFiles.ListCount(), 0) << static_cast<int>(c);
  }
}

// The record key cannot be read: logged, and Init answers false.
TEST_F(RestoreWindowTest, UnreadableRecordIsLoggedAndInitAnswersFalse) {
  Removed(kA);
  machine.registry.FailEnum(platform::kHkeyCurrentUser, kKey, platform::kErrorAccessDenied);
  FRestoreFiles window;
  EXPECT_FALSE(window.Init());
  ASSERT_EQ(logger->lines.size(), 1u);
  EXPECT_EQ(std::tuple(logger->lines[0].level, logger->lines[0].source),
            std::tuple(kLogError, std::wstring(L"FRestoreFiles.RefreshList")));
}

// Restoring the last file: asked, renamed back, record deleted, told, then told that nothing is left,
// and the window hides.
TEST_F(RestoreWindowTest, RestoringTheLastFileSaysSoAndHidesTheWindow) {
  Removed(kA);
  FRestoreFiles window;
  ASSERT_TRUE(window.Init());
  window.Show();
  machine.desktop.SetMessageBoxHook([&](const platform::ShownBox& box) {
    // The record goes only after the file has its name back.
    if (box.prompt == Format(121, kA)) {
      EXPECT_FALSE(Recorded(kA));
    } else if (box.prompt == Format(120, kA)) {
      EXPECT_TRUE(Recorded(kA));
    }
  });
  window.cmdRestoreFile.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{49, L"Are you sure you want to restore 'C:\\Apps\\a.dll'?"},
                                       {64, L"Program 'C:\\Apps\\a.dll' is restored successfully."},
                                       {64, LoadResString(122)}}));
  EXPECT_TRUE(machine.files.HasFile(kA));
  EXPECT_FALSE(machine.files.HasFile(MAPI::MakeParasiteFileName(kA)));
  EXPECT_FALSE(Recorded(kA));
  EXPECT_FALSE(window.Visible());
  EXPECT_TRUE(window.Loaded());
}

// The selected file of several, back over a file that has appeared again at its former name.
TEST_F(RestoreWindowTest, SelectedFileIsRestoredOverAFileAtItsFormerName) {
  Removed(kA);
  Removed(kB);
  machine.files.AddTextFile(kB, "new");
  FRestoreFiles window;
  ASSERT_TRUE(window.Init());
  window.Show();
  window.lstFilesBox.UserSelect(1);
  window.cmdRestoreFile.PerformClick();
  EXPECT_EQ(machine.files.FileText(kB), "MZ");
  EXPECT_FALSE(Recorded(kB));
  EXPECT_TRUE(Recorded(kA));
  EXPECT_EQ(Rows(window), std::vector<std::wstring>{kA});
  EXPECT_EQ(Boxes().size(), 2u);
  EXPECT_TRUE(window.Visible());
}

TEST_F(RestoreWindowTest, CancelInTheQuestionChangesNothing) {
  Removed(kA);
  FRestoreFiles window;
  ASSERT_TRUE(window.Init());
  machine.desktop.QueueAnswer(2);
  window.cmdRestoreFile.PerformClick();
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(machine.files.Moves().empty());
  EXPECT_TRUE(Recorded(kA));
}

TEST_F(RestoreWindowTest, NothingSelectedDoesNothing) {
  Removed(kA);
  FRestoreFiles window;
  ASSERT_TRUE(window.Init());
  window.lstFilesBox.SetListIndex(-1);
  window.cmdRestoreFile.PerformClick();
  EXPECT_TRUE(Boxes().empty());
}

// A rename refused by the system: the record stays, the file stays listed, and the user is told why.
TEST_F(RestoreWindowTest, RefusedRenameSaysTheFileCouldNotBeRestored) {
  Removed(kA);
  machine.files.Fail(MAPI::MakeParasiteFileName(kA), platform::kFileOpMove, platform::kErrorAccessDenied);
  FRestoreFiles window;
  ASSERT_TRUE(window.Init());
  window.Show();
  window.cmdRestoreFile.PerformClick();
  EXPECT_EQ(Boxes(), (std::vector<Box>{{49, Format(120, kA)}, {48, L"Cannot restore 'C:\\Apps\\a.dll'. Access is denied."}}));
  EXPECT_TRUE(Recorded(kA));
  EXPECT_EQ(Rows(window), std::vector<std::wstring>{kA});
  EXPECT_TRUE(window.Visible());
}

// An error (here: the window was never initialised) is logged and shown with its description.
TEST_F(RestoreWindowTest, ErrorInRestoreIsLoggedAndShown) {
  Removed(kA);
  FRestoreFiles window;
  window.RefreshList();
  window.cmdRestoreFile.PerformClick();
  EXPECT_EQ(Boxes().back(), (Box{64, L"Cannot restore 'C:\\Apps\\a.dll'. Object variable or With block variable not set"}));
  ASSERT_EQ(logger->lines.size(), 1u);
  EXPECT_EQ(std::tuple(logger->lines[0].number, logger->lines[0].level, logger->lines[0].source),
            std::tuple(long{err::kObjectNotSet}, kLogError, std::wstring(L"FRestoreFiles.cmdRestoreFile_Click")));
  EXPECT_TRUE(Recorded(kA));
}

// Close and the title bar's close box only hide the window; an unload from code goes ahead.
TEST_F(RestoreWindowTest, CloseAndTheCloseBoxHideTheWindow) {
  FRestoreFiles window;
  window.Show();
  window.cmdClose.PerformClick();
  EXPECT_FALSE(window.Visible());
  window.Show();
  window.UserKeyPress(ui::kKeyEscape);
  EXPECT_FALSE(window.Visible());
  window.Show();
  window.UserClose();
  EXPECT_FALSE(window.Visible());
  EXPECT_TRUE(window.Loaded());
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

// The restore window shows modally over the main window until the user closes it, and is unloaded.
TEST_F(RestoreWindowTest, MainWindowShowsTheRestoreWindowModallyThenUnloadsIt) {
  Removed(kA);
  FMain main;
  main.Load();
  std::vector<std::wstring> listed;
  bool overMain = false;
  headless->onModal = [&](ui::Form& form) {
    auto& window = dynamic_cast<FRestoreFiles&>(form);
    listed = Rows(window);
    overMain = form.IsModal() && form.Owner() == &main;
    form.UserClose();  // hides: the modal show ends
  };
  main.FindMenu(L"mnuRestoreRemovedPrograms")->PerformClick(main.Name());
  EXPECT_EQ(listed, std::vector<std::wstring>{kA});
  EXPECT_TRUE(overMain);
  EXPECT_EQ(headless->ShownForms(), std::vector<std::wstring>{L"FRestoreFiles"});
  EXPECT_EQ(headless->FindLoaded(L"FRestoreFiles"), nullptr);
  EXPECT_TRUE(Boxes().empty());
}

// The list's members as the Forms list box has them: one column, rows from 0, Text selects by text.
TEST_F(RestoreWindowTest, ListAnswersAsTheFormsListBox) {
  FRestoreFiles window;
  FormsListBox& list = window.lstFiles;
  list.AddItem(L"one");
  list.AddItem(L"two");
  EXPECT_EQ(list.ListCount(), 2);
  EXPECT_EQ(list.List(1, 0), L"two");
  EXPECT_EQ(list.Text(), L"");
  list.SetText(L"two");
  EXPECT_EQ(list.Text(), L"two");
  EXPECT_EQ(ErrorOf([&] { list.List(0, 1); }), 381);
  EXPECT_EQ(ErrorOf([&] { list.List(2, 0); }), 381);
  EXPECT_EQ(ErrorOf([&] { list.SetText(L"three"); }), 380);
  EXPECT_EQ(list.Text(), L"two");
  list.Clear();
  EXPECT_EQ(std::tuple(list.ListCount(), list.Text()), std::tuple(0, std::wstring()));
}

// CPaRemover: the selection by checksum, progress and cancel, and the hand-over to renaming and
// termination, on the system state that the detector compiles from an in-memory machine.
#include <cctype>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "DetectionFixture.h"
#include "removal/PaRemover.h"
#include "shell/Strings.h"

namespace {

// Checksums in no table.
constexpr std::int32_t kS1 = 1001, kS2 = 1002, kN1 = 1003, kHost = 1004;

class RemoverTest : public DetectionTest {
 protected:
  static std::wstring File(const std::wstring& name) { return L"C:\\Apps\\" + name; }
  // A library of a size in no table that the analyser marks (no version data) or clears (a company's).
  std::wstring Suspicious(const std::wstring& name, std::int32_t checksum) {
    AddFile(File(name), detection_test::kSizeInNone, checksum);
    return File(name);
  }
  std::wstring Clean(const std::wstring& name, std::int32_t checksum) {
    AddFile(File(name), detection_test::kSizeInNone, checksum, L"Acme");
    return File(name);
  }
  static CChecksumList Checksums(const std::vector<std::int32_t>& values) {
    CChecksumList list;
    for (std::int32_t value : values) list.Add(value, L"_" + std::to_wstring(value));
    return list;
  }
  bool Remove(const CChecksumList& white, const CChecksumList& black) {
    return CPaRemover().RemoveSpyware(progressor, white, black, falseCause);
  }
  std::vector<std::wstring> Disabled() const {
    std::vector<std::wstring> disabled;
    for (const LogLine& line : logger->lines) {
      if (line.source == L"CPaRemover.RemoveSpyware" && line.message.rfind(L"Disabling ", 0) == 0) {
        EXPECT_EQ(std::tuple(line.number, line.level), std::tuple(0L, kLogInfo));
        disabled.push_back(line.message.substr(10));
      }
    }
    return disabled;
  }
  // Checksums computed: whole-file reads of any file.
  int ContentReads() const {
    return std::accumulate(files.contentReads.begin(), files.contentReads.end(), 0,
                           [](int sum, const auto& reads) { return sum + reads.second; });
  }
  // The remover's own progress values of a whole run: its first, and those after the compilation's six.
  std::vector<double> OwnProgress() const {
    if (progressor.values.size() < 7) return {-1};
    std::vector<double> own{progressor.values.front()};
    own.insert(own.end(), progressor.values.begin() + 7, progressor.values.end());
    return own;
  }

  ScriptedProgressor progressor;
  std::wstring falseCause = L"(unchanged)";
};

// A case of a table is named by its `what`: its letters and digits, words joined by "_".
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* c = info.param.what; *c != '\0'; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) {
      name += *c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  return name;
}

// Suspicious files go unless the white list clears them; any file goes whose checksum is black-listed.
struct SelectionCase {
  const char* what;
  std::vector<std::int32_t> white, black;
  std::vector<std::wstring> selected;  // file names in C:\Apps
};

void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.what; }

class RemoverSelectionTest : public RemoverTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(RemoverSelectionTest, SelectsByTheTwoListsEachFileOnceInOrder) {
  const SelectionCase& c = GetParam();
  // One process: a clean program with two suspicious libraries, a clean one and one whose file is gone.
  processes.AddProcess(100, {Clean(L"host.exe", kHost), Suspicious(L"s1.dll", kS1), Suspicious(L"s2.dll", kS2),
                             Clean(L"n1.dll", kN1), File(L"n2.dll")});
  std::vector<std::wstring> selected;
  for (const std::wstring& name : c.selected) selected.push_back(File(name));
  const bool removed = Remove(Checksums(c.white), Checksums(c.black));
  EXPECT_EQ(std::tuple(removed, Disabled(), falseCause), std::tuple(true, selected, L"(unchanged)"));
  for (const auto& f : selected) {
    // The missing file is selected but has nothing to rename.
    EXPECT_EQ(files.HasFile(MAPI::MakeParasiteFileName(f)), f != File(L"n2.dll")) << f;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RemoverSelectionTest,
    ::testing::Values(SelectionCase{"empty lists", {}, {}, {L"s1.dll", L"s2.dll"}},
                      SelectionCase{"white clears s1", {kS1}, {}, {L"s2.dll"}},
                      SelectionCase{"black adds n1", {}, {kN1}, {L"s1.dll", L"s2.dll", L"n1.dll"}},
                      SelectionCase{"black on a suspicious file selects it once", {}, {kS2}, {L"s1.dll", L"s2.dll"}},
                      SelectionCase{"white and black: removed, in the second pass", {kS1}, {kS1}, {L"s2.dll", L"s1.dll"}},
                      SelectionCase{"white on a file that is not suspicious", {kN1}, {}, {L"s1.dll", L"s2.dll"}},
                      SelectionCase{"checksum 0 of a missing file, black", {kS1, kS2}, {0}, {L"n2.dll"}}),
    CaseName<SelectionCase>);

TEST_F(RemoverTest, NothingSelectedGivesString115AndFalse) {
  processes.AddProcess(100, {Clean(L"host.exe", kHost), Suspicious(L"s1.dll", kS1), Clean(L"n1.dll", kN1)});
  const std::wstring none = L"Operation complete sucessfully. No spyware files are found.";
  EXPECT_EQ(LoadResString(115), none);
  bool removed = Remove(Checksums({kS1, 0}), Checksums({}));
  EXPECT_EQ(std::tuple(removed, falseCause, Disabled().size(), registry.Changes().size()),
            std::tuple(false, none, 0u, 0u));

  // No files at all: nothing to divide by, nothing selected; the bar goes from 30 straight to 99.
  processes.RemoveProcess(100);
  progressor = ScriptedProgressor();
  falseCause = L"(unchanged)";
  removed = Remove(Checksums({}), Checksums({}));
  EXPECT_EQ(std::tuple(removed, falseCause, OwnProgress()), std::tuple(false, none, std::vector<double>{1, 30, 99}));
}

// 20 files and 5 suspicious ones: after files 10 and 20 of 25 the bar shows 30 + 700/25 and 30 + 1400/25.
TEST_F(RemoverTest, ProgressRunsFromOneThroughTheCompilationToNinetyNine) {
  std::vector<std::wstring> modules;
  for (int i = 0; i < 20; ++i) {
    const std::wstring name = L"f" + std::to_wstring(i) + L".dll";
    modules.push_back(i < 5 ? Suspicious(name, 2000 + i) : Clean(name, 2000 + i));
  }
  processes.AddProcess(100, modules);
  const bool removed = Remove(Checksums({}), Checksums({}));
  // The compilation's band runs from the remover's 1 to its 30.
  ASSERT_EQ(progressor.values.size(), 11u);
  EXPECT_EQ(std::tuple(progressor.values[1], progressor.values[6]), std::tuple(1.0, 30.0));
  // Each file's checksum is read once although it is met in both passes: 20 reads.
  EXPECT_EQ(std::tuple(removed, OwnProgress(), Disabled().size(), ContentReads()),
            std::tuple(true, std::vector<double>{1, 30, 58, 86, 99}, 5u, 20));
}

struct CancelCase {
  const char* what;
  std::size_t cancelAt, cancelFrom;  // the progress report, or the cancel test, at which Cancel is pressed
  std::size_t reports;               // progress reports made
  int reads;                         // checksums computed before the run ended
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.what; }

class RemoverCancelTest : public RemoverTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(RemoverCancelTest, CancelEndsTheRunAndRenamesNothing) {
  const CancelCase& c = GetParam();
  std::vector<std::wstring> modules;
  for (int i = 0; i < 12; ++i) modules.push_back(Suspicious(L"s" + std::to_wstring(i) + L".dll", 3000 + i));
  processes.AddProcess(100, modules);
  progressor = ScriptedProgressor(c.cancelAt, c.cancelFrom);
  const bool removed = Remove(Checksums({}), Checksums({}));
  EXPECT_EQ(std::tuple(removed, progressor.values.size(), ContentReads(), files.Moves().size(), Disabled(), falseCause),
            std::tuple(false, c.reports, c.reads, 0u, std::vector<std::wstring>{}, L"(unchanged)"));
}

// Reports 2 to 7 are the compilation's; 8 is the remover's 30, after which the files are counted.
INSTANTIATE_TEST_SUITE_P(Moments, RemoverCancelTest,
                         ::testing::Values(CancelCase{"before the work", 0, 1, 0, 0},
                                           CancelCase{"during the compilation", 2, 0, 2, 0},
                                           CancelCase{"at the tenth file", 8, 0, 8, 9}),
                         CaseName<CancelCase>);

// A compilation that stopped before it set the file lists (here: the process list could not be had)
// leaves the remover's own error, logged after the compilation's.
TEST_F(RemoverTest, UnsetFileListsAreAnErrorThatIsLoggedAndGivesFalse) {
  processes.raise = true;
  const bool removed = Remove(Checksums({}), Checksums({}));
  ASSERT_FALSE(logger->lines.empty());
  EXPECT_EQ(std::tuple(removed, LoggedErrors().back(), falseCause),
            std::tuple(false, std::tuple(err::kObjectNotSet, kLogError, std::wstring(L"CPaRemover.RemoveSpyware")),
                       L"(unchanged)"));
}

// The selected files are renamed and recorded first; then every process that has one loaded ends, this
// program's own last, after its message box.
TEST_F(RemoverTest, SelectedFilesAreRenamedThenTheirProcessesEndOwnLast) {
  const std::wstring bad = Suspicious(L"bad.dll", kS1), good = Clean(L"good.dll", kN1);
  const std::wstring own = L"C:\\Program Files\\Wardline\\wardline.exe";
  AddFile(own, detection_test::kSizeInNone, kHost, L"Brevant Software");
  processes.AddProcess(4242, {own, bad});
  processes.AddProcess(100, {Clean(L"host.exe", kHost), bad});
  processes.AddProcess(200, {Clean(L"other.exe", kHost), good});
  std::size_t movesWhenEnding = 0;
  machine.desktop.SetMessageBoxHook([&](const platform::ShownBox&) { movesWhenEnding = files.Moves().size(); });

  EXPECT_TRUE(Remove(Checksums({}), Checksums({})));
  EXPECT_EQ(files.Moves(), (std::vector<platform::FileMove>{{bad, MAPI::MakeParasiteFileName(bad), true}}));
  EXPECT_TRUE(registry.HasValue(platform::kHkeyCurrentUser,
                                L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files", bad));
  EXPECT_EQ(movesWhenEnding, 1u);
  EXPECT_EQ(processes.Terminations(), (std::vector<platform::TerminateCall>{{100, 0}, {4242, 0}}));
  EXPECT_TRUE(processes.IsRunning(200));
}

}  // namespace

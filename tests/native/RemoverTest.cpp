// CPaRemover: the selection by checksum, progress and cancel, and the hand-over to renaming and
// termination, with a system state the test supplies.
#include <memory>
#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Hashier.h"
#include "removal/PaRemover.h"
#include "shell/Strings.h"
#include "tests/native/ScriptedProgressor.h"

namespace {

// Checksums of the files' contents: "a" 97, "ab" 1073741970, "abc" 536871084; a missing file 0.
constexpr std::int32_t kA = 97, kAB = 1073741970, kABC = 536871084;

// Counts whole-file reads, i.e. checksums computed.
class CountingFiles : public platform::FakeFiles {
 public:
  bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
               unsigned long& lastError) override {
    ++reads;
    return FakeFiles::ReadAll(path, bytes, maxBytes, lastError);
  }
  int reads = 0;
};

class RemoverTest : public InspectionEnumTest {
 protected:
  void SetUp() override {
    InspectionEnumTest::SetUp();
    MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
    Reset();
  }
  // A fresh start for the next case of a table: no files, no lines, an empty checksum cache.
  void Reset() {
    filesPtr = std::make_unique<CountingFiles>();
    platform::Install(platform::Services{.registry = &machine.registry, .files = filesPtr.get()});
    MWDL::goHashier = std::make_shared<CHashier>();
    logger->lines.clear();
    progressor = ScriptedProgressor();
    all.clear();
    suspicious.clear();
    falseCause = L"(unchanged)";
  }
  void TearDown() override {
    std::tie(MWDL::goHashier, MWDL::goFileInfoManager) = saved_;
    InspectionEnumTest::TearDown();
  }
  static std::wstring File(const std::wstring& name) { return L"C:\\Apps\\" + name; }
  // Adds a file holding `text` ("" for none: the file is missing).
  std::wstring Add(const std::wstring& name, const std::string& text) {
    if (!text.empty()) files().AddTextFile(File(name), text);
    return File(name);
  }
  static CChecksumList Checksums(const std::vector<std::int32_t>& values) {
    CChecksumList list;
    for (std::int32_t value : values) list.Add(value, L"_" + std::to_wstring(value));
    return list;
  }
  // The remover on a state of these files; the compilation reports 15.
  bool Remove(const CChecksumList& white, const CChecksumList& black) {
    CPaRemover remover([this](IProgressor& p, std::int32_t from, std::int32_t to, SystemState& state) {
      band = {from, to};
      p.Progress(15);
      if (!setLists) return;
      state.oCommonFileList = std::make_shared<CFileNameList>();
      state.oSuspiciousFileList = std::make_shared<CFileNameList>();
      for (const auto& f : all) state.oCommonFileList->Add(f, f);
      for (const auto& f : suspicious) state.oSuspiciousFileList->Add(f, f);
    });
    return remover.RemoveSpyware(progressor, white, black, falseCause);
  }
  CountingFiles& files() const { return *filesPtr; }
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

  std::unique_ptr<CountingFiles> filesPtr;
  ScriptedProgressor progressor;
  std::vector<std::wstring> all, suspicious;
  std::wstring falseCause = L"(unchanged)";
  std::pair<std::int32_t, std::int32_t> band;
  bool setLists = true;

 private:
  std::tuple<std::shared_ptr<CHashier>, std::shared_ptr<CFileInfoManager>> saved_{MWDL::goHashier,
                                                                                 MWDL::goFileInfoManager};
};

}  // namespace

// Suspicious files go unless the white list clears them; any file goes whose checksum is black-listed.
TEST_F(RemoverTest, SelectsByTheTwoListsEachFileOnceInOrder) {
  struct Case {
    const char* what;
    std::vector<std::int32_t> white, black;
    std::vector<std::wstring> selected;
  };
  const std::wstring s1 = File(L"s1.dll"), s2 = File(L"s2.dll"), n1 = File(L"n1.dll"), n2 = File(L"n2.dll");
  const Case cases[] = {
      {"empty lists", {}, {}, {s1, s2}},
      {"white clears s1", {kA}, {}, {s2}},
      {"black adds n1", {}, {kABC}, {s1, s2, n1}},
      {"black on a suspicious file selects it once", {}, {kAB}, {s1, s2}},
      {"white and black: removed, in the second pass", {kA}, {kA}, {s2, s1}},
      {"white on a file that is not suspicious", {kABC}, {}, {s1, s2}},
      {"checksum 0 of a missing file, black", {kA, kAB}, {0}, {n2}},
  };
  for (const Case& c : cases) {
    Reset();
    suspicious = {Add(L"s1.dll", "a"), Add(L"s2.dll", "ab")};
    all = {s1, s2, Add(L"n1.dll", "abc"), Add(L"n2.dll", "")};
    const bool removed = Remove(Checksums(c.white), Checksums(c.black));
    EXPECT_EQ(std::tuple(removed, Disabled(), falseCause), std::tuple(true, c.selected, L"(unchanged)")) << c.what;
    for (const auto& f : c.selected) {
      // The missing file is selected but has nothing to rename.
      EXPECT_EQ(files().HasFile(MAPI::MakeParasiteFileName(f)), f != n2) << c.what;
    }
  }
}

TEST_F(RemoverTest, NothingSelectedGivesString115AndFalse) {
  suspicious = {Add(L"s1.dll", "a")};
  all = {suspicious[0], Add(L"n1.dll", "abc")};
  const std::wstring none = L"Operation complete sucessfully. No spyware files are found.";
  EXPECT_EQ(LoadResString(115), none);
  bool removed = Remove(Checksums({kA, 0}), Checksums({}));
  EXPECT_EQ(std::tuple(removed, falseCause, Disabled().size(), machine.registry.Changes().size()),
            std::tuple(false, none, 0u, 0u));

  // No files at all: nothing to divide by, nothing selected; the bar goes from 30 straight to 99.
  Reset();
  removed = Remove(Checksums({}), Checksums({}));
  EXPECT_EQ(std::tuple(removed, falseCause, progressor.values),
            std::tuple(false, none, std::vector<double>{1, 15, 30, 99}));
}

// 20 files and 5 suspicious ones: after files 10 and 20 of 25 the bar shows 30 + 700/25 and 30 + 1400/25.
TEST_F(RemoverTest, ProgressRunsFromOneThroughTheCompilationToNinetyNine) {
  for (int i = 0; i < 20; ++i) all.push_back(Add(L"f" + std::to_wstring(i) + L".dll", "abc"));
  suspicious.assign(all.begin(), all.begin() + 5);
  const bool removed = Remove(Checksums({}), Checksums({}));
  // Each file's checksum is read once although it is met in both passes: 20 reads.
  EXPECT_EQ(std::tuple(removed, band, progressor.values, Disabled().size(), files().reads),
            std::tuple(true, std::pair(1, 30), std::vector<double>{1, 15, 30, 58, 86, 99}, 5u, 20));
}

TEST_F(RemoverTest, CancelEndsTheRunAndRenamesNothing) {
  struct Case {
    const char* what;
    std::size_t cancelAt, cancelFrom;  // the progress report, or the cancel test, at which Cancel is pressed
    std::vector<double> progress;
    int reads;  // checksums computed before the run ended
  };
  const Case cases[] = {
      {"before the work", 0, 1, {}, 0},
      {"during the compilation", 2, 0, {1, 15}, 0},
      {"at the tenth file", 3, 0, {1, 15, 30}, 9},
  };
  for (const Case& c : cases) {
    Reset();
    for (int i = 0; i < 12; ++i) suspicious.push_back(Add(L"s" + std::to_wstring(i) + L".dll", "a"));
    all = suspicious;
    progressor = ScriptedProgressor(c.cancelAt, c.cancelFrom);
    const bool removed = Remove(Checksums({}), Checksums({}));
    EXPECT_EQ(std::tuple(removed, progressor.values, files().reads, files().Moves().size(), Disabled(), falseCause),
              std::tuple(false, c.progress, c.reads, 0u, std::vector<std::wstring>{}, L"(unchanged)"))
        << c.what;
  }
}

// A compilation that stopped before it set the file lists: the error is the remover's own.
TEST_F(RemoverTest, UnsetFileListsAreAnErrorThatIsLoggedAndGivesFalse) {
  setLists = false;
  const bool removed = Remove(Checksums({}), Checksums({}));
  EXPECT_EQ(std::tuple(removed, LoggedErrors(), falseCause),
            std::tuple(false, Errors{{err::kObjectNotSet, kLogError, L"CPaRemover.RemoveSpyware"}}, L"(unchanged)"));
}

// The selected files are renamed and recorded first; then every process that has one loaded ends, this
// program's own last, after its message box.
TEST_F(RemoverTest, SelectedFilesAreRenamedThenTheirProcessesEndOwnLast) {
  const std::wstring bad = Add(L"bad.dll", "a");
  suspicious = {bad};
  all = {bad, Add(L"good.dll", "abc")};
  machine.processes.AddProcess(4242, {L"C:\\Program Files\\Wardline\\wardline.exe", bad});
  machine.processes.AddProcess(100, {L"C:\\Apps\\host.exe", bad});
  machine.processes.AddProcess(200, {L"C:\\Apps\\other.exe", File(L"good.dll")});
  std::size_t movesWhenEnding = 0;
  machine.desktop.SetMessageBoxHook([&](const platform::ShownBox&) { movesWhenEnding = files().Moves().size(); });

  EXPECT_TRUE(Remove(Checksums({}), Checksums({})));
  EXPECT_EQ(files().Moves(), (std::vector<platform::FileMove>{{bad, MAPI::MakeParasiteFileName(bad), true}}));
  EXPECT_TRUE(machine.registry.HasValue(platform::kHkeyCurrentUser,
                                        L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files", bad));
  EXPECT_EQ(movesWhenEnding, 1u);
  EXPECT_EQ(machine.processes.Terminations(), (std::vector<platform::TerminateCall>{{100, 0}, {4242, 0}}));
  EXPECT_TRUE(machine.processes.IsRunning(200));
}

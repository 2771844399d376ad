// CPaDetector::CompileSystemState on an in-memory machine: the eight collections, the order of the two
// file lists, progress, the five cancel tests and the one error handler.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "DetectionFixture.h"
#include "detection/PaDetector.h"
#include "platform/Types.h"

using namespace detection_test;
using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

using Texts = std::vector<std::wstring>;
using Lists = std::vector<Texts>;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

const std::wstring kServicesKey = L"SYSTEM\\CurrentControlSet\\Services\\";
const std::wstring kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kBHOKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const std::wstring kToolbarKey = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
const std::wstring kVerticalBars = L"{00021493-0000-0000-C000-000000000046}";

const std::wstring kSvcClean = L"C:\\Svc\\clean.exe", kSvcBad = L"C:\\Svc\\bad.exe", kRunBad = L"C:\\Run\\bad.exe";
const std::wstring kBhoFile = L"C:\\Ext\\bho.dll", kToolbarFile = L"C:\\Ext\\tb.dll", kBarFile = L"C:\\Ext\\bar.dll";
const std::wstring kOne = L"C:\\Apps\\one.exe", kTwo = L"C:\\Apps\\two.exe", kModuleBad = L"C:\\Apps\\mod.dll";
const std::wstring kLibBad = L"C:\\Apps\\bad.dll", kLibClean = L"C:\\Apps\\clean.dll", kAcme = L"Acme";
const Texts kUntouched{L"(untouched)"};

class DetectorTest : public DetectionTest {
 protected:
  // The machine, one entry of each kind at a time; File's size and checksum are in no table.
  void File(const std::wstring& path, const std::optional<std::wstring>& company) {
    AddFile(path, 3000, kChecksumInNone, company);
  }
  void Service(const std::wstring& path) {
    registry.SetString(kHkeyLocalMachine, kServicesKey + L"svc" + Next(), L"ImagePath", path);
  }
  void Startup(const std::wstring& path) { registry.SetString(kHkeyCurrentUser, kRunKey, L"run" + Next(), path); }
  // A new class whose in-process server is `path`, titled when `title` is not empty.
  std::wstring Class(const std::wstring& path, const std::wstring& title = L"") {
    const std::wstring id = Clsid(counter_++);
    if (!title.empty()) registry.SetString(kHkeyClassesRoot, L"CLSID\\" + id, L"", title);
    registry.SetString(kHkeyClassesRoot, L"CLSID\\" + id + L"\\InProcServer32", L"", path);
    return id;
  }
  // A browser helper object with a title of its own, so that listing it reads no version data.
  void Bho(const std::wstring& path, const std::wstring& title = L"Helper") {
    const std::wstring key = kBHOKey + L"\\" + Class(path);
    registry.CreateKey(kHkeyLocalMachine, key);
    if (!title.empty()) registry.SetString(kHkeyLocalMachine, key, L"", title);
  }
  void Toolbar(const std::wstring& path) {
    registry.SetString(kHkeyLocalMachine, kToolbarKey, Class(path, L"Bar"), L"");
  }
  void ExplorerBar(const std::wstring& path) {
    const std::wstring id = Class(path, L"Pane");
    registry.CreateKey(kHkeyClassesRoot, L"CLSID\\" + id + L"\\Implemented Categories\\" + kVerticalBars);
  }
  void Process(std::vector<std::wstring> imageAndModules) {
    processes.AddProcess(nextProcessId_++, std::move(imageAndModules));
  }
  // One suspicious entry of each kind, and a process whose image is clean and whose one module is not.
  void OneSuspiciousEntryOfEachKind() {
    for (const auto& path : {kSvcBad, kRunBad, kBhoFile, kToolbarFile, kBarFile, kModuleBad}) File(path, std::nullopt);
    File(kOne, kAcme);
    Service(kSvcBad);
    Startup(kRunBad);
    Bho(kBhoFile);
    Toolbar(kToolbarFile);
    ExplorerBar(kBarFile);
    Process({kOne, kModuleBad});
  }

  // Compiles into outputs that first hold markers, so that an output the compilation does not reach
  // shows as untouched; `progress` records the run and presses Cancel during report `cancelAt`.
  SystemState Compile(std::size_t cancelAt = 0, std::int32_t from = 5, std::int32_t to = 19) {
    progress = ScriptedProgressor(cancelAt);
    SystemState state{untouchedFiles, untouchedFiles, untouchedItems, untouchedItems,
                      untouchedItems, untouchedItems, untouchedItems, untouchedItems};
    CPaDetector().CompileSystemState(progress, from, to, state);
    return state;
  }

  Texts Keys(const std::shared_ptr<CFileNameList>& list) const {
    if (!list) return {L"(no list)"};
    if (list == untouchedFiles) return kUntouched;
    Texts keys;
    for (std::size_t i = 1; i <= list->Count(); ++i) {
      EXPECT_EQ(list->Item(i), list->Key(i));  // item and key are the same name
      keys.push_back(list->Key(i));
    }
    return keys;
  }
  Texts Names(const std::shared_ptr<CItemList>& list) const {
    return list == untouchedItems ? kUntouched : InspectionEnumTest::Names(list);
  }
  using InspectionEnumTest::Names;
  Texts Files(const std::shared_ptr<CItemList>& list) const {
    return list == untouchedItems ? kUntouched : Column(list, L"DLL");
  }
  // The eight outputs: the files of the five lists, the processes, the common and the suspicious files.
  Lists Outputs(const SystemState& s) const {
    return {Names(s.oServices), Files(s.oStartups),     Files(s.oBHOs),           Files(s.oToolbars),
            Files(s.oExplorerBars), Names(s.oProcesses), Keys(s.oCommonFileList), Keys(s.oSuspiciousFileList)};
  }

  ScriptedProgressor progress;
  const std::shared_ptr<CFileNameList> untouchedFiles = std::make_shared<CFileNameList>();
  const std::shared_ptr<CItemList> untouchedItems = std::make_shared<CItemList>();

 private:
  std::wstring Next() { return std::to_wstring(counter_++); }
  std::size_t counter_ = 0;
  std::uint32_t nextProcessId_ = 100;
};

}  // namespace

TEST_F(DetectorTest, FileListsFollowTheKindsInOrderEachNameAtItsFirstOccurrence) {
  for (const auto& path : {kSvcBad, kRunBad, kTwo, kLibBad}) File(path, std::nullopt);
  // An extension's file is suspicious whatever its company.
  for (const auto& path : {kSvcClean, kBhoFile, kBarFile, kOne, kLibClean}) File(path, kAcme);
  Service(kSvcClean);
  Service(kSvcBad);
  Startup(kRunBad);
  Startup(kSvcClean);
  Bho(kBhoFile);
  Toolbar(kToolbarFile);  // missing: listed, never suspicious
  ExplorerBar(kBarFile);
  Process({kOne, kLibBad, kSvcBad});
  Process({kTwo, kLibBad, kLibClean});

  const SystemState s = Compile();
  ASSERT_EQ(Outputs(s), (Lists{{kSvcClean, kSvcBad}, {kRunBad, kSvcClean}, {kBhoFile}, {kToolbarFile}, {kBarFile},
                                 {kOne, kTwo},
                                 {kSvcClean, kSvcBad, kRunBad, kBhoFile, kToolbarFile, kBarFile, kOne, kLibBad, kTwo,
                                  kLibClean},
                                 {kSvcBad, kRunBad, kBhoFile, kBarFile, kLibBad, kTwo}}));
  EXPECT_EQ(Names(s.oProcesses->Item(2).Children()), (Texts{kLibBad, kLibClean}));
  EXPECT_TRUE(logger->lines.empty());
}

// A service's file loaded as a module is listed once, at the service. Marked by the service rule, it is
// never judged as a module (its size, which only the module rule reads, is never read); not marked
// there, the module rule still judges it.
TEST_F(DetectorTest, FileMetAsServiceAndAsModuleIsListedOnceAndJudgedUntilMarked) {
  const std::wstring noCompany = L"C:\\Shared\\x.dll", toolbarCompany = L"C:\\Shared\\y.dll";
  AddFile(noCompany, kSizeInCOnly, kChecksumInNone);
  File(toolbarCompany, L"IE Toolbar");
  File(kOne, kAcme);
  Service(noCompany);
  Service(toolbarCompany);
  Process({kOne, toolbarCompany, noCompany});

  EXPECT_EQ(Outputs(Compile()), (Lists{{noCompany, toolbarCompany}, {}, {}, {}, {}, {kOne},
                                         {noCompany, toolbarCompany, kOne}, {noCompany, toolbarCompany}}));
  EXPECT_EQ(CountingFiles::Of(files.sizeReads, noCompany), 0);
}

// A DLL loaded into several processes is listed once at its first occurrence (names differing only in
// letter case are one name). One that no rule marks is judged again in every process; one that is marked
// is not judged again.
TEST_F(DetectorTest, DllInSeveralProcessesIsListedOnceAndJudgedUntilMarked) {
  const std::wstring knownGood = L"C:\\Windows\\common.dll";
  AddFile(knownGood, kSizeInCOnly, kChecksumInD);
  File(kLibBad, std::nullopt);
  File(kOne, kAcme);
  File(kTwo, kAcme);
  Process({kOne, knownGood, kLibBad});
  Process({kTwo, kLibBad, knownGood});
  Process({kOne, L"C:\\WINDOWS\\COMMON.DLL", L"C:\\APPS\\BAD.DLL"});

  const SystemState s = Compile();
  EXPECT_EQ(Keys(s.oCommonFileList), (Texts{kOne, knownGood, kLibBad, kTwo}));
  EXPECT_EQ(Keys(s.oSuspiciousFileList), Texts{kLibBad});
  EXPECT_EQ(CountingFiles::Of(files.sizeReads, knownGood), 3);
  EXPECT_EQ(CountingFiles::Of(files.contentReads, knownGood), 1);  // the checksum cache serves the rest
  EXPECT_EQ(CountingFiles::Of(files.sizeReads, kLibBad), 1);
}

TEST_F(DetectorTest, EmptyListsGiveEmptyOutputsAndLeaveTheOtherKinds) {
  File(kSvcBad, std::nullopt);
  File(kOne, kAcme);
  Service(kSvcBad);
  Process({kOne});
  EXPECT_EQ(Outputs(Compile()), (Lists{{kSvcBad}, {}, {}, {}, {}, {kOne}, {kSvcBad, kOne}, {kSvcBad}}));
  EXPECT_EQ(progress.events, "PCPCPCPCPCP");
  EXPECT_TRUE(logger->lines.empty());

  // Nothing at all: every output a new, empty collection.
  processes.RemoveProcess(100);
  registry.Clear();
  EXPECT_EQ(Outputs(Compile()), Lists(8));
}

struct CancelRow {
  std::size_t cancelAt;  // the progress report during which Cancel is pressed
  std::string events;
  bool processes;        // oProcesses reached
  Texts suspicious;
  bool common;           // oCommonFileList reached
};

// Cancel takes effect at the next test: the outputs hold what had been set, and no further progress
// is reported.
TEST_F(DetectorTest, CancelStopsAtTheNextTestWithTheOutputsSetSoFar) {
  OneSuspiciousEntryOfEachKind();
  const Texts extensions{kSvcBad, kRunBad, kBhoFile, kToolbarFile, kBarFile};
  Texts all = extensions;
  all.push_back(kModuleBad);
  const CancelRow rows[] = {
      {1, "PC", false, kUntouched, false},
      {2, "PCPC", true, kUntouched, false},
      {3, "PCPCPC", true, {kSvcBad}, false},
      {4, "PCPCPCPC", true, extensions, false},
      {5, "PCPCPCPCPC", true, all, true},
      {6, "PCPCPCPCPCP", true, all, true},  // too late: the caller sees it after the call
      {0, "PCPCPCPCPCP", true, all, true},
  };
  for (const CancelRow& row : rows) {
    const SystemState s = Compile(row.cancelAt);
    EXPECT_EQ(progress.events, row.events) << row.cancelAt;
    EXPECT_EQ(progress.values.size(), std::count(row.events.begin(), row.events.end(), 'P')) << row.cancelAt;
    EXPECT_EQ(Outputs(s), (Lists{{kSvcBad}, {kRunBad}, {kBhoFile}, {kToolbarFile}, {kBarFile},
                                   row.processes ? Texts{kOne} : kUntouched,
                                   row.common ? (Texts{kSvcBad, kRunBad, kBhoFile, kToolbarFile, kBarFile, kOne,
                                                       kModuleBad})
                                              : kUntouched,
                                   row.suspicious}))
        << row.cancelAt;
  }
  EXPECT_TRUE(logger->lines.empty());
}

struct MissingListRow {
  const char* name;
  std::function<void(long)> fail;  // with the error to give, 0 for none
  std::pair<int, std::wstring> enumeratorLine;  // level and source
  std::string events;
  Texts suspicious;
};

// An enumerator that fails returns no list; walking it is the compilation's error: logged once, the
// outputs as far as set, no further progress.
TEST_F(DetectorTest, EnumeratorThatReturnsNoListEndsTheCompilationWhereTheListIsWalked) {
  OneSuspiciousEntryOfEachKind();
  const long kDenied = 5;
  const MissingListRow rows[] = {
      {"startups", [&](long e) { registry.FailEnum(kHkeyLocalMachine, kRunKey, e); },
       {4, L"CStartupManager.EnumStartups"}, "PCPCPCP", {kSvcBad}},
      {"BHOs", [&](long e) { registry.FailEnum(kHkeyLocalMachine, kBHOKey, e); },
       {4, L"CIEManager.EnumBHOs"}, "PCPCPCP", {kSvcBad, kRunBad}},
      {"toolbars", [&](long e) { registry.FailEnum(kHkeyLocalMachine, kToolbarKey, e); },
       {4, L"CIEManager.EnumToolbars"}, "PCPCPCP", {kSvcBad, kRunBad, kBhoFile}},
      {"explorer bars", [&](long e) { registry.FailCategories(e); },
       {4, L"CIEManager.EnumExplorerBars"}, "PCPCPCP", {kSvcBad, kRunBad, kBhoFile, kToolbarFile}},
      {"processes", [&](long e) { processes.raise = e != 0; },
       {0, L"CProcessManager.EnumProcessesNT"}, "PCPCPCPCP", {kSvcBad, kRunBad, kBhoFile, kToolbarFile, kBarFile}},
  };
  for (const MissingListRow& row : rows) {
    row.fail(kDenied);
    logger->lines.clear();
    const SystemState s = Compile();
    EXPECT_EQ(Logged(), (Log{row.enumeratorLine, {0, L"CPaDetector.CompileSystemState"}})) << row.name;
    ASSERT_FALSE(logger->lines.empty());
    EXPECT_EQ(logger->lines.back().number, err::kObjectNotSet) << row.name;
    EXPECT_EQ(progress.events, row.events) << row.name;
    EXPECT_EQ((Lists{Keys(s.oCommonFileList), Keys(s.oSuspiciousFileList)}), (Lists{kUntouched, row.suspicious}))
        << row.name;
    row.fail(0);  // undone for the next row
  }
}

// A browser helper object left behind half-built (its listing failed while its title was being read)
// has no "DLL": the compilation's error, logged with the collection's own number.
TEST_F(DetectorTest, ItemWithoutDllEndsTheCompilationWithTheEntriesAddedSoFar) {
  const std::wstring kBroken = L"C:\\Ext\\broken.dll";
  for (const auto& path : {kSvcBad, kBhoFile, kBroken}) File(path, std::nullopt);
  Service(kSvcBad);
  Bho(kBhoFile);
  Bho(kBroken, L"");  // no title: the listing reads the file's product name, which fails
  versions.raiseFor.insert(qn::FoldKey(kBroken));

  const SystemState s = Compile();
  ASSERT_EQ(Names(s.oBHOs).size(), 2u);
  EXPECT_FALSE(s.oBHOs->Item(2).Properties().Exists(L"DLL"));
  EXPECT_EQ(LoggedErrors(), (Errors{{err::kOutOfMemory, 4, L"CIEManager.FillBHOInfo"},
                                    {err::kInvalidArgument, 0, L"CPaDetector.CompileSystemState"}}));
  EXPECT_EQ((Lists{Keys(s.oCommonFileList), Keys(s.oSuspiciousFileList)}), (Lists{kUntouched, {kSvcBad, kBhoFile}}));
  EXPECT_EQ(progress.events, "PCPCPCP");
}

struct BandRow { std::int32_t from, to; std::vector<double> values; };

// The six values: the first, from + (to - from) * k for k = 0.14, 0.35, 0.5, 0.71, and the last, not
// rounded; nothing tests the order of the bounds.
TEST_F(DetectorTest, ProgressRunsThroughTheBandInSixValues) {
  const BandRow rows[] = {
      {5, 19, {5, 6.96, 9.9, 12, 14.94, 19}},
      {1, 30, {1, 5.06, 11.15, 15.5, 21.59, 30}},
      {7, 7, {7, 7, 7, 7, 7, 7}},
      {30, 1, {30, 25.94, 19.85, 15.5, 9.41, 1}},
      {0, kMax, {0, 300647710.58, 751619276.45, 1073741823.5, 1524713389.37, 2147483647}},
  };
  for (const BandRow& row : rows) {
    Compile(0, row.from, row.to);
    EXPECT_THAT(progress.values, ::testing::Pointwise(::testing::DoubleEq(), row.values))
        << row.from << " to " << row.to;
  }
  EXPECT_TRUE(logger->lines.empty());
}

// A band too wide for a 32-bit difference is an overflow error at the first intermediate value.
TEST_F(DetectorTest, OverflowingBandEndsTheCompilationAfterTheFirstValue) {
  File(kSvcBad, std::nullopt);
  Service(kSvcBad);
  const std::pair<std::int32_t, std::int32_t> bands[] = {{kMin, kMax}, {kMax, kMin}, {-1, kMax}, {kMin, 0}, {1, kMin}};
  for (const auto& [from, to] : bands) {
    logger->lines.clear();
    EXPECT_EQ(Outputs(Compile(0, from, to)), (Lists{{kSvcBad}, {}, {}, {}, {}, kUntouched, kUntouched, kUntouched}));
    EXPECT_EQ(progress.values, std::vector<double>{static_cast<double>(from)}) << from << " to " << to;
    EXPECT_EQ(LoggedErrors(), (Errors{{err::kOverflow, 0, L"CPaDetector.CompileSystemState"}}));
  }
}

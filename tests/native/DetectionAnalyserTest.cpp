// CPaAnalyser: its four known-file tables and its nine rules, on in-memory files whose size, checksum
// and company each case chooses.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "DetectionFixture.h"
#include "detection/PaAnalyser.h"

namespace {

using namespace detection_test;
using Rule = bool (CPaAnalyser::*)(const std::wstring&);

// The values of arrays read one after the other.
template <class... Arrays>
std::vector<std::int64_t> Join(const Arrays&... arrays) {
  std::vector<std::int64_t> values;
  (values.insert(values.end(), arrays.begin(), arrays.end()), ...);
  return values;
}

// The keys of a table, in order.
std::vector<std::wstring> KeysOf(const CNumberTable& table) {
  std::vector<std::wstring> keys;
  for (std::size_t i = 1; i <= table.Count(); ++i) keys.push_back(table.Key(i));
  return keys;
}

// ---- the tables ----

// Each table holds its data in the order given, every value under its key as the number it is, 16-bit
// up to 32767 and 32-bit above.
TEST(DetectionAnalyserTables, EachTableHoldsItsDataInOrderUnderTheKeysOfTheValues) {
  using namespace tables;
  struct Row {
    const char* name;
    const CNumberTable& (CPaAnalyser::*table)() const;
    std::vector<std::int64_t> values;  // as the compiled-in data gives them, in order
    std::size_t count;
  };
  const Row rows[] = {
      {"A", &CPaAnalyser::ParasiteSizes, Join(kParasiteSizes16, kParasiteSizes32), 261},
      {"B", &CPaAnalyser::ParasiteHashes, Join(kParasiteHashes), 385},
      {"C", &CPaAnalyser::GoodSizes, Join(kGoodSizes16, kGoodSizes32), 733},
      {"D", &CPaAnalyser::GoodHashes, Join(kGoodHashes1, kGoodHashes2, kGoodHashes3), 1575},
  };
  const CPaAnalyser analyser;
  for (const Row& row : rows) {
    const CNumberTable& table = (analyser.*row.table)();
    ASSERT_EQ(row.values.size(), row.count) << row.name;
    std::vector<std::wstring> keys;
    std::vector<CTableNumber> items, expected;  // a key not found reads as the 16-bit -1
    for (const std::int64_t value : row.values) {
      keys.push_back(qn::NumberKey(static_cast<std::int32_t>(value)));
      items.push_back(table.Exists(keys.back()) ? table.Item(keys.back()) : CTableNumber{std::int16_t{-1}});
      expected.push_back(value <= 32767 ? CTableNumber{static_cast<std::int16_t>(value)}
                                        : CTableNumber{static_cast<std::int32_t>(value)});
    }
    EXPECT_EQ(KeysOf(table), keys) << row.name;
    EXPECT_EQ(items, expected) << row.name;
  }
}

// The three runs of table D follow one another: their ends and seams are all found, in place.
TEST(DetectionAnalyserTables, GoodHashesHoldTheEndsAndSeamsOfTheirThreeRuns) {
  const CPaAnalyser analyser;
  const CNumberTable& d = analyser.GoodHashes();
  const std::pair<std::size_t, std::int32_t> seams[] = {
      {1, 228221},         {600, 799120638},   {601, 800080493},
      {1200, 1607827241},  {1201, 1610894657}, {1575, 2147483647},
  };
  for (const auto& [position, value] : seams) {
    EXPECT_TRUE(d.Exists(qn::NumberKey(value))) << value;
    EXPECT_EQ(d.Key(position), qn::NumberKey(value)) << position;
  }
}

// Good sizes answer at their edges and across the item types; only the exact key form finds a number.
TEST(DetectionAnalyserTables, TablesFindTheExactKeysOfTheirNumbersOnly) {
  const CPaAnalyser analyser;
  struct Row { const CNumberTable& table; std::vector<std::wstring> found, absent; };
  const Row rows[] = {
      {analyser.GoodSizes(), {L"_2295", L"_31744", L"_32768", L"_5324560", L"_13244072"},
       {L"_0", L"_2294", L"_32767", L"_13244073", L"_-4096"}},
      {analyser.ParasiteSizes(), {L"_2048"},
       {L"2048", L"_02048", L"_+2048", L"_ 2048", L"_2048 ", L"_-2048", L"_2048.0"}},
      {analyser.GoodHashes(), {L"_2147483647"}, {L"2147483647", L"_0", L"_228220", L"_1"}},
  };
  for (const Row& row : rows) {
    for (const std::wstring& key : row.found) EXPECT_TRUE(row.table.Exists(key)) << key;
    for (const std::wstring& key : row.absent) EXPECT_FALSE(row.table.Exists(key)) << key;
  }
}

TEST(DetectionAnalyserTables, TwoAnalysersHoldEqualTablesOfTheirOwn) {
  auto first = std::make_unique<CPaAnalyser>();
  const CPaAnalyser second;
  ASSERT_NE(&first->GoodHashes(), &second.GoodHashes());
  const std::vector<std::wstring> keys = KeysOf(first->GoodHashes());
  first.reset();
  EXPECT_EQ(KeysOf(second.GoodHashes()), keys);
  EXPECT_EQ(second.ParasiteSizes().Count(), 261u);
}

// ---- the rules ----

// A file as a case sets it up: missing, or with a size, a checksum and a company (nullopt: no version
// data at all).
struct FileSpec {
  bool exists = true;
  std::int32_t size = kSizeInNone;
  std::int32_t checksum = kChecksumInNone;
  std::optional<std::wstring> company;
};
const FileSpec kMissing{false, 0, 0, std::nullopt};
const FileSpec kNoVersion{};
FileSpec Company(const std::wstring& company) { return FileSpec{true, kSizeInNone, kChecksumInNone, company}; }
FileSpec Sized(std::int32_t size, std::int32_t checksum, std::optional<std::wstring> company = std::nullopt) {
  return FileSpec{true, size, checksum, std::move(company)};
}

class DetectionRulesTest : public DetectionTest {
 protected:
  // Puts the file in place and starts from empty caches, so that each fact read shows as a read.
  void Put(const std::wstring& path, const FileSpec& spec) {
    files.Remove(path);
    versions.Remove(path);
    if (spec.exists) AddFile(path, spec.size, spec.checksum, spec.company);
    ResetCaches();
  }
  bool Ask(Rule rule, const std::wstring& path, const FileSpec& spec) {
    Put(path, spec);
    return (analyser.*rule)(path);
  }

  CPaAnalyser analyser;
};

const std::wstring kFile = L"C:\\Apps\\f.dll";

TEST_F(DetectionRulesTest, SuspicionRulesJudgeExistenceCompanyAndKnownGoodModules) {
  struct Row { const char* name; FileSpec file; bool runningModule, serviceOrStartup, extension; };
  const Row rows[] = {
      {"missing", kMissing, false, false, false},
      {"no version data", kNoVersion, true, true, true},
      {"blank company", Company(L"   "), true, true, true},
      {"company", Company(L"Acme"), false, false, true},
      {"IE Toolbar", Company(L"IE Toolbar"), true, false, true},
      {"IE TOOLBAR with blanks", Company(L"  IE TOOLBAR  "), true, false, true},
      {"IE Toolbars", Company(L"IE Toolbars"), false, false, true},
      {"known good", Sized(kSizeInCOnly, kChecksumInD), false, true, true},
      {"good size, unknown checksum", Sized(kSizeInCOnly, kChecksumInNone), true, true, true},
      {"unknown size, good checksum", Sized(kSizeInNone, kChecksumInD), true, true, true},
      {"good pair but IE Toolbar", Sized(kSizeInCOnly, kChecksumInD, L"IE Toolbar"), true, false, true},
      {"good pair with a company", Sized(kSizeInCOnly, kChecksumInD, L"Acme"), false, false, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Ask(&CPaAnalyser::IsSuspiciousRunningModule, kFile, row.file), row.runningModule) << row.name;
    for (Rule rule : {&CPaAnalyser::IsSuspiciousService, &CPaAnalyser::IsSuspiciousStartup}) {
      EXPECT_EQ(Ask(rule, kFile, row.file), row.serviceOrStartup) << row.name;
    }
    for (Rule rule : {&CPaAnalyser::IsSuspiciousBHO, &CPaAnalyser::IsSuspiciousToolbar,
                      &CPaAnalyser::IsSuspiciousExplorerBar}) {
      EXPECT_EQ(Ask(rule, kFile, row.file), row.extension) << row.name;
    }
  }
  EXPECT_TRUE(logger->lines.empty());
}

// A path, the file found there and the rule's answer.
struct PathRow { std::wstring path; FileSpec file; bool answer; };

TEST_F(DetectionRulesTest, KnownGoodModulesAreTheSessionManagerByNameAndTheGoodPairs) {
  const std::wstring smss = L"C:\\Windows\\System32\\smss.exe";
  const PathRow rows[] = {
      {L"\\SystemRoot\\System32\\smss.exe", kMissing, true},
      {L"\\SYSTEMROOT\\SYSTEM32\\SMSS.EXE", Company(L"Acme"), true},
      {L"\\systemroot\\system32\\smss.exe", kNoVersion, true},
      {L"\\SystemRoot\\System32\\smss.exe ", kMissing, false},
      {smss, kNoVersion, false},
      {smss, Sized(kSizeInCOnly, kChecksumInD), true},
      {kFile, Sized(kSizeInAandC, kChecksumInD), true},
      {kFile, Sized(32768, kChecksumInD), true},
      {kFile, Sized(kSizeInCOnly, kChecksumInNone), false},
      {kFile, Sized(kSizeInCOnly, kChecksumInB), false},
      {kFile, Sized(kSizeInAOnly, kChecksumInD), false},
      {kFile, Sized(kSizeInCOnly, kChecksumInD, L"Acme"), false},
      {kFile, kMissing, false},
  };
  for (const PathRow& row : rows) {
    EXPECT_EQ(Ask(&CPaAnalyser::IsGoodRunningModule, row.path, row.file), row.answer) << row.path;
  }
}

TEST_F(DetectionRulesTest, ParasiteBhoIsAFileWithoutCompanyExceptThreeKnownHelpers) {
  const PathRow rows[] = {
      {L"C:\\Ext\\helper.dll", kMissing, true},
      {L"C:\\Ext\\helper.dll", kNoVersion, true},
      {L"C:\\Ext\\helper.dll", Company(L"Acme"), false},
      {L"C:\\Adobe\\AcroIEHelper.OCX", kNoVersion, false},
      {L"C:\\Adobe\\ACRO\u0130EHELPER.ocx", kNoVersion, false},
      {L"C:\\Adobe\\acroiefavclient.DLL", kMissing, false},
      {L"C:\\Norton\\PCShared\\NMIEHELP.dll", kNoVersion, false},
      {L"\\pcshared\\nmiehelp.DLL", kMissing, false},
      {L"C:\\Norton\\nmiehelp.dll", kNoVersion, true},
      {L"C:\\Adobe\\MyAcroIEHelper.ocx", kNoVersion, true},
      {L"C:\\Adobe\\AcroIEHelper.ocx.bak", kNoVersion, true},
  };
  for (const PathRow& row : rows) {
    EXPECT_EQ(Ask(&CPaAnalyser::IsParasiteBHO, row.path, row.file), row.answer) << row.path;
    // No existence test: only the version data is read.
    EXPECT_EQ(ReadsOf(row.path), (Reads{0, 1, 0, 0}));
  }
}

TEST_F(DetectionRulesTest, ParasiteRunningModuleByNameTablesAndThirtyTwoBitNames) {
  const PathRow rows[] = {
      // ".tmp" in the base name, any case, with or without a file.
      {L"C:\\Temp\\setup.TMP", kMissing, true},
      {L"C:\\Temp\\a.tmp.exe", kMissing, true},
      {L"C:\\Temp\\x.TmPl", Company(L"Acme"), true},
      {L"setup.tmp", kMissing, true},
      {L"C:\\x.tmp\\app.exe", kMissing, false},
      // A colon after the last backslash.
      {L"C:\\dir\\file.exe:stream", kMissing, true},
      {L"C:file.exe", kMissing, true},
      {L"file.exe:x", kMissing, true},
      {L"C:\\dir:x\\file.exe", kMissing, false},
      {L"C:\\dir\\file.exe", kMissing, false},
      // The parasite pair, whatever the company.
      {kFile, Sized(kSizeInAOnly, kChecksumInB, L"Acme"), true},
      {kFile, Sized(kSizeInAandC, kChecksumInB), true},
      {kFile, Sized(kSizeInAOnly, kChecksumInD), false},
      {kFile, Sized(kSizeInCOnly, kChecksumInB), false},
      // Names ending in "32.exe" or "\se.dll", without a company.
      {L"C:\\Apps\\App32.EXE", kNoVersion, true},
      {L"32.exe", kNoVersion, true},
      {L"C:\\Apps\\App32.exe", Company(L"Acme"), false},
      {L"C:\\Apps\\App32.exe", kMissing, false},
      {L"C:\\Apps\\SE.DLL", kNoVersion, true},
      {L"C:\\Apps\\base.dll", kNoVersion, false},
      {L"C:\\Apps\\App64.exe", kNoVersion, false},
  };
  for (const PathRow& row : rows) {
    EXPECT_EQ(Ask(&CPaAnalyser::IsParasiteRunningModule, row.path, row.file), row.answer) << row.path;
  }
  EXPECT_TRUE(logger->lines.empty());
}

// A size whose low 32 bits have the top bit set is negative: its key carries a minus sign and is in no
// table, so neither pair can match and no checksum is computed.
TEST_F(DetectionRulesTest, NegativeSizesMatchNoTable) {
  const std::uint64_t kLow32Negative = 0x80000000ull + static_cast<std::uint64_t>(kSizeInAandC);
  for (const std::wstring& path : {kFile, std::wstring(L"C:\\Apps\\tool32.exe")}) {
    files.AddLargeFile(path, kLow32Negative);
    versions.Remove(path);
    ResetCaches();
    EXPECT_FALSE(analyser.IsGoodRunningModule(path));
    EXPECT_TRUE(analyser.IsSuspiciousRunningModule(path));
    EXPECT_EQ(analyser.IsParasiteRunningModule(path), path != kFile);
    EXPECT_EQ(CountingFiles::Of(files.contentReads, path), 0);
  }
}

// Each rule reads a fact only where it needs it: a rule that answers early reads nothing further.
TEST_F(DetectionRulesTest, RulesReadOnlyTheFactsTheirStepsNeed) {
  const Rule suspiciousModule = &CPaAnalyser::IsSuspiciousRunningModule;
  const Rule good = &CPaAnalyser::IsGoodRunningModule;
  const Rule parasite = &CPaAnalyser::IsParasiteRunningModule;
  struct Row { const char* name; Rule rule; std::wstring path; FileSpec file; Reads reads; };
  const Row rows[] = {  // reads: exists, version, size, content
      {"module missing", suspiciousModule, kFile, kMissing, {1, 0, 0, 0}},
      {"module with company", suspiciousModule, kFile, Company(L"Acme"), {1, 1, 0, 0}},
      {"module, size not in C", suspiciousModule, kFile, kNoVersion, {1, 1, 1, 0}},
      {"module, size in C", suspiciousModule, kFile, Sized(kSizeInCOnly, kChecksumInNone), {1, 1, 1, 1}},
      {"service missing", &CPaAnalyser::IsSuspiciousService, kFile, kMissing, {1, 0, 0, 0}},
      {"service", &CPaAnalyser::IsSuspiciousService, kFile, Sized(kSizeInCOnly, kChecksumInD), {1, 1, 0, 0}},
      {"startup", &CPaAnalyser::IsSuspiciousStartup, kFile, kNoVersion, {1, 1, 0, 0}},
      {"bho", &CPaAnalyser::IsSuspiciousBHO, kFile, Sized(kSizeInCOnly, kChecksumInD), {1, 0, 0, 0}},
      {"toolbar", &CPaAnalyser::IsSuspiciousToolbar, kFile, kNoVersion, {1, 0, 0, 0}},
      {"explorer bar", &CPaAnalyser::IsSuspiciousExplorerBar, kFile, kNoVersion, {1, 0, 0, 0}},
      {"good: session manager", good, L"\\SystemRoot\\System32\\smss.exe", kNoVersion, {0, 0, 0, 0}},
      {"good: company", good, kFile, Sized(kSizeInCOnly, kChecksumInD, L"Acme"), {0, 1, 0, 0}},
      {"good: size not in C", good, kFile, Sized(kSizeInAOnly, kChecksumInD), {0, 1, 1, 0}},
      {"good: size in C", good, kFile, Sized(kSizeInCOnly, kChecksumInD), {0, 1, 1, 1}},
      {"parasite: .tmp", parasite, L"C:\\Temp\\a.tmp", Sized(kSizeInAOnly, kChecksumInB), {0, 0, 0, 0}},
      {"parasite: stream", parasite, L"C:\\a.dll:s", kNoVersion, {0, 0, 0, 0}},
      {"parasite: missing", parasite, L"C:\\Apps\\x32.exe", kMissing, {0, 0, 1, 0}},
      {"parasite: size not in A", parasite, kFile, Sized(kSizeInCOnly, kChecksumInB), {0, 0, 1, 0}},
      {"parasite: size in A", parasite, kFile, Sized(kSizeInAOnly, kChecksumInNone), {0, 0, 1, 1}},
      {"parasite: 32.exe", parasite, L"C:\\Apps\\x32.exe", kNoVersion, {0, 1, 1, 0}},
      {"parasite: pair before name", parasite, L"C:\\Apps\\x32.exe", Sized(kSizeInAOnly, kChecksumInB), {0, 0, 1, 1}},
  };
  for (const Row& row : rows) {
    Ask(row.rule, row.path, row.file);
    EXPECT_EQ(ReadsOf(row.path), row.reads) << row.name;
  }
}

// Every rule traps its errors: one log line under its own source, and the answer false.
TEST_F(DetectionRulesTest, EachRuleLogsItsOwnErrorAndAnswersFalse) {
  const std::pair<Rule, const wchar_t*> rules[] = {
      {&CPaAnalyser::IsSuspiciousRunningModule, L"CPaAnalyser.IsSuspiciousRunningModule"},
      {&CPaAnalyser::IsSuspiciousService, L"CPaAnalyser.IsSuspiciousService"},
      {&CPaAnalyser::IsSuspiciousStartup, L"CPaAnalyser.IsSuspiciousStartup"},
      {&CPaAnalyser::IsGoodRunningModule, L"CPaAnalyser.IsGoodRunningModule"},
      {&CPaAnalyser::IsSuspiciousBHO, L"CPaAnalyser.IsSuspiciousBHO"},
      {&CPaAnalyser::IsSuspiciousToolbar, L"CPaAnalyser.IsSuspiciousToolbar"},
      {&CPaAnalyser::IsSuspiciousExplorerBar, L"CPaAnalyser.IsSuspiciousExplorerBar"},
      {&CPaAnalyser::IsParasiteBHO, L"CPaAnalyser.IsParasiteBHO"},
      {&CPaAnalyser::IsParasiteRunningModule, L"CPaAnalyser.IsParasiteRunningModule"},
  };
  // A file every rule would answer true for, if the caches were there: no version data, a name
  // ending in "32.exe", a size in A with a checksum in B.
  const std::wstring path = L"C:\\Apps\\x32.exe";
  for (const auto& [rule, source] : rules) {
    Put(path, Sized(kSizeInAOnly, kChecksumInB));
    MWDL::goFileInfoManager.reset();
    MWDL::goHashier.reset();
    logger->lines.clear();
    EXPECT_FALSE((analyser.*rule)(path)) << source;
    EXPECT_EQ(LoggedErrors(), (Errors{{err::kObjectNotSet, 0, source}}));
  }
}

// The known-good test's error is its own: the module rule goes on with the company.
TEST_F(DetectionRulesTest, ErrorOfKnownGoodTestLeavesTheModuleJudgedByItsCompany) {
  for (const auto& [company, suspicious] : {std::pair<std::optional<std::wstring>, bool>{std::nullopt, true},
                                            {L"Acme", false}}) {
    Put(kFile, Sized(kSizeInCOnly, kChecksumInD, company));
    MWDL::goHashier.reset();  // the checksum, asked only for a file without a company, fails
    logger->lines.clear();
    EXPECT_EQ(analyser.IsSuspiciousRunningModule(kFile), suspicious);
    EXPECT_EQ(Logged(), (company ? Log{} : Log{{0, L"CPaAnalyser.IsGoodRunningModule"}}));
  }
  // A version reader that fails fails the known-good test and then the module rule itself.
  Put(kFile, kNoVersion);
  versions.raiseFor.insert(qn::FoldKey(kFile));
  logger->lines.clear();
  EXPECT_FALSE(analyser.IsSuspiciousRunningModule(kFile));
  EXPECT_EQ(LoggedErrors(), (Errors{{err::kOutOfMemory, 0, L"CPaAnalyser.IsGoodRunningModule"},
                                    {err::kOutOfMemory, 0, L"CPaAnalyser.IsSuspiciousRunningModule"}}));
}

}  // namespace

// The removal script: taken out of the pasted text, decoded, its lists read and the whole checked
// against this PC and this version, on the in-memory machine (PC "TESTPC", program version 2.0.24).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "InspectionEnumFixture.h"
#include "common/Error.h"
#include "common/Utilities.h"
#include "removal/RemovalScript.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "tests/native/ErrorOf.h"
#include "tests/native/ScriptText.h"
#include "ui/PropertyBag.h"

namespace {

using namespace script_test;
using RemovalScript::CChecksumList;
// (number, level, source) of log lines.
using LogLines = std::vector<std::tuple<long, int, std::wstring>>;

constexpr wchar_t kParseSource[] = L"FSpywareRemover.ParseScriptFromMessage";
constexpr wchar_t kVersionSource[] = L"FSpywareRemover.IsMinAppVersionRestrictionApplies";
constexpr wchar_t kCheckSource[] = L"FSpywareRemover.CheckScript";

// (key, item) of every entry of a list, in order.
std::vector<std::pair<std::wstring, std::int32_t>> Entries(const CChecksumList& list) {
  std::vector<std::pair<std::wstring, std::int32_t>> entries;
  for (std::size_t i = 1; i <= list.Count(); ++i) entries.emplace_back(list.Key(i), list.Item(i));
  return entries;
}

// Every line of `text` quoted as a reply quotes it.
std::wstring Quoted(const std::wstring& text) {
  std::wstring quoted = L"> ";
  for (wchar_t c : text) {
    quoted += c;
    if (c == L'\n') quoted += L"> ";
  }
  return quoted;
}

CChecksumList Marked() {
  CChecksumList list;
  list.Add(4711, L"_4711");
  return list;
}

class RemovalScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MWDL::goLogger = logger;
    MWDL::gsVersion = L"2.0.24";
  }
  void TearDown() override { std::tie(MWDL::goLogger, MWDL::gsVersion) = saved_; }

  // CheckScript on `text` into this test's outputs, which start marked so that a change shows.
  bool Check(const std::wstring& text) {
    errorText = L"(unchanged)";
    white = Marked();
    black = Marked();
    texts = RemovalScript::ScriptTexts{L"(pc)", L"(os)", L"(cpu)", L"(version)"};
    return RemovalScript::CheckScript(text, errorText, texts, white, black);
  }
  // (number, level, source) of each log line.
  LogLines Lines() const {
    LogLines lines;
    for (const LogLine& line : logger->lines) lines.emplace_back(line.number, line.level, line.source);
    return lines;
  }

  platform::FakeMachine machine;
  std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>();
  std::wstring errorText;
  RemovalScript::ScriptTexts texts;
  CChecksumList white, black;

 private:
  std::tuple<std::shared_ptr<CLogger>, std::wstring> saved_{MWDL::goLogger, MWDL::gsVersion};
};

}  // namespace

TEST_F(RemovalScriptTest, ScriptInsideQuotedMailTextIsFoundAndItsValuesRead) {
  const std::wstring mail = L"Hello,\r\n> > you wrote: " + kEnd.substr(0, 20) + L"\r\n>\r\nPlease paste this:\r\n\r\n" +
                            Script(ForThisPC(L"1A2B3C", L"12345678;A")) + L"\r\n-- \r\n> Regards\r\n";
  ASSERT_TRUE(Check(mail)) << errorText;
  EXPECT_EQ(errorText, L"");
  EXPECT_EQ(std::tie(texts.pcname, texts.os, texts.cpu, texts.minappversion),
            std::tuple(L"TESTPC", L"Microsoft Windows XP 5.1.2600", L"x86 Family 6 Model 15", L"2.0.24"));
  EXPECT_EQ(Entries(white), (std::vector<std::pair<std::wstring, std::int32_t>>{{L"_1715004", 1715004}}));
  EXPECT_EQ(Entries(black), (std::vector<std::pair<std::wstring, std::int32_t>>{{L"_305419896", 305419896},
                                                                                  {L"_10", 10}}));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(RemovalScriptTest, WithoutBothMarkersInOrderTheScriptIsInvalidWithoutALogLine) {
  const std::wstring body = Body(ForThisPC(L"1", L"2"));
  const std::wstring good = Script(body);
  struct Case {
    const char* what;
    std::wstring text;
  };
  const Case cases[] = {
      {"start marker in lower case", L"============= spyware removal script =============\r\n" + body + kEnd},
      {"end marker in upper case", kStart + L"\r\n" + body + L"============ ^SPYWARE REMOVAL SCRIPT^ ============"},
      {"start marker with 12 = before", kStart.substr(1) + L"\r\n" + body + kEnd},
      {"start marker with 12 = after", kStart.substr(0, 49) + L"\r\n" + body + kEnd},
      {"end marker with 11 = before", kStart + L"\r\n" + body + kEnd.substr(1)},
      {"end marker before the start marker", kEnd + L"\r\n" + body + kStart},
      {"only the start marker", kStart + L"\r\n" + body},
      {"only the end marker", body + kEnd},
      {"no marker", body},
      {"empty", L""},
      {"blanks only", L"     "},
  };
  for (const Case& c : cases) {
    logger->lines.clear();
    EXPECT_FALSE(Check(c.text)) << c.what;
    EXPECT_EQ(errorText, LoadResString(108)) << c.what;
    EXPECT_TRUE(logger->lines.empty()) << c.what;
    EXPECT_EQ(Entries(white), Entries(Marked())) << c.what;
    EXPECT_EQ(texts.pcname, L"(pc)") << c.what;
  }
  // The same body between proper markers is a script, with blanks and line breaks around it.
  EXPECT_TRUE(Check(L"  \r\n" + good + L"\r\n  ")) << errorText;
}

TEST_F(RemovalScriptTest, BodyThatDoesNotDecodeIsInvalidWithItsErrorLogged) {
  CProperties nested;
  nested.Add(L"x", std::wstring(L"1"));
  ui::PropertyBag withSet;
  withSet.WriteProperty(L"w", nested);
  struct Case {
    const char* what;
    std::wstring text;
    long number;
  };
  const Case cases[] = {
      {"a character outside the text form", Script(L"V0RQQgEAAAAAAA!=\r\n"), err::kInvalidArgument},
      {"each line quoted by a reply", Script(Quoted(Body(ForThisPC(L"", L"")))), err::kInvalidArgument},
      {"bytes that are not a property bag", Script(Utilities().BytesToText({'n', 'o', 't', ' ', 'a', ' ', 'b', 'a', 'g'})),
       ui::kInvalidPropertyBag},
      {"a bag cut short", Script(Utilities().BytesToText({'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0})), ui::kInvalidPropertyBag},
      {"a list that is a value set", Script(Utilities().BytesToText(withSet.Contents())), ui::kTypeMismatch},
      {"an end marker inside the start marker", kStart + kEnd.substr(12), err::kInvalidArgument},
  };
  for (const Case& c : cases) {
    logger->lines.clear();
    EXPECT_FALSE(Check(c.text)) << c.what;
    EXPECT_EQ(errorText, LoadResString(108)) << c.what;
    ASSERT_EQ(logger->lines.size(), 1u) << c.what;
    EXPECT_EQ(Lines()[0], std::tuple(c.number, kLogError, kParseSource)) << c.what;
    EXPECT_FALSE(logger->lines[0].message.empty()) << c.what;
  }
}

TEST_F(RemovalScriptTest, HexadecimalItemsReadAsSixteenOrThirtyTwoBitValues) {
  struct Case {
    const wchar_t* item;
    std::int32_t value;
  };
  for (const Case& c : {Case{L"1A2B3C", 1715004}, Case{L"ffff", -1}, Case{L"FFFFFFFF", -1}, Case{L"7fff", 32767},
                        Case{L"8000", -32768}, Case{L"0000FFFF", -1}, Case{L"0FFFF", -1}, Case{L"10000", 65536},
                        Case{L"7FFFFFFF", 2147483647}, Case{L"80000000", INT32_MIN}, Case{L"", 0}, Case{L"xyz", 0},
                        Case{L" 1 2\t\n", 0x12}, Case{L"1\r2", 1}, Case{L"12g4", 0x12}, Case{L"000000000012", 0x12},
                        Case{L"00000000", 0}}) {
    EXPECT_EQ(RemovalScript::ReadChecksumItem(c.item), c.value) << c.item;
  }
  for (const wchar_t* item : {L"123456789", L"FFFFFFFFF", L"1 0000 0000", L"0100000000"}) {
    EXPECT_EQ(ErrorOf([&] { RemovalScript::ReadChecksumItem(item); }), err::kOverflow) << item;
  }
}

TEST_F(RemovalScriptTest, ListsAreKeyedByDecimalChecksumsAndRefuseDuplicatesAndLongItems) {
  using Entries_ = std::vector<std::pair<std::wstring, std::int32_t>>;
  struct Case {
    const char* what;
    std::wstring w, b;
    bool valid;
    Entries_ white, black;
    long logged = 0;
  };
  const Case cases[] = {
      {"empty lists", L"", L"", true, {}, {}},
      {"negative keys", L"ffff", L"8000;FFFFFFFE", true, {{L"_-1", -1}}, {{L"_-32768", -32768}, {L"_-2", -2}}},
      {"a trailing ;", L"1A2B3C;", L"", true, {{L"_1715004", 1715004}, {L"_0", 0}}, {}},
      {"one checksum in both lists", L"A", L"a", true, {{L"_10", 10}}, {{L"_10", 10}}},
      {"two empty pieces", L"1;;", L"", false, {{L"_1", 1}, {L"_0", 0}}, {{L"_4711", 4711}}, err::kDuplicateKey},
      {"ffff and FFFFFFFF in one list", L"", L"ffff;FFFFFFFF", false, {}, {{L"_-1", -1}}, err::kDuplicateKey},
      {"a checksum twice", L"5;A;5", L"", false, {{L"_5", 5}, {L"_10", 10}}, {{L"_4711", 4711}}, err::kDuplicateKey},
      {"a nine-digit item", L"", L"1;123456789;2", false, {}, {{L"_1", 1}}, err::kOverflow},
  };
  for (const Case& c : cases) {
    logger->lines.clear();
    EXPECT_EQ(Check(Script(ForThisPC(c.w, c.b))), c.valid) << c.what;
    EXPECT_EQ(errorText, c.valid ? L"" : LoadResString(108)) << c.what;
    // A list replaced before the error stays replaced, as far as it was filled.
    EXPECT_EQ(Entries(white), c.white) << c.what;
    EXPECT_EQ(Entries(black), c.black) << c.what;
    if (c.valid) {
      EXPECT_TRUE(logger->lines.empty()) << c.what;
    } else {
      EXPECT_EQ(Lines(), (LogLines{{c.logged, kLogError, kParseSource}}))
          << c.what;
    }
  }
}

TEST_F(RemovalScriptTest, ScriptForAnotherComputerIsRefusedOnAnyDifferenceOfNameOsOrCpu) {
  struct Case {
    const wchar_t* name;
    const wchar_t* value;
  };
  for (const Case& c : {Case{L"pcname", L"testpc"}, Case{L"pcname", L"TESTPC "}, Case{L"os", L"Microsoft Windows XP"},
                        Case{L"cpu", L"x86 family 6 model 15"}, Case{L"cpu", L""}}) {
    EXPECT_FALSE(Check(Script(ForThisPC(L"1", L"2", {{c.name, c.value}})))) << c.name << "=" << c.value;
    EXPECT_EQ(errorText, LoadResString(109)) << c.name << "=" << c.value;
  }
  // The lists and texts were read before the comparison.
  EXPECT_EQ(Entries(white), (std::vector<std::pair<std::wstring, std::int32_t>>{{L"_1", 1}}));
  EXPECT_EQ(texts.cpu, L"");
  EXPECT_TRUE(logger->lines.empty());

  machine.system.SetComputerName(L"OTHERPC");
  EXPECT_TRUE(Check(Script(ForThisPC(L"", L"", {{L"pcname", L"OTHERPC"}})))) << errorText;
}

TEST_F(RemovalScriptTest, MinimumVersionIsComparedNumericallyPartByPart) {
  struct Case {
    const wchar_t* minimum;
    bool runs;
    bool logged;
  };
  for (const Case& c : {Case{L"2.0.24", true, false}, Case{L"1.9.99", true, false}, Case{L"1.5.0", true, false},
                        Case{L"2.0.3", true, false}, Case{L"2.0.24.99", true, false}, Case{L" 2 . 0 .2 4", true, false},
                        Case{L"2.0.24beta", true, false}, Case{L"-3.0.0", true, false}, Case{L"2.0.x", true, false},
                        Case{L"2.0.25", false, false}, Case{L"2.1.0", false, false}, Case{L"3.0.0", false, false},
                        Case{L"10.0.0", false, false}, Case{L"2.0.100", false, false},
                        Case{L"2.0.99999999999999999999999", false, false}, Case{L"2.0", false, true},
                        Case{L"", false, true}, Case{L"2", false, true}}) {
    logger->lines.clear();
    EXPECT_EQ(Check(Script(ForThisPC(L"", L"", {{L"minappversion", c.minimum}}))), c.runs) << c.minimum;
    const std::wstring expected = c.runs ? L""
                                         : L"The script requires Wardline version " + std::wstring(c.minimum) +
                                               L" or later. \nPlease visit http://wardline.net/ to obtain the latest "
                                               L"version. ";
    EXPECT_EQ(errorText, expected) << c.minimum;
    const LogLines logged{{err::kSubscriptOutOfRange, kLogError, kVersionSource}};
    EXPECT_EQ(Lines(), c.logged ? logged : LogLines{}) << c.minimum;
  }
  // An absent value reads as "".
  Values withoutVersion = ForThisPC(L"", L"");
  withoutVersion.pop_back();
  EXPECT_FALSE(Check(Script(withoutVersion)));
  EXPECT_EQ(texts.minappversion, L"");
}

TEST_F(RemovalScriptTest, VersionComparisonOrdersByTheFirstDifferingPart) {
  struct Case {
    const wchar_t* version;
    const wchar_t* other;
    int order;
  };
  for (const Case& c : {Case{L"2.0.24", L"2.0.24", 0}, Case{L"10.0.0", L"9.99.99", 1}, Case{L"2.0.9", L"2.0.10", -1},
                        Case{L"002.000.024", L"2.0.24", 0}, Case{L"2.0.24.1", L"2.0.24.2", 0},
                        Case{L"18446744073709551617.0.0", L"18446744073709551616.0.0", 1}, Case{L"-1.0.0", L"0.0.0", -1},
                        Case{L"-2.0.0", L"-1.0.0", -1}, Case{L"-0.0.0", L"0.0.0", 0}, Case{L"a.b.c", L"0.0.0", 0}}) {
    const int order = RemovalScript::CompareVersions(c.version, c.other);
    EXPECT_EQ((order > 0) - (order < 0), c.order) << c.version << " vs " << c.other;
  }
  EXPECT_EQ(ErrorOf([] { RemovalScript::CompareVersions(L"2.0", L"2.0.24"); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([] { RemovalScript::CompareVersions(L"2.0.24", L"2..."); }), 0);
}

TEST_F(RemovalScriptTest, ProgramVersionWithoutThreePartsRunsNoScriptAndIsLogged) {
  MWDL::gsVersion = L"2.0";
  EXPECT_FALSE(RemovalScript::IsMinAppVersionRestrictionApplies(L"1.0.0"));
  EXPECT_EQ(Lines(), (LogLines{
                         {err::kSubscriptOutOfRange, kLogError, kVersionSource}}));
}

namespace {
class RaisingSystem : public platform::FakeSystem {
 public:
  std::wstring CpuDescription() override { throw std::bad_alloc(); }
};
}  // namespace

TEST_F(RemovalScriptTest, ErrorOfTheCheckItselfIsLoggedAndLeavesNoErrorText) {
  RaisingSystem system;
  const platform::Services previous = platform::Install(platform::Services{.system = &system});
  const bool result = Check(Script(ForThisPC(L"1", L"")));
  platform::Install(previous);
  EXPECT_FALSE(result);
  EXPECT_EQ(errorText, L"");
  EXPECT_EQ(Lines(), (LogLines{{err::kOutOfMemory, kLogError, kCheckSource}}));
}

// The removal script: taken out of the pasted text, decoded, its lists read and the whole checked
// against this PC and this version, on the in-memory machine (PC "TESTPC", program version 2.0.24).
#include <cstdint>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "InspectionEnumFixture.h"
#include "removal/RemovalScript.h"
#include "shell/Strings.h"
#include "tests/native/ErrorOf.h"
#include "tests/native/ScriptText.h"

namespace {

using namespace script_test;
using RemovalScript::CChecksumList;
using Entries = std::vector<std::pair<std::wstring, std::int32_t>>;  // (key, item) of a list, in order

constexpr wchar_t kParseSource[] = L"FSpywareRemover.ParseScriptFromMessage";
constexpr wchar_t kVersionSource[] = L"FSpywareRemover.IsMinAppVersionRestrictionApplies";
const Entries kMarked{{L"_4711", 4711}};

Entries Of(const CChecksumList& list) {
  Entries entries;
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

class RemovalScriptTest : public InspectionEnumTest {
 protected:
  // The answer, the error text and (number, level, source) of each line logged.
  using Result = std::tuple<bool, std::wstring, Errors>;

  void SetUp() override {
    InspectionEnumTest::SetUp();
    MWDL::gsVersion = L"2.0.24";
  }
  void TearDown() override {
    MWDL::gsVersion = savedVersion_;
    InspectionEnumTest::TearDown();
  }
  // CheckScript on `text` with a fresh log, into this test's outputs, which start marked so that a
  // change shows.
  Result Check(const std::wstring& text) {
    logger->lines.clear();
    errorText = L"(unchanged)";
    white = CChecksumList();
    white.Add(4711, L"_4711");
    black = white;
    texts = RemovalScript::ScriptTexts{L"(pc)", L"(os)", L"(cpu)", L"(version)"};
    const bool valid = RemovalScript::CheckScript(text, errorText, texts, white, black);
    return {valid, errorText, LoggedErrors()};
  }
  static Result Refused(const std::wstring& text, Errors logged = {}) { return {false, text, logged}; }

  std::wstring errorText;
  RemovalScript::ScriptTexts texts;
  CChecksumList white, black;

 private:
  std::wstring savedVersion_ = MWDL::gsVersion;
};

}  // namespace

TEST_F(RemovalScriptTest, ScriptInsideQuotedMailTextIsFoundAndItsValuesRead) {
  const std::wstring mail = L"Hello,\r\n> > you wrote: " + kEnd.substr(0, 20) + L"\r\n>\r\nPlease paste this:\r\n\r\n" +
                            Script(ForThisPC(L"1A2B3C", L"12345678;A")) + L"\r\n-- \r\n> Regards\r\n";
  EXPECT_EQ(Check(mail), Result(true, L"", {}));
  EXPECT_EQ(std::tie(texts.pcname, texts.os, texts.cpu, texts.minappversion),
            std::tuple(L"TESTPC", L"Microsoft Windows XP 5.1.2600", L"x86 Family 6 Model 15", L"2.0.24"));
  EXPECT_EQ(std::pair(Of(white), Of(black)),
            std::pair(Entries{{L"_1715004", 1715004}}, Entries{{L"_305419896", 305419896}, {L"_10", 10}}));
}

TEST_F(RemovalScriptTest, WithoutBothMarkersInOrderTheScriptIsInvalidWithoutALogLine) {
  const std::wstring body = Body(ForThisPC(L"1", L"2"));
  const std::pair<const char*, std::wstring> cases[] = {
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
  for (const auto& [what, text] : cases) {
    EXPECT_EQ(Check(text), Refused(LoadResString(108))) << what;
    EXPECT_EQ(std::tuple(Of(white), Of(black), texts.pcname), std::tuple(kMarked, kMarked, L"(pc)")) << what;
  }
  // The same body between proper markers is a script, with blanks and line breaks around it.
  EXPECT_EQ(Check(L"  \r\n" + Script(body) + L"\r\n  "), Result(true, L"", {}));
}

TEST_F(RemovalScriptTest, BodyThatDoesNotDecodeIsInvalidWithItsErrorLogged) {
  CProperties nested;
  nested.Add(L"x", std::wstring(L"1"));
  ui::PropertyBag withSet;
  withSet.WriteProperty(L"w", nested);
  const std::tuple<const char*, std::wstring, long> cases[] = {
      {"a character outside the text form", Script(L"V0RQQgEAAAAAAA!=\r\n"), err::kInvalidArgument},
      {"each line quoted by a reply", Script(Quoted(Body(ForThisPC(L"", L"")))), err::kInvalidArgument},
      {"bytes that are not a property bag", Script(Utilities().BytesToText({'n', 'o', 't', ' ', 'a', ' ', 'b', 'a', 'g'})),
       ui::kInvalidPropertyBag},
      {"a bag cut short", Script(Utilities().BytesToText({'W', 'D', 'P', 'B', 1, 0, 1, 0, 0, 0})), ui::kInvalidPropertyBag},
      {"a list that is a value set", Script(Utilities().BytesToText(withSet.Contents())), ui::kTypeMismatch},
      {"an end marker inside the start marker", kStart + kEnd.substr(12), err::kInvalidArgument},
  };
  for (const auto& [what, text, number] : cases) {
    EXPECT_EQ(Check(text), Refused(LoadResString(108), {{number, kLogError, kParseSource}})) << what;
    EXPECT_FALSE(logger->lines.empty() || logger->lines[0].message.empty()) << what;
  }
}

TEST_F(RemovalScriptTest, HexadecimalItemsReadAsSixteenOrThirtyTwoBitValues) {
  const std::pair<const wchar_t*, std::int32_t> items[] = {
      {L"1A2B3C", 1715004}, {L"ffff", -1},        {L"FFFFFFFF", -1},        {L"7fff", 32767},
      {L"8000", -32768},    {L"0000FFFF", -1},    {L"0FFFF", -1},           {L"10000", 65536},
      {L"7FFFFFFF", 2147483647}, {L"80000000", INT32_MIN}, {L"", 0},       {L"xyz", 0},
      {L" 1 2\t\n", 0x12},  {L"1\r2", 1},         {L"12g4", 0x12},          {L"000000000012", 0x12},
      {L"00000000", 0}};
  for (const auto& [item, value] : items) EXPECT_EQ(RemovalScript::ReadChecksumItem(item), value) << item;
  for (const wchar_t* item : {L"123456789", L"FFFFFFFFF", L"1 0000 0000", L"0100000000"}) {
    EXPECT_EQ(ErrorOf([&] { RemovalScript::ReadChecksumItem(item); }), err::kOverflow) << item;
  }
}

TEST_F(RemovalScriptTest, ListsAreKeyedByDecimalChecksumsAndRefuseDuplicatesAndLongItems) {
  struct Case {
    const char* what;
    std::wstring w, b;
    Entries white, black;
    long logged = 0;  // the error of an invalid script
  };
  const Case cases[] = {
      {"empty lists", L"", L"", {}, {}},
      {"negative keys", L"ffff", L"8000;FFFFFFFE", {{L"_-1", -1}}, {{L"_-32768", -32768}, {L"_-2", -2}}},
      {"a trailing ;", L"1A2B3C;", L"", {{L"_1715004", 1715004}, {L"_0", 0}}, {}},
      {"one checksum in both lists", L"A", L"a", {{L"_10", 10}}, {{L"_10", 10}}},
      {"two empty pieces", L"1;;", L"", {{L"_1", 1}, {L"_0", 0}}, kMarked, err::kDuplicateKey},
      {"ffff and FFFFFFFF in one list", L"", L"ffff;FFFFFFFF", {}, {{L"_-1", -1}}, err::kDuplicateKey},
      {"a checksum twice", L"5;A;5", L"", {{L"_5", 5}, {L"_10", 10}}, kMarked, err::kDuplicateKey},
      {"a nine-digit item", L"", L"1;123456789;2", {}, {{L"_1", 1}}, err::kOverflow},
  };
  for (const Case& c : cases) {
    const Result expected =
        c.logged ? Refused(LoadResString(108), {{c.logged, kLogError, kParseSource}}) : Result(true, L"", {});
    EXPECT_EQ(Check(Script(ForThisPC(c.w, c.b))), expected) << c.what;
    // A list replaced before the error stays replaced, as far as it was filled.
    EXPECT_EQ(std::pair(Of(white), Of(black)), std::pair(c.white, c.black)) << c.what;
  }
}

TEST_F(RemovalScriptTest, ScriptForAnotherComputerIsRefusedOnAnyDifferenceOfNameOsOrCpu) {
  const std::pair<const wchar_t*, const wchar_t*> changes[] = {{L"pcname", L"testpc"},
                                                               {L"pcname", L"TESTPC "},
                                                               {L"os", L"Microsoft Windows XP"},
                                                               {L"cpu", L"x86 family 6 model 15"},
                                                               {L"cpu", L""}};
  for (const auto& [name, value] : changes) {
    EXPECT_EQ(Check(Script(ForThisPC(L"1", L"2", {{name, value}}))), Refused(LoadResString(109)))
        << name << "=" << value;
  }
  // The lists and texts were read before the comparison.
  EXPECT_EQ(std::tuple(Of(white), texts.cpu), std::tuple(Entries{{L"_1", 1}}, L""));

  machine.system.SetComputerName(L"OTHERPC");
  EXPECT_EQ(Check(Script(ForThisPC(L"", L"", {{L"pcname", L"OTHERPC"}}))), Result(true, L"", {}));
}

TEST_F(RemovalScriptTest, MinimumVersionIsComparedNumericallyPartByPart) {
  const std::tuple<const wchar_t*, bool, bool> cases[] = {  // minimum, runs, logged
      {L"2.0.24", true, false},     {L"1.9.99", true, false},      {L"1.5.0", true, false},
      {L"2.0.3", true, false},      {L"2.0.24.99", true, false},   {L" 2 . 0 .2 4", true, false},
      {L"2.0.24beta", true, false}, {L"-3.0.0", true, false},      {L"2.0.x", true, false},
      {L"2.0.25", false, false},    {L"2.1.0", false, false},      {L"3.0.0", false, false},
      {L"10.0.0", false, false},    {L"2.0.100", false, false},    {L"2.0.99999999999999999999999", false, false},
      {L"2.0", false, true},        {L"", false, true},            {L"2", false, true}};
  for (const auto& [minimum, runs, logged] : cases) {
    const std::wstring refusal = L"The script requires Wardline version " + std::wstring(minimum) +
                                 L" or later. \nPlease visit http://wardline.net/ to obtain the latest version. ";
    EXPECT_EQ(Check(Script(ForThisPC(L"", L"", {{L"minappversion", minimum}}))),
              Result(runs, runs ? L"" : refusal,
                     logged ? Errors{{err::kSubscriptOutOfRange, kLogError, kVersionSource}} : Errors{}))
        << minimum;
  }
  // An absent value reads as "".
  Values withoutVersion = ForThisPC(L"", L"");
  withoutVersion.pop_back();
  EXPECT_FALSE(std::get<0>(Check(Script(withoutVersion))));
  EXPECT_EQ(texts.minappversion, L"");
}

TEST_F(RemovalScriptTest, VersionComparisonOrdersByTheFirstDifferingPart) {
  const std::tuple<const wchar_t*, const wchar_t*, int> cases[] = {
      {L"2.0.24", L"2.0.24", 0},   {L"10.0.0", L"9.99.99", 1},       {L"2.0.9", L"2.0.10", -1},
      {L"002.000.024", L"2.0.24", 0}, {L"2.0.24.1", L"2.0.24.2", 0},
      {L"18446744073709551617.0.0", L"18446744073709551616.0.0", 1}, {L"-1.0.0", L"0.0.0", -1},
      {L"-2.0.0", L"-1.0.0", -1},  {L"-0.0.0", L"0.0.0", 0},         {L"a.b.c", L"0.0.0", 0}};
  for (const auto& [version, other, expected] : cases) {
    const int order = RemovalScript::CompareVersions(version, other);
    EXPECT_EQ((order > 0) - (order < 0), expected) << version << " vs " << other;
  }
  EXPECT_EQ(ErrorOf([] { RemovalScript::CompareVersions(L"2.0", L"2.0.24"); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([] { RemovalScript::CompareVersions(L"2.0.24", L"2..."); }), 0);
}

TEST_F(RemovalScriptTest, ProgramVersionWithoutThreePartsRunsNoScriptAndIsLogged) {
  MWDL::gsVersion = L"2.0";
  EXPECT_FALSE(RemovalScript::IsMinAppVersionRestrictionApplies(L"1.0.0"));
  EXPECT_EQ(LoggedErrors(), (Errors{{err::kSubscriptOutOfRange, kLogError, kVersionSource}}));
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
  const Result result = Check(Script(ForThisPC(L"1", L"")));
  platform::Install(previous);
  EXPECT_EQ(result, Refused(L"", {{err::kOutOfMemory, kLogError, L"FSpywareRemover.CheckScript"}}));
}

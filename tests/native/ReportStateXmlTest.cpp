// CReporter::MakeStateXML on an in-memory machine: the whole document, progress, every cancel test,
// the writers' own error handlers, the key rule of the file index and the time of sending.
#include <gmock/gmock.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DetectionFixture.h"
#include "platform/Types.h"
#include "report/Reporter.h"

using detection_test::kChecksumInNone;
using detection_test::kSizeInNone;
using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";
const std::wstring kRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kBHOs = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
const std::wstring kToolbars = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
const std::wstring kVerticalBars = L"{00021493-0000-0000-C000-000000000046}";

class ReportStateXml : public DetectionTest {
 protected:
  ReportStateXml() {
    MWDL::gsVersion = L"2.0.24";
    machine.system.SetNow(platform::LocalTime{2006, 3, 31, 14, 5, 59});
  }
  ~ReportStateXml() override { MWDL::gsVersion = savedVersion_; }

  // The machine, one registration at a time.
  void Service(const std::wstring& key, const std::wstring& image, const std::wstring& displayName = L"") {
    registry.SetString(kHkeyLocalMachine, kServices + key, L"ImagePath", image);
    if (!displayName.empty()) registry.SetString(kHkeyLocalMachine, kServices + key, L"DisplayName", displayName);
  }
  // Ten files of every kind: x 1 a&b.exe (service, described and made), 2 plain.sys (service without
  // display name or version data), 3 start.exe (startup, described only), 4 bho.dll (made only),
  // 5 the empty path (a helper object whose class names no file), 6 tb.dll (toolbar, missing), 7 bar.dll
  // (explorer bar), 8 one.exe with the modules lib.dll (9) and a&b.exe again, 10 two.exe (no modules).
  void SmallState() {
    AddFile(kAB, 3000, 12345, L"Acme & Co");  // FileDescription "Something"
    AddFile(kPlain, 3100, 23456);
    AddFile(kStart, 3200, 34567);
    versions.Set(kStart, {{L"FileDescription", L"Starter"}});
    AddFile(kBho, 3300, 45678);
    versions.Set(kBho, {{L"CompanyName", L"Acme"}});
    AddFile(kBar, 3400, 56789, L"Acme");
    AddFile(kOne, 3500, 67890, L"Acme");
    AddFile(kLib, kSizeInNone, 78901);
    AddFile(kTwo, 3700, 89012, L"Acme");
    Service(L"svcA", kAB, L"Alpha <svc>");
    Service(L"svcB", kPlain);
    registry.SetString(kHkeyCurrentUser, kRun, L"run0", kStart);
    for (std::size_t n : {1, 2}) registry.SetString(kHkeyLocalMachine, kBHOs + Clsid(n), L"", L"Helper");
    for (std::size_t n : {3, 4}) registry.SetString(kHkeyLocalMachine, kToolbars, Clsid(n), L"");
    // Classes with a name; 2 and 4 name no server file (the toolbar without one is left out), 5 is a bar.
    for (const auto& [n, file] : {std::pair{std::size_t{1}, kBho}, {2, L""}, {3, kTb}, {4, L""}, {5, kBar}}) {
      const std::wstring key = L"CLSID\\" + Clsid(n);
      registry.SetString(kHkeyClassesRoot, key, L"", L"Extension");
      if (!file.empty()) registry.SetString(kHkeyClassesRoot, key + L"\\InProcServer32", L"", file);
    }
    registry.CreateKey(kHkeyClassesRoot, L"CLSID\\" + Clsid(5) + L"\\Implemented Categories\\" + kVerticalBars);
    processes.AddProcess(100, {kOne, kLib, kAB});
    processes.AddProcess(101, {kTwo});
  }

  std::wstring Make(IProgressor& progressor) {
    return CReporter().MakeStateXML(progressor, L"Windows <XP>", L"x86 & co", L"PC'1", L"It's \"slow\"",
                                    L"Ann & Bob", L"a@b.c");
  }
  std::wstring Make() {
    ScriptedProgressor progressor;
    return Make(progressor);
  }

  // The document around its sections, with the meta data of Make().
  static std::wstring Document(const std::wstring& suspicious, const std::wstring& startups,
                               const std::wstring& bhos, const std::wstring& toolbars,
                               const std::wstring& explorerbars, const std::wstring& services,
                               const std::wstring& processes, const std::wstring& fileinfo) {
    return L"<xml><meta><os>Windows &lt;XP&gt;</os><cpu>x86 &amp; co</cpu><pcname>PC&apos;1</pcname>"
           L"<comments>It&apos;s &quot;slow&quot;</comments><yourname>Ann &amp; Bob</yourname>"
           L"<youremail>a@b.c</youremail><appversion>2.0.24</appversion><sent>2006-03-31 14:05</sent></meta>"
           L"<suspicious>" + suspicious + L"</suspicious><startups>" + startups + L"</startups><bhos>" + bhos +
           L"</bhos><toolbars>" + toolbars + L" </toolbars><explorerbars>" + explorerbars +
           L"</explorerbars><services>" + services + L"</services><processes>" + processes +
           L"</processes><fileinfo>" + fileinfo + L"</fileinfo></xml>";
  }

  // (number, level, source) of the reporter's own log lines.
  Errors ReporterLog() const {
    Errors lines;
    for (const auto& line : LoggedErrors()) {
      if (std::get<2>(line).rfind(L"CReporter.", 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  const std::wstring kAB = L"C:\\Svc\\a&b.exe", kPlain = L"C:\\Svc\\plain.sys", kStart = L"C:\\Run\\start.exe";
  const std::wstring kBho = L"C:\\Ext\\bho.dll", kTb = L"C:\\Ext\\tb.dll", kBar = L"C:\\Ext\\bar.dll";
  const std::wstring kOne = L"C:\\Apps\\one.exe", kLib = L"C:\\Apps\\lib.dll", kTwo = L"C:\\Apps\\two.exe";

  // The sections of SmallState().
  const std::wstring kSuspicious = L"<f x='2'/><f x='3'/><f x='4'/><f x='7'/><f x='9'/>";
  const std::wstring kServicesXml = L"<f x='1' d='Alpha &lt;svc&gt;'/><f x='2'/>";
  const std::wstring kProcesses = L"<p x='8'><m x='9'/><m x='1'/></p><p x='10'></p>";
  const std::wstring kFileInfo =
      L"<f x='1' i='C:\\Svc\\a&amp;b.exe' s='3000' h='12345' d='Something' m='Acme &amp; Co'/>"
      L"<f x='2' i='C:\\Svc\\plain.sys' s='3100' h='23456'/>"
      L"<f x='3' i='C:\\Run\\start.exe' s='3200' h='34567' d='Starter'/>"
      L"<f x='4' i='C:\\Ext\\bho.dll' s='3300' h='45678' m='Acme'/>"
      L"<f x='5' i='' s='0' h='0'/>"
      L"<f x='6' i='C:\\Ext\\tb.dll' s='0' h='0'/>"
      L"<f x='7' i='C:\\Ext\\bar.dll' s='3400' h='56789' d='Something' m='Acme'/>"
      L"<f x='8' i='C:\\Apps\\one.exe' s='3500' h='67890' d='Something' m='Acme'/>"
      L"<f x='9' i='C:\\Apps\\lib.dll' s='3000' h='78901'/>"
      L"<f x='10' i='C:\\Apps\\two.exe' s='3700' h='89012' d='Something' m='Acme'/>";

 private:
  std::wstring savedVersion_ = MWDL::gsVersion;
};

TEST_F(ReportStateXml, SmallStateWrittenWhole) {
  SmallState();
  EXPECT_EQ(Make(), Document(kSuspicious, L"<f x='3'/>", L"<f x='4'/><f x='5'/>", L"<f x='6'/>", L"<f x='7'/>",
                             kServicesXml, kProcesses, kFileInfo));
  EXPECT_TRUE(logger->lines.empty());
}

// Sizes and checksums from one digit to ten, zero and the largest checksum included, stand whole; so
// does a display name of one character.
TEST_F(ReportStateXml, NumbersOfEveryLengthAndShortNamesAreWrittenWhole) {
  AddFile(L"C:\\a.sys", 1234567, 7);
  files.AddFile(L"C:\\b.sys", std::vector<std::uint8_t>(40, 0xFF));  // the top from the 31st byte on
  AddFile(L"C:\\c.sys", 31, 0);
  for (const auto& [name, displayName] : {std::pair{L"a", L""}, {L"b", L"B"}, {L"c", L""}}) {
    Service(name, std::wstring(L"C:\\") + name + L".sys", displayName);
  }
  const std::wstring all = L"<f x='1'/><f x='2'/><f x='3'/>";
  EXPECT_EQ(Make(), Document(all, L"", L"", L"", L"", L"<f x='1'/><f x='2' d='B'/><f x='3'/>", L"",
                             L"<f x='1' i='C:\\a.sys' s='1234567' h='7'/><f x='2' i='C:\\b.sys' s='40' h='2147483647'/>"
                             L"<f x='3' i='C:\\c.sys' s='31' h='0'/>"));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ReportStateXml, NothingInspectedGivesEmptySectionsAndNoFileProgress) {
  ScriptedProgressor progressor;
  EXPECT_EQ(Make(progressor), Document(L"", L"", L"", L"", L"", L"", L"", L""));
  EXPECT_THAT(progressor.values, testing::Pointwise(testing::DoubleEq(),
                                                    std::vector<double>{5, 5, 6.96, 9.9, 12, 14.94, 19, 19, 20, 90, 91}));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ReportStateXml, FileProgressEveryTenthFileOf25) {
  std::vector<std::wstring> image;
  for (int i = 1; i <= 25; ++i) {
    image.push_back(L"C:\\Apps\\m" + std::to_wstring(i) + L".dll");
    AddFile(image.back(), 100, kChecksumInNone, L"Acme");
  }
  processes.AddProcess(100, image);
  ScriptedProgressor progressor;
  const std::wstring xml = Make(progressor);
  EXPECT_NE(xml.find(L"<f x='25' i='C:\\Apps\\m25.dll'"), std::wstring::npos);
  EXPECT_THAT(progressor.values, testing::Pointwise(testing::DoubleEq(), std::vector<double>{
                                                                             5, 5, 6.96, 9.9, 12, 14.94, 19, 19, 20,
                                                                             48, 76, 90, 91}));
}

// The cancel tests in order: the reporter's first, the detector's five, the reporter's after the
// compilation and after the meta data, the file writer's at the 10th and 20th file, the reporter's after
// the file information and after the other sections. A cancel seen by the detector or the file writer is
// seen again by the reporter's next test; then the call ends without further progress.
TEST_F(ReportStateXml, CancelAtEachTestEndsWithNothing) {
  for (int i = 1; i <= 25; ++i) {
    AddFile(L"C:\\m" + std::to_wstring(i) + L".exe", 100, kChecksumInNone, L"Acme");
    Service(L"s" + std::to_wstring(i), L"C:\\m" + std::to_wstring(i) + L".exe");
  }
  ScriptedProgressor full;
  ASSERT_FALSE(Make(full).empty());
  const std::string all = "CP" "PCPCPCPCPCP" "CP" "CP" "CPCP" "CP" "CP";
  ASSERT_EQ(full.events, all);

  for (std::size_t test = 1; test <= 12; ++test) {
    const bool seenAgain = (test >= 2 && test <= 6) || test == 9 || test == 10;
    ScriptedProgressor progressor(0, test);
    EXPECT_EQ(Make(progressor), L"") << test;
    std::size_t end = 0;
    for (std::size_t seen = 0; seen < test; ++end) seen += all[end] == 'C' ? 1 : 0;
    EXPECT_EQ(progressor.events, all.substr(0, end) + (seenAgain ? "C" : "")) << test;
  }
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ReportStateXml, PendingMessagesRunOncePerEntryAndPerModule) {
  SmallState();
  const std::size_t before = machine.desktop.DoEventsCount();
  ASSERT_FALSE(Make().empty());
  // 10 files, 5 suspicious, 2 services, 1 startup, 2 helper objects, 2 toolbars (the one without a file
  // too), 1 explorer bar, 2 modules (none for the two processes themselves).
  EXPECT_EQ(machine.desktop.DoEventsCount() - before, 25u);
}

// Without a process list the compilation ends before the list of all files: the file information cannot
// be written, and every section that refers to a file fails its lookup. Each writer logs its own error
// and leaves only its own section empty; the document still goes out.
TEST_F(ReportStateXml, FailedLookupsEmptyTheirOwnSectionsEach) {
  SmallState();
  processes.raise = true;
  EXPECT_EQ(Make(), Document(L"", L"", L"", L"", L"", L"", L"", L""));
  // No list of all files, no list of processes; every other section: no such key in the index.
  const long kNotSet = err::kObjectNotSet, kNoKey = err::kInvalidArgument;
  EXPECT_EQ(ReporterLog(), (Errors{{kNotSet, 0, L"CReporter.MakeFileInfoXML"},
                                   {kNoKey, 0, L"CReporter.MakeSuspiciousFileXML"},
                                   {kNoKey, 0, L"CReporter.MakeServicesFileXML"},
                                   {kNoKey, 0, L"CReporter.MakeStartupsXML"},
                                   {kNoKey, 0, L"CReporter.MakeBHOsXML"},
                                   {kNoKey, 0, L"CReporter.MakeToolbarsXML"},
                                   {kNoKey, 0, L"CReporter.MakeExplorerBarsXML"},
                                   {kNotSet, 0, L"CReporter.MakeProcessesXML"}}));
}

// The version data of the third file cannot be read: the file information is empty, the index holds the
// first three files, and the sections that refer only to those still stand (the startup's rule could not
// read the file either, so it is not suspicious).
TEST_F(ReportStateXml, FileInformationErrorKeepsTheFilesIndexedBeforeIt) {
  SmallState();
  versions.raiseFor.insert(qn::FoldKey(kStart));
  EXPECT_EQ(Make(), Document(L"", L"<f x='3'/>", L"", L"", L"", kServicesXml, L"", L""));
  const long kNoKey = err::kInvalidArgument;
  EXPECT_EQ(ReporterLog(), (Errors{{err::kOutOfMemory, 0, L"CReporter.MakeFileInfoXML"},
                                   {kNoKey, 0, L"CReporter.MakeSuspiciousFileXML"},
                                   {kNoKey, 0, L"CReporter.MakeBHOsXML"},
                                   {kNoKey, 0, L"CReporter.MakeToolbarsXML"},
                                   {kNoKey, 0, L"CReporter.MakeExplorerBarsXML"},
                                   {kNoKey, 0, L"CReporter.MakeProcessesXML"}}));
}

// Names compare without regard to case: a process image spelt in other letters than a service's file is
// the same file, written once under the first spelling and referred to by its one index.
TEST_F(ReportStateXml, PathsDifferingOnlyInCaseAreOneFile) {
  AddFile(L"C:\\Svc\\Agent.exe", 3000, 12345, L"Acme");
  Service(L"agent", L"C:\\Svc\\Agent.exe");
  processes.AddProcess(100, {L"c:\\svc\\AGENT.EXE"});
  EXPECT_EQ(Make(), Document(L"", L"", L"", L"", L"", L"<f x='1'/>", L"<p x='1'></p>",
                             L"<f x='1' i='C:\\Svc\\Agent.exe' s='3000' h='12345' d='Something' m='Acme'/>"));
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ReportStateXml, SentIsTheLocalTimeWithTheSystemsTimeSeparator) {
  struct Case { platform::LocalTime now; const wchar_t* separator; const wchar_t* sent; };
  for (const Case c : {Case{{2006, 3, 31, 14, 5, 59}, L":", L"2006-03-31 14:05"},
                       Case{{2006, 3, 31, 14, 5, 0}, L".", L"2006-03-31 14.05"},
                       Case{{1999, 12, 1, 0, 0, 0}, L"h", L"1999-12-01 00h00"},
                       // Any text the user set: escaped, the document stays one line of XML.
                       Case{{2006, 3, 31, 14, 5, 0}, L"<\n&", L"2006-03-31 14&lt;&#10;&amp;05"}}) {
    machine.system.SetNow(c.now);
    machine.system.SetTimeSeparator(c.separator);
    const std::wstring xml = Make();
    EXPECT_NE(xml.find(std::wstring(L"<sent>") + c.sent + L"</sent></meta>"), std::wstring::npos) << c.sent;
  }
}

}  // namespace

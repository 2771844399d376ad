// CFilenameResolver: cutting file names out of command lines, and finding them on disk with a cache.
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "inspection/FilenameResolver.h"
#include "tests/doubles/FakeMachine.h"
#include "shell/MAPI.h"

namespace {

// The in-memory file system, recording every search and able to answer a search with a length of its
// own choosing (as the real call does for a buffer that is too small).
class RecordingFiles : public platform::FakeFiles {
 public:
  std::vector<std::wstring> searchedW;
  std::vector<std::string> searchedA;
  std::vector<std::wstring> longNameQueries;
  // When set, a wide search for this name writes `forcedText` and returns `forcedLength`.
  std::wstring forcedName;
  std::wstring forcedText;
  unsigned long forcedLength = 0;
  unsigned long toldChars = 0;

  unsigned long SearchPathW(const std::wstring& fileName, unsigned long bufferChars, std::wstring& found) override {
    searchedW.push_back(fileName);
    toldChars = bufferChars;
    if (!forcedName.empty() && fileName == forcedName) {
      found = forcedText;
      return forcedLength;
    }
    return FakeFiles::SearchPathW(fileName, bufferChars, found);
  }
  unsigned long SearchPathA(const std::string& fileName, unsigned long bufferChars, std::string& found) override {
    searchedA.push_back(fileName);
    toldChars = bufferChars;
    return FakeFiles::SearchPathA(fileName, bufferChars, found);
  }
  unsigned long GetLongPathNameW(const std::wstring& path, unsigned long bufferChars, std::wstring& longPath) override {
    longNameQueries.push_back(path);
    return FakeFiles::GetLongPathNameW(path, bufferChars, longPath);
  }
  std::size_t Searches() const { return searchedW.size() + searchedA.size(); }
};

// Installs the recording file system and the NT family flags; puts the flags back afterwards.
class ResolverFullName : public ::testing::Test {
 protected:
  ResolverFullName() {
    platform::Install(platform::Services{.files = &files});
    files.SetEnv(L"SystemRoot", L"C:\\WINDOWS");
    MAPI::gbIsNT = true;
    MAPI::gbIsNT4 = false;
  }
  ~ResolverFullName() override { std::tie(MAPI::gbIsNT, MAPI::gbIsNT4) = savedFlags_; }

  std::tuple<bool, bool> savedFlags_{MAPI::gbIsNT, MAPI::gbIsNT4};
  platform::FakeMachine machine;
  RecordingFiles files;
  CFilenameResolver resolver;
};

TEST(ResolverCommandLine, CutsTheFileName) {
  const std::pair<std::wstring, std::wstring> rows[] = {  // command line, file name
      // Run-DLL forms: the DLL between the first space and the first comma.
      {L"rundll32.exe shell32.dll,Control_RunDLL desk.cpl", L"shell32.dll"}, {L"rundll32 mylib", L"mylib.dll"},
      {L"RUNDLL32", L"rundll32.exe"}, {L"rundll32.exe  shell32.dll , Entry", L"shell32.dll"},
      {L"rundll32 lib.ocx Entry", L"lib.ocx Entry"},
      {L"rundll32,x lib", L"lib.dll"},  // comma before the space
      {L"\"rundll32.exe\" advpack.dll,LaunchINFSection", L"advpack.dll"}, {L"\"RunDll32.EXE\" mylib", L"mylib.dll"},
      {L"%systemroot%\\system32\\rundll32.exe url.dll,FileProtocolHandler x", L"url.dll"},
      {L"%SystemRoot%\\System32\\RUNDLL32 mylib,Go", L"mylib.dll"},
      // ... which skip the switch cut and the quote stripping.
      {L"rundll32 C:\\a/b.dll,X", L"C:\\a/b.dll"}, {L"rundll32 \"my lib.dll\",Entry", L"\"my lib.dll\""},
      // Switches.
      {L"C:\\Tools\\a.exe /s", L"C:\\Tools\\a.exe"}, {L"C:\\Program Files/App\\app.exe", L"C:\\Program"},
      // Paths with arguments.
      {L"C:\\Program Files\\App\\app.exe -min", L"C:\\Program Files\\App\\app.exe"},
      {L"app.exe -a -b", L"app.exe -a"}, {L"C:\\Tools\\a.exe", L"C:\\Tools\\a.exe"},
      // Quoted paths.
      {L"\"C:\\Program Files\\App\\app.exe\" -x -y", L"C:\\Program Files\\App\\app.exe"},
      {L"\"C:\\Program Files\\App\\app.exe\" \"%1\"", L"C:\\Program Files\\App\\app.exe"},
      {L"\"C:\\Program Files\\App\\app.exe -x", L"C:\\Program"},  // no closing quote
      {L"\"C:\\Tools\\a.exe\"", L"C:\\Tools\\a.exe"},
      // Placeholders, removed from the third character on before the cut.
      {L"C:\\Program Files\\App\\app.exe \"%1\"", L"C:\\Program Files\\App\\app.exe"},
      {L"C:\\Program Files\\App\\app.exe\"%1\" -x", L"C:\\Program Files\\App\\app.exe"},
      {L"C:\\Program Files\\App\\app.exe%1 -x", L"C:\\Program Files\\App\\app.exe"}, {L"%1 x", L"%1"},
      // The explorer rule, case-sensitive.
      {L"explorer", L"explorer.exe"}, {L"explorer   ", L"explorer.exe"}, {L"Explorer", L"Explorer"},
      // Nothing to name.
      {L"", L""}, {L"    ", L""}, {L"\"", L""}, {L"  \"  ", L""}, {L"\"\"", L""},
  };
  CFilenameResolver resolver;
  for (const auto& [commandLine, fileName] : rows) {
    EXPECT_EQ(resolver.GetFileNameFromCommandLine(commandLine), fileName) << commandLine;
  }
}

// A name not found gives the name as rewritten for the search. A search that finds only the unexpanded
// name is cut to the length it returns; a path too long for the buffer (the real call returns the size it
// needs and writes nothing), or a length beyond what was written, counts as not found.
TEST_F(ResolverFullName, UnfoundNamesGiveTheRewrittenNameAndSearchResultsAreTrustedOnlyWithinTheBuffer) {
  files.SetEnv(L"APPS", L"D:\\Nowhere");
  const std::wstring winlogon = L"C:\\WINDOWS\\system32\\winlogon.exe", smss = L"\\System32\\smss.exe";
  const std::wstring lower = L"\\systemroot" + smss;
  // `answer` and `length`, when that is not 0, are what the search for `input` itself gives.
  struct Row {
    std::wstring input;
    std::vector<std::wstring> searched;
    std::wstring result, answer = L"";
    unsigned long length = 0;
  };
  const Row rows[] = {
      {L"\\??\\" + winlogon, {winlogon, winlogon}, winlogon},
      {L"\\SystemRoot" + smss, {L"C:\\WINDOWS" + smss, L"%SystemRoot%" + smss}, L"%SystemRoot%" + smss},
      {lower, {lower, lower}, lower},
      {L"nosuch.dll", {L"nosuch.dll", L"nosuch.dll"}, L"nosuch.dll"},
      {L"", {L"", L""}, L""},
      {L"%APPS%\\a.dll", {L"D:\\Nowhere\\a.dll", L"%APPS%\\a.dll"}, L"C:\\Lit\\a.dll", L"C:\\Lit\\a.dll#GARBAGE", 12},
      {L"C:\\deep\\x.dll", {L"C:\\deep\\x.dll", L"C:\\deep\\x.dll"}, L"C:\\deep\\x.dll", L"", 2600},
      {L"C:\\odd\\y.dll", {L"C:\\odd\\y.dll", L"C:\\odd\\y.dll"}, L"C:\\odd\\y.dll", L"C:\\odd\\y.dll", 1500},
  };
  for (const Row& row : rows) {
    resolver.ReInit();  // the cache's keys ignore case, and two rows differ only in case
    files.searchedW.clear();
    files.forcedName = row.length != 0 ? row.input : L"";
    std::tie(files.forcedText, files.forcedLength) = std::tie(row.answer, row.length);
    EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(row.input), row.result) << row.input;
    EXPECT_EQ(files.searchedW, row.searched) << row.input;
  }
  EXPECT_EQ(files.toldChars, 2000u);
}

TEST_F(ResolverFullName, FindsFilesAlongTheSearchOrder) {
  files.AddFile(L"C:\\WINDOWS\\notepad.exe", {'M', 'Z'});
  files.AddSearchFolder(L"C:\\WINDOWS");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"notepad.exe"), L"C:\\WINDOWS\\notepad.exe");
  files.AddFile(L"C:\\WINDOWS\\System32\\smss.exe", {'M', 'Z'});
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"\\SystemRoot\\System32\\smss.exe"),
            L"C:\\WINDOWS\\System32\\smss.exe");
  EXPECT_EQ(files.searchedW.size(), 2u);  // each found by its first search
}

TEST_F(ResolverFullName, CachesEveryAnswerUntilReInit) {
  files.AddFile(L"C:\\WINDOWS\\notepad.exe", {'M', 'Z'});
  files.AddSearchFolder(L"C:\\WINDOWS");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"notepad.exe"), L"C:\\WINDOWS\\notepad.exe");
  const std::size_t afterFirst = files.Searches();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"notepad.exe"), L"C:\\WINDOWS\\notepad.exe");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"NOTEPAD.EXE"), L"C:\\WINDOWS\\notepad.exe");
  EXPECT_EQ(files.Searches(), afterFirst);

  // A failed search is cached too, even once the file appears.
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"late.dll"), L"late.dll");
  files.AddFile(L"C:\\WINDOWS\\late.dll", {'M', 'Z'});
  const std::size_t afterLate = files.Searches();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"late.dll"), L"late.dll");
  EXPECT_EQ(files.Searches(), afterLate);

  resolver.ReInit();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"late.dll"), L"C:\\WINDOWS\\late.dll");
  EXPECT_GT(files.Searches(), afterLate);
}

TEST_F(ResolverFullName, The9xFamilySearchesWithAnsiNames) {
  MAPI::gbIsNT = false;
  files.AddFile(L"C:\\WINDOWS\\caf\u00e9.exe", {'M', 'Z'});
  files.AddSearchFolder(L"C:\\WINDOWS");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"caf\u00e9.exe"), L"C:\\WINDOWS\\caf\u00e9.exe");
  EXPECT_TRUE(files.searchedW.empty());
  EXPECT_EQ(files.searchedA, std::vector<std::string>{"caf\xe9.exe"});
}

// A found path is made long only after Init, only on NT after NT 4, and only where the long-name call
// knows the path.
TEST_F(ResolverFullName, LongNamesOnlyAfterInitOnNtAfterNt4AndOnlyWhereTheyAreKnown) {
  files.AddFile(L"C:\\PROGRA~1\\App\\app.exe", {'M', 'Z'});
  files.MapSearch(L"app.exe", L"C:\\PROGRA~1\\App\\app.exe");
  files.MapLongPath(L"C:\\PROGRA~1\\App\\app.exe", L"C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"app.exe"), L"C:\\PROGRA~1\\App\\app.exe");  // no Init

  MAPI::gbIsNT4 = true;
  CFilenameResolver onNt4;
  onNt4.Init();
  EXPECT_EQ(onNt4.GetFullFileNameFromShortFilename(L"app.exe"), L"C:\\PROGRA~1\\App\\app.exe");
  EXPECT_TRUE(files.longNameQueries.empty());

  MAPI::gbIsNT4 = false;
  resolver.Init();
  resolver.ReInit();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"app.exe"), L"C:\\Program Files\\App\\app.exe");
  files.MapSearch(L"ghost.exe", L"C:\\GHOST~1\\ghost.exe");  // the long-name call knows no such path
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"ghost.exe"), L"C:\\GHOST~1\\ghost.exe");
  EXPECT_EQ(files.longNameQueries,
            (std::vector<std::wstring>{L"C:\\PROGRA~1\\App\\app.exe", L"C:\\GHOST~1\\ghost.exe"}));
}

}  // namespace

// A name read from the 32-bit registry view is looked for where a 32-bit program finds it: the system
// folder is the 32-bit one, and a bare name is looked for there first. Each view has its own answers;
// without a second view (32-bit Windows) the 32-bit view's names are found as any other.
TEST_F(ResolverFullName, NamesOfThe32BitViewAreFoundWhereA32BitProgramFindsThem) {
  const std::wstring system = L"C:\\WINDOWS\\system32\\", wow64 = L"C:\\WINDOWS\\SysWOW64\\";
  for (const wchar_t* name : {L"both.dll", L"native.exe"}) files.AddFile(system + name, {'M', 'Z'});
  files.AddFile(wow64 + L"both.dll", {'M', 'Z'});
  files.AddFile(L"C:\\Apps\\app.exe", {'M', 'Z'});
  files.AddSearchFolder(system);
  // The answers: native view; 32-bit view on 64-bit Windows, on 32-bit Windows.
  struct Row { std::wstring name, native, on64, on32; };
  const Row rows[] = {
      {L"both.dll", system + L"both.dll", wow64 + L"both.dll", system + L"both.dll"},
      {L"%SystemRoot%\\SYSTEM32\\both.dll", L"C:\\WINDOWS\\SYSTEM32\\both.dll", wow64 + L"both.dll",
       L"C:\\WINDOWS\\SYSTEM32\\both.dll"},
      {L"C:\\WINDOWS\\system32\\native.exe", system + L"native.exe", system + L"native.exe",
       system + L"native.exe"},  // not in SysWOW64: not found, the name itself
      {L"C:\\Apps\\app.exe", L"C:\\Apps\\app.exe", L"C:\\Apps\\app.exe", L"C:\\Apps\\app.exe"},
  };
  for (const bool is64 : {true, false}) {
    machine.system.Set64BitWindows(is64);
    resolver.ReInit();
    for (const Row& row : rows) {
      // The native view first: its cached answer must not become the 32-bit view's.
      EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(row.name), row.native) << row.name;
      EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(row.name, platform::RegView::kWow32),
                is64 ? row.on64 : row.on32)
          << row.name << (is64 ? " on 64-bit Windows" : " on 32-bit Windows");
    }
  }
  // Each view's answers are cached until ReInit, which forgets both.
  machine.system.Set64BitWindows(true);
  resolver.ReInit();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"both.dll", platform::RegView::kWow32), wow64 + L"both.dll");
  files.Remove(wow64 + L"both.dll");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"both.dll", platform::RegView::kWow32), wow64 + L"both.dll");
  resolver.ReInit();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"both.dll", platform::RegView::kWow32), system + L"both.dll");
}

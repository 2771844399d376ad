// CFilenameResolver: cutting file names out of command lines, and finding them on disk with a cache.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspection/FilenameResolver.h"
#include "platform/FakeMachine.h"
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

// Sets the Windows-family flags for one test and puts the old values back.
class FamilyFlags {
 public:
  FamilyFlags(bool isNT, bool isNT4) : oldNT_(MAPI::gbIsNT), oldNT4_(MAPI::gbIsNT4) {
    MAPI::gbIsNT = isNT;
    MAPI::gbIsNT4 = isNT4;
  }
  ~FamilyFlags() {
    MAPI::gbIsNT = oldNT_;
    MAPI::gbIsNT4 = oldNT4_;
  }

 private:
  bool oldNT_, oldNT4_;
};

class ResolverFullName : public ::testing::Test {
 protected:
  ResolverFullName() {
    previous_ = platform::Install(platform::Services{nullptr, &files});
    files.SetEnv(L"SystemRoot", L"C:\\WINDOWS");
  }
  ~ResolverFullName() override { platform::Install(previous_); }

  platform::FakeMachine machine;
  RecordingFiles files;
  FamilyFlags flags{true, false};
  CFilenameResolver resolver;

 private:
  platform::Services previous_;
};

struct CommandLineRow {
  const wchar_t* input;
  const wchar_t* expected;
};

class ResolverCommandLine : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(ResolverCommandLine, CutsTheFileName) {
  CFilenameResolver resolver;
  EXPECT_EQ(resolver.GetFileNameFromCommandLine(GetParam().input), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ResolverCommandLine,
    ::testing::Values(
        // Run-DLL forms: the DLL between the first space and the first comma.
        CommandLineRow{L"rundll32.exe shell32.dll,Control_RunDLL desk.cpl", L"shell32.dll"},
        CommandLineRow{L"rundll32 mylib", L"mylib.dll"},
        CommandLineRow{L"RUNDLL32", L"rundll32.exe"},
        CommandLineRow{L"rundll32.exe  shell32.dll , Entry", L"shell32.dll"},
        CommandLineRow{L"rundll32 lib.ocx Entry", L"lib.ocx Entry"},
        CommandLineRow{L"rundll32,x lib", L"lib.dll"},  // comma before the space
        CommandLineRow{L"\"rundll32.exe\" advpack.dll,LaunchINFSection", L"advpack.dll"},
        CommandLineRow{L"\"RunDll32.EXE\" mylib", L"mylib.dll"},
        CommandLineRow{L"%systemroot%\\system32\\rundll32.exe url.dll,FileProtocolHandler x", L"url.dll"},
        CommandLineRow{L"%SystemRoot%\\System32\\RUNDLL32 mylib,Go", L"mylib.dll"},
        // ... which skip the switch cut and the quote stripping.
        CommandLineRow{L"rundll32 C:\\a/b.dll,X", L"C:\\a/b.dll"},
        CommandLineRow{L"rundll32 \"my lib.dll\",Entry", L"\"my lib.dll\""},
        // Switches.
        CommandLineRow{L"C:\\Tools\\a.exe /s", L"C:\\Tools\\a.exe"},
        CommandLineRow{L"C:\\Program Files/App\\app.exe", L"C:\\Program"},
        // Paths with arguments.
        CommandLineRow{L"C:\\Program Files\\App\\app.exe -min", L"C:\\Program Files\\App\\app.exe"},
        CommandLineRow{L"app.exe -a -b", L"app.exe -a"},
        CommandLineRow{L"C:\\Tools\\a.exe", L"C:\\Tools\\a.exe"},
        // Quoted paths.
        CommandLineRow{L"\"C:\\Program Files\\App\\app.exe\" -x -y", L"C:\\Program Files\\App\\app.exe"},
        CommandLineRow{L"\"C:\\Program Files\\App\\app.exe\" \"%1\"", L"C:\\Program Files\\App\\app.exe"},
        CommandLineRow{L"\"C:\\Program Files\\App\\app.exe -x", L"C:\\Program"},  // no closing quote
        CommandLineRow{L"\"C:\\Tools\\a.exe\"", L"C:\\Tools\\a.exe"},
        // Placeholders, removed from the third character on before the cut.
        CommandLineRow{L"C:\\Program Files\\App\\app.exe \"%1\"", L"C:\\Program Files\\App\\app.exe"},
        CommandLineRow{L"C:\\Program Files\\App\\app.exe\"%1\" -x", L"C:\\Program Files\\App\\app.exe"},
        CommandLineRow{L"C:\\Program Files\\App\\app.exe%1 -x", L"C:\\Program Files\\App\\app.exe"},
        CommandLineRow{L"%1 x", L"%1"},
        // The explorer rule, case-sensitive.
        CommandLineRow{L"explorer", L"explorer.exe"},
        CommandLineRow{L"explorer   ", L"explorer.exe"},
        CommandLineRow{L"Explorer", L"Explorer"},
        // Nothing to name.
        CommandLineRow{L"", L""},
        CommandLineRow{L"    ", L""},
        CommandLineRow{L"\"", L""},
        CommandLineRow{L"  \"  ", L""},
        CommandLineRow{L"\"\"", L""}));

struct NotFoundRow {
  const wchar_t* input;
  std::vector<std::wstring> searched;
  const wchar_t* result;
};

TEST_F(ResolverFullName, UnfoundNamesGiveTheRewrittenName) {
  const std::vector<NotFoundRow> rows = {
      {L"\\??\\C:\\WINDOWS\\system32\\winlogon.exe",
       {L"C:\\WINDOWS\\system32\\winlogon.exe", L"C:\\WINDOWS\\system32\\winlogon.exe"},
       L"C:\\WINDOWS\\system32\\winlogon.exe"},
      {L"\\SystemRoot\\System32\\smss.exe",
       {L"C:\\WINDOWS\\System32\\smss.exe", L"%SystemRoot%\\System32\\smss.exe"},
       L"%SystemRoot%\\System32\\smss.exe"},
      {L"\\systemroot\\System32\\smss.exe",
       {L"\\systemroot\\System32\\smss.exe", L"\\systemroot\\System32\\smss.exe"},
       L"\\systemroot\\System32\\smss.exe"},
      {L"nosuch.dll", {L"nosuch.dll", L"nosuch.dll"}, L"nosuch.dll"},
      {L"", {L"", L""}, L""},
  };
  for (const NotFoundRow& row : rows) {
    resolver.ReInit();  // the cache's keys ignore case, and two rows differ only in case
    files.searchedW.clear();
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

TEST_F(ResolverFullName, FoundOnlyUnexpandedIsCutToTheReturnedLength) {
  files.SetEnv(L"APPS", L"D:\\Nowhere");
  files.forcedName = L"%APPS%\\a.dll";
  files.forcedText = L"C:\\Lit\\a.dll#GARBAGE";
  files.forcedLength = 12;
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"%APPS%\\a.dll"), L"C:\\Lit\\a.dll");
  EXPECT_EQ(files.searchedW, (std::vector<std::wstring>{L"D:\\Nowhere\\a.dll", L"%APPS%\\a.dll"}));
}

TEST_F(ResolverFullName, PathTooLongForTheBufferCountsAsNotFound) {
  // The real call returns the size it needs and writes nothing; nothing of the buffer may be used.
  files.forcedName = L"C:\\deep\\x.dll";
  files.forcedText = L"";
  files.forcedLength = 2600;
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"C:\\deep\\x.dll"), L"C:\\deep\\x.dll");
  EXPECT_EQ(files.searchedW.size(), 2u);  // fell through to the unexpanded search

  // A length beyond what was written is not trusted either.
  files.forcedName = L"C:\\odd\\y.dll";
  files.forcedText = L"C:\\odd\\y.dll";
  files.forcedLength = 1500;
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"C:\\odd\\y.dll"), L"C:\\odd\\y.dll");
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
  FamilyFlags nine{false, false};
  files.AddFile(L"C:\\WINDOWS\\caf\u00e9.exe", {'M', 'Z'});
  files.AddSearchFolder(L"C:\\WINDOWS");
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"caf\u00e9.exe"), L"C:\\WINDOWS\\caf\u00e9.exe");
  EXPECT_TRUE(files.searchedW.empty());
  ASSERT_EQ(files.searchedA.size(), 1u);
  EXPECT_EQ(files.searchedA[0], "caf\xe9.exe");
}

TEST_F(ResolverFullName, LongNamesOnlyAfterInitOnNtAfterNt4) {
  files.AddFile(L"C:\\PROGRA~1\\App\\app.exe", {'M', 'Z'});
  files.MapSearch(L"app.exe", L"C:\\PROGRA~1\\App\\app.exe");
  files.MapLongPath(L"C:\\PROGRA~1\\App\\app.exe", L"C:\\Program Files\\App\\app.exe");

  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"app.exe"), L"C:\\PROGRA~1\\App\\app.exe");
  EXPECT_TRUE(files.longNameQueries.empty());

  {
    FamilyFlags nt4{true, true};
    CFilenameResolver onNt4;
    onNt4.Init();
    EXPECT_EQ(onNt4.GetFullFileNameFromShortFilename(L"app.exe"), L"C:\\PROGRA~1\\App\\app.exe");
    EXPECT_TRUE(files.longNameQueries.empty());
  }

  resolver.Init();
  resolver.ReInit();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"app.exe"), L"C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(files.longNameQueries.size(), 1u);
}

TEST_F(ResolverFullName, LongNameFailureKeepsTheFoundPath) {
  files.MapSearch(L"ghost.exe", L"C:\\GHOST~1\\ghost.exe");  // the long-name call knows no such path
  resolver.Init();
  EXPECT_EQ(resolver.GetFullFileNameFromShortFilename(L"ghost.exe"), L"C:\\GHOST~1\\ghost.exe");
  EXPECT_EQ(files.longNameQueries.size(), 1u);
}

}  // namespace

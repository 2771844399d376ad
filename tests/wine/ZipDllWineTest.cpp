// vbzip10.dll on the real Win32 API, loaded by name and called as the program calls it. The archives it
// writes stay in zip-archives\ of the build tree, each with a list of what it must hold (<name>.expect:
// stored name, source file, time stamp), for the check by Info-ZIP's unzip and Python's zipfile that
// CTest runs after these tests (tests/zip/check_archives.py).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/FileUtilities.h"
#include "platform/Platform.h"
#include "zip/ZipDll.h"

namespace {

// --- Callbacks: what the library told ---------------------------------------------------------------

std::vector<std::string> gPrinted;
std::vector<std::pair<std::string, std::uint32_t>> gServiced;
std::size_t gStopAtService = SIZE_MAX;  // the service callback answers 1 to this call (from 0)

std::int32_t ZIP_API PrintCallback(const char* text, std::uint32_t length) {
  gPrinted.emplace_back(text, length);
  return 0;
}
std::int32_t ZIP_API PasswordCallback(char*, std::int32_t, const char*, const char*) {
  ADD_FAILURE() << "password callback called";
  return 1;
}
std::int32_t ZIP_API CommentCallback(char* buffer) {
  ADD_FAILURE() << "comment callback called";
  buffer[0] = '\0';
  return 0;
}
std::int32_t ZIP_API ServiceCallback(const char* name, std::uint32_t size) {
  gServiced.emplace_back(name, size);
  return gServiced.size() - 1 == gStopAtService ? 1 : 0;
}

// --- Files -------------------------------------------------------------------------------------------

// zip-archives\ of the build tree, beside bin\.
std::wstring ArchiveFolder() {
  wchar_t full[MAX_PATH * 2] = {};
  const std::wstring relative = platform::Files().ProgramFolder() + L"\\..\\zip-archives";
  const std::wstring path =
      std::wstring(full, ::GetFullPathNameW(relative.c_str(), MAX_PATH * 2, full, nullptr)) + L"\\";
  ::CreateDirectoryW(path.c_str(), nullptr);
  ::CreateDirectoryW((path + L"in").c_str(), nullptr);
  ::CreateDirectoryW((path + L"in\\sub").c_str(), nullptr);
  return path;
}

std::string ToCodePage(UINT codePage, const std::wstring& wide) {
  BOOL defaulted = FALSE;
  char text[MAX_PATH * 4] = {};
  const int bytes = ::WideCharToMultiByte(codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.c_str(), -1,
                                          text, sizeof text, nullptr, codePage == CP_UTF8 ? nullptr : &defaulted);
  if (bytes <= 0 || defaulted) ADD_FAILURE() << "not in code page " << codePage << ": " << wide.size() << " chars";
  return bytes > 0 ? std::string(text, bytes - 1) : std::string();
}
std::string Ansi(const std::wstring& wide) { return ToCodePage(CP_ACP, wide); }
std::string Utf8(const std::wstring& wide) { return ToCodePage(CP_UTF8, wide); }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every input has this last-write time, in local time: 2021-06-15 13:45:30.
void SetKnownTime(const std::wstring& path) {
  SYSTEMTIME local{2021, 6, 2, 15, 13, 45, 30, 0};
  FILETIME localTime{}, utc{};
  ASSERT_TRUE(::SystemTimeToFileTime(&local, &localTime) && ::LocalFileTimeToFileTime(&localTime, &utc));
  HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const BOOL set = ::SetFileTime(file, nullptr, nullptr, &utc);
  ::CloseHandle(file);
  ASSERT_TRUE(set);
}

struct Input {
  std::wstring name;  // in the folder in\ of zip-archives
  std::vector<std::uint8_t> bytes;
  bool deflated;
};

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint64_t x = 0x9E3779B97F4A7C15u;
  for (auto& b : bytes) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return bytes;
}

std::vector<std::uint8_t> TextBytes() {
  std::string text;
  for (int i = 0; i < 4000; ++i) text += "<file path=\"C:\\WINDOWS\\system32\\drivers\\n" + std::to_string(i) + ".sys\"/>\r\n";
  return {text.begin(), text.end()};
}

std::vector<Input> Inputs(bool withLarge) {
  std::vector<Input> inputs = {{L"empty.dat", {}, false},
                               {L"three.dat", {'a', 'b', 'c'}, false},
                               {L"state.xml", TextBytes(), true},
                               {L"r\u00E9sum\u00E9.dat", TextBytes(), true}};
  if (withLarge) inputs.push_back({L"random.bin", RandomBytes(50u << 20), false});
  return inputs;
}

// --- The library, as the program calls it -----------------------------------------------------------

class ZipDllWine : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = ::LoadLibraryW(L"vbzip10.dll");
    ASSERT_NE(library_, nullptr) << ::GetLastError();
    init_ = reinterpret_cast<ZpInitFunction>(::GetProcAddress(library_, "ZpInit"));
    setOptions_ = reinterpret_cast<ZpSetOptionsFunction>(::GetProcAddress(library_, "ZpSetOptions"));
    getOptions_ = reinterpret_cast<ZpGetOptionsFunction>(::GetProcAddress(library_, "ZpGetOptions"));
    archive_ = reinterpret_cast<ZpArchiveFunction>(::GetProcAddress(library_, "ZpArchive"));
    ASSERT_TRUE(init_ && setOptions_ && getOptions_ && archive_);
    ZipCallbackTable table{PrintCallback, PasswordCallback, CommentCallback, ServiceCallback};
    ASSERT_EQ(init_(&table), 1);
    gPrinted.clear();
    gServiced.clear();
    gStopAtService = SIZE_MAX;
    folder_ = ArchiveFolder();
    ASSERT_NO_FATAL_FAILURE(WriteInputs(Inputs(false)));
  }
  void TearDown() override {
    if (library_) ::FreeLibrary(library_);
  }

  // The record as the program fills it: no directory entries, bare names, no recursion.
  static ZipOptionRecord ProgramOptions() {
    ZipOptionRecord options{};
    options.noDirectoryEntries = 1;
    options.junkFolderNames = 1;
    options.recurse = 0;
    return options;
  }

  // Writes the inputs into in\ with the known time.
  void WriteInputs(const std::vector<Input>& inputs) {
    for (const Input& input : inputs) {
      FileUtilities().WriteFileBytes(In(input.name), input.bytes);
      ASSERT_NO_FATAL_FAILURE(SetKnownTime(In(input.name)));
    }
  }
  std::wstring In(const std::wstring& name) const { return folder_ + L"in\\" + name; }

  // An archive name in the folder, with no archive or list left from an earlier run.
  std::wstring FreshArchive(const std::wstring& stem) const {
    ::DeleteFileW((folder_ + stem + L".expect").c_str());
    ::DeleteFileW((folder_ + stem + L".zip").c_str());
    return folder_ + stem + L".zip";
  }

  // ZpSetOptions with `options`, then ZpArchive with the program's name list: entry count null, entry
  // count + 1 empty.
  std::int32_t Archive(const ZipOptionRecord& options, const std::wstring& archive, const std::vector<std::wstring>& specs) {
    ZipOptionRecord copy = options;
    EXPECT_EQ(setOptions_(&copy), 1);
    std::vector<std::string> ansi;
    for (const std::wstring& spec : specs) ansi.push_back(Ansi(spec));
    ZipNameList list{};
    for (std::size_t i = 0; i < ansi.size(); ++i) list.names[i] = ansi[i].c_str();
    list.names[ansi.size() + 1] = "";
    return archive_(static_cast<std::int32_t>(specs.size()), Ansi(archive).c_str(), &list);
  }

  // The list of what `stem`.zip must hold, for the check on the Linux side.
  void Expect(const std::wstring& stem,
              const std::vector<std::pair<std::wstring, std::wstring>>& storedAndSource) const {
    std::string list;
    for (const auto& [stored, source] : storedAndSource) {
      list += Utf8(stored) + "\tin/" + Utf8(source) + "\t2021-06-15 13:45:30\n";
    }
    FileUtilities().WriteFileBytes(folder_ + stem + L".expect", {list.begin(), list.end()});
  }

  // Whether a run left no file in the folder under a temporary name.
  bool NoLeftovers() const {
    std::uint64_t size = 0;
    return !platform::Files().FindFirstSizeW(folder_ + L"zi*.tmp", size);
  }

  HMODULE library_ = nullptr;
  ZpInitFunction init_ = nullptr;
  ZpSetOptionsFunction setOptions_ = nullptr;
  ZpGetOptionsFunction getOptions_ = nullptr;
  ZpArchiveFunction archive_ = nullptr;
  std::wstring folder_;
};

TEST_F(ZipDllWine, ArchivesEachFileUnderItsBareName) {
  const std::vector<Input> inputs = Inputs(true);
  ASSERT_NO_FATAL_FAILURE(WriteInputs({inputs.back()}));  // the large one: the fixture wrote the others
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const Input& input = inputs[i];
    const std::wstring stem = L"one-" + std::to_wstring(i);
    const std::wstring archive = FreshArchive(stem);
    gPrinted.clear();
    gServiced.clear();
    ASSERT_EQ(Archive(ProgramOptions(), archive, {In(input.name)}), kZipOk) << Utf8(input.name);
    EXPECT_TRUE(Exists(archive));
    EXPECT_EQ(gServiced, (decltype(gServiced){{Ansi(input.name), static_cast<std::uint32_t>(input.bytes.size())}}));
    ASSERT_EQ(gPrinted.size(), 1u);
    const std::string adding = "  adding: " + Ansi(input.name) + (input.deflated ? " (deflated " : " (stored 0%)\n");
    EXPECT_EQ(gPrinted[0].substr(0, adding.size()), adding);
    Expect(stem, {{input.name, input.name}});
  }
  EXPECT_TRUE(NoLeftovers());
}

TEST_F(ZipDllWine, ArchivesSeveralFilesInOrderAndReplacesAnExistingArchive) {
  const std::vector<Input> inputs = Inputs(false);
  const std::wstring archive = FreshArchive(L"several");
  FileUtilities().WriteFileBytes(archive, std::vector<std::uint8_t>(100000, 'j'));
  std::vector<std::wstring> specs;
  std::vector<std::pair<std::wstring, std::wstring>> expected;
  for (const Input& input : inputs) {
    specs.push_back(In(input.name));
    expected.emplace_back(input.name, input.name);
  }
  ASSERT_EQ(Archive(ProgramOptions(), archive, specs), kZipOk);
  const std::vector<std::uint8_t> bytes = FileUtilities().ReadFileBytes(archive);
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_LT(bytes.size(), 100000u);
  EXPECT_EQ(std::memcmp(bytes.data(), "PK\x03\x04", 4), 0) << "a new archive, not appended to the old file";
  EXPECT_EQ(gServiced.size(), inputs.size());
  EXPECT_EQ(gPrinted.size(), inputs.size());
  Expect(L"several", expected);
}

TEST_F(ZipDllWine, RootFolderStartsRelativeNamesAndFolderNamesCanBeKept) {
  ASSERT_NO_FATAL_FAILURE(WriteInputs({{L"sub\\nested.txt", {'n', 'e', 's', 't'}, false}}));
  std::string root = Ansi(folder_ + L"in");
  ZipOptionRecord options = ProgramOptions();
  options.rootFolder = root.data();
  options.junkFolderNames = 0;
  FreshArchive(L"rooted");
  ASSERT_EQ(Archive(options, L"..\\rooted.zip", {L"sub\\nested.txt", L"three.dat"}), kZipOk);
  EXPECT_TRUE(Exists(folder_ + L"rooted.zip")) << "the archive name starts at the root folder too";
  Expect(L"rooted", {{L"sub/nested.txt", L"sub/nested.txt"}, {L"three.dat", L"three.dat"}});
}

TEST_F(ZipDllWine, OptionsNotImplementedGiveAnErrorAndNoArchive) {
  using R = ZipOptionRecord;
  const std::pair<const char*, std::int32_t R::*> rows[] = {
      {"encrypt", &R::encrypt},   {"grow", &R::grow},       {"delete", &R::deleteEntries},
      {"update", &R::update},     {"freshen", &R::freshen}, {"recurse", &R::recurse},
      {"volume", &R::storeVolumeLabel}, {"crlf", &R::crlfToLf}, {"lf", &R::lfToCrlf},
      {"move", &R::move},         {"comment", &R::comment}};
  const std::wstring archive = FreshArchive(L"refused");
  for (const auto& [name, field] : rows) {
    gPrinted.clear();
    ZipOptionRecord options = ProgramOptions();
    options.*field = field == &R::recurse ? 2 : 1;
    EXPECT_EQ(Archive(options, archive, {In(L"three.dat")}), kZipErrorParameters) << name;
    EXPECT_FALSE(Exists(archive)) << name;
    ASSERT_EQ(gPrinted.size(), 1u) << name;
    EXPECT_EQ(gPrinted[0].rfind("zip error: Invalid command arguments (", 0), 0u) << gPrinted[0];
  }
  EXPECT_TRUE(gServiced.empty());
  EXPECT_TRUE(NoLeftovers());
}

TEST_F(ZipDllWine, AStopFromTheServiceCallbackLeavesTheOldArchive) {
  const std::wstring archive = FreshArchive(L"stopped");
  FileUtilities().WriteFileBytes(archive, {'o', 'l', 'd'});
  gStopAtService = 1;
  EXPECT_EQ(Archive(ProgramOptions(), archive, {In(L"three.dat"), In(L"state.xml")}), kZipErrorAbort);
  EXPECT_EQ(FileUtilities().ReadFileBytes(archive), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(gServiced.size(), 2u);
  EXPECT_EQ(gPrinted, (std::vector<std::string>{"  adding: three.dat (stored 0%)\n",
                                                "zip error: Interrupted (state.xml)\n"}));
  EXPECT_TRUE(NoLeftovers());
  ::DeleteFileW(archive.c_str());
}

TEST_F(ZipDllWine, BadArgumentsAndMissingFilesGiveTheirCodes) {
  const std::wstring archive = FreshArchive(L"bad");
  const std::string name = Ansi(archive);
  ZipOptionRecord options = ProgramOptions();
  ASSERT_EQ(setOptions_(&options), 1);
  ZipNameList list{};
  EXPECT_EQ(archive_(0, name.c_str(), &list), kZipErrorNothing);
  EXPECT_EQ(archive_(1, name.c_str(), &list), kZipErrorParameters) << "a null name";
  EXPECT_EQ(archive_(kZipNameListEntries + 1, name.c_str(), &list), kZipErrorParameters);
  EXPECT_EQ(archive_(-1, name.c_str(), &list), kZipErrorParameters);
  const std::string three = Ansi(In(L"three.dat"));
  list.names[0] = three.c_str();
  EXPECT_EQ(archive_(1, nullptr, &list), kZipErrorParameters);
  EXPECT_EQ(archive_(1, "", &list), kZipErrorParameters);
  EXPECT_EQ(Archive(options, archive, {In(L"missing.dat")}), kZipErrorOpen);
  EXPECT_EQ(Archive(options, archive, {folder_ + L"in"}), kZipErrorOpen) << "a folder";
  EXPECT_EQ(Archive(options, archive, {In(L"three.dat"), In(L"sub\\..\\three.dat")}), kZipErrorParameters)
      << "one bare name twice";
  EXPECT_EQ(Archive(options, folder_ + L"no-such-folder\\bad.zip", {In(L"three.dat")}), kZipErrorCreate);
  EXPECT_FALSE(Exists(archive));
  EXPECT_TRUE(gServiced.empty());
  EXPECT_TRUE(NoLeftovers());
}

TEST_F(ZipDllWine, NullCallbacksAreTolerated) {
  EXPECT_EQ(init_(nullptr), 0);
  ZipCallbackTable none{};
  ASSERT_EQ(init_(&none), 1);
  const std::wstring archive = FreshArchive(L"silent");
  EXPECT_EQ(Archive(ProgramOptions(), archive, {In(L"three.dat")}), kZipOk);
  EXPECT_EQ(Archive(ProgramOptions(), archive, {In(L"missing.dat")}), kZipErrorOpen);
  EXPECT_TRUE(gPrinted.empty() && gServiced.empty());
  ::DeleteFileW(archive.c_str());
}

TEST_F(ZipDllWine, QuietRunsPrintOnlyErrors) {
  ZipOptionRecord options = ProgramOptions();
  options.quiet = 1;
  const std::wstring archive = FreshArchive(L"quiet");
  EXPECT_EQ(Archive(options, archive, {In(L"three.dat")}), kZipOk);
  EXPECT_TRUE(gPrinted.empty());
  EXPECT_EQ(gServiced.size(), 1u);
  EXPECT_EQ(Archive(options, archive, {In(L"missing.dat")}), kZipErrorOpen);
  EXPECT_EQ(gPrinted, std::vector<std::string>{"zip error: File not found or no read permission (" +
                                               Ansi(In(L"missing.dat")) + ")\n"});
  EXPECT_TRUE(Exists(archive)) << "a failed run leaves the earlier archive";
  ::DeleteFileW(archive.c_str());
}

TEST_F(ZipDllWine, GetOptionsGivesBackWhatWasSet) {
  std::string root = "C:\\Base";
  ZipOptionRecord options = ProgramOptions();
  options.rootFolder = root.data();
  options.quiet = 1;
  options.encryptionSupported = 1;
  options.level = '9';
  ASSERT_EQ(setOptions_(&options), 1);
  root = "changed";
  ZipOptionRecord got;
  std::memset(&got, 0x5A, sizeof got);
  got = getOptions_();
  // Encryption is not supported, whatever the caller says.
  EXPECT_EQ(std::tuple(got.noDirectoryEntries, got.junkFolderNames, got.quiet, got.level, got.encryptionSupported),
            std::tuple(1, 1, 1, '9', 0));
  EXPECT_EQ(got.date, nullptr);
  ASSERT_NE(got.rootFolder, nullptr);
  EXPECT_STREQ(got.rootFolder, "C:\\Base") << "the library keeps its own copy";
  EXPECT_EQ(setOptions_(nullptr), 0);
  EXPECT_STREQ(getOptions_().rootFolder, "C:\\Base");
}

}  // namespace

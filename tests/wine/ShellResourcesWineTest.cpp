// The shell's resources and WDLCustom.dll on the real Win32 API: the string table linked into this
// test program and into wardline.exe, wardline.exe's version data, and the customisation component.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/Logger.h"
#include "custom/CustomComponent.h"
#include "platform/Components.h"
#include "shell/MWDL.h"
#include "shell/app/Components.h"
#include "shell/Strings.h"

namespace {

struct StringEntry { int id; std::wstring_view text; };

// The table as compiled in from its one source.
const std::vector<StringEntry>& CompiledTable() {
  static const std::vector<StringEntry> table = {
#define WDL_STRING(id, text) {id, std::wstring_view(text, sizeof(text) / sizeof(wchar_t) - 1)},
#include "shell/StringTable.inc"
#undef WDL_STRING
  };
  return table;
}

// The stored text of string `id` of `module`, by LoadStringW's pointer form. `found` is false when
// the module has no such string.
std::wstring StoredString(HMODULE module, int id, bool& found) {
  const wchar_t* stored = nullptr;
  const int length = ::LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&stored), 0);
  found = length > 0 && stored != nullptr;
  return found ? std::wstring(stored, static_cast<std::size_t>(length)) : std::wstring();
}

std::wstring FolderOfThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::wstring path(buffer.data(), length);
  return path.substr(0, path.rfind(L'\\') + 1);
}

struct ModuleCloser {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using ModuleOwner = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleCloser>;

// Every string of `module` equals the compiled table, and so does LoadResString when asked.
void ExpectTheCompiledTableIn(HMODULE module, bool alsoLoadResString) {
  ASSERT_EQ(CompiledTable().size(), 34u);
  for (const StringEntry& entry : CompiledTable()) {
    bool found = false;
    EXPECT_EQ(StoredString(module, entry.id, found), entry.text) << "string " << entry.id;
    EXPECT_TRUE(found) << "string " << entry.id;
    if (alsoLoadResString) {
      EXPECT_EQ(LoadResString(entry.id), entry.text) << "string " << entry.id;
    }
  }
}

TEST(ShellStringsWine, EveryStringOfThisProgramEqualsTheCompiledTable) {
  ExpectTheCompiledTableIn(::GetModuleHandleW(nullptr), true);
}

TEST(ShellStringsWine, TheTableIsEnglishUnitedStates) {
  HRSRC block = ::FindResourceExW(nullptr, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(100 / 16 + 1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  EXPECT_NE(block, nullptr);
}

TEST(ShellStringsWine, AnUnknownIdIsEmpty) {
  bool found = true;
  StoredString(::GetModuleHandleW(nullptr), 138, found);
  EXPECT_FALSE(found);
  EXPECT_EQ(LoadResString(138), L"");
}

class ShellProgramWine : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = FolderOfThisProgram() + L"wardline.exe";
    if (::GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "wardline.exe not built here";
    module_.reset(::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(module_.get(), nullptr) << "error " << ::GetLastError();
  }

  std::wstring path_;
  ModuleOwner module_;
};

TEST_F(ShellProgramWine, ItsStringTableEqualsTheCompiledTable) { ExpectTheCompiledTableIn(module_.get(), false); }

TEST_F(ShellProgramWine, ItsVersionDataSays2000024) {
  // version.dll by name, so that the test program needs no import library for it.
  HMODULE versionDll = ::LoadLibraryW(L"version.dll");
  ASSERT_NE(versionDll, nullptr);
  ModuleOwner versionOwner(versionDll);
  auto getSize = reinterpret_cast<DWORD(WINAPI*)(LPCWSTR, LPDWORD)>(
      ::GetProcAddress(versionDll, "GetFileVersionInfoSizeW"));
  auto getInfo = reinterpret_cast<BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID)>(
      ::GetProcAddress(versionDll, "GetFileVersionInfoW"));
  auto query = reinterpret_cast<BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT)>(
      ::GetProcAddress(versionDll, "VerQueryValueW"));
  ASSERT_TRUE(getSize && getInfo && query);

  DWORD ignored = 0;
  const DWORD size = getSize(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> data(size, 0xCD);
  ASSERT_TRUE(getInfo(path_.c_str(), 0, size, data.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(query(data.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(std::tuple(fixed->dwFileVersionMS, fixed->dwFileVersionLS), std::tuple(0x00020000u, 0x00180000u));

  struct Value { const wchar_t* name; std::wstring expected; };
  for (const Value& v : {Value{L"FileVersion", L"2.00.0024"}, Value{L"ProductVersion", L"2.00.0024"},
                         Value{L"CompanyName", L"Brevant Software"}, Value{L"ProductName", L"Wardline"},
                         Value{L"OriginalFilename", L"wardline.exe"}}) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + v.name;
    wchar_t* text = nullptr;
    ASSERT_TRUE(query(data.data(), key.c_str(), reinterpret_cast<LPVOID*>(&text), &length)) << v.expected;
    EXPECT_EQ(std::wstring(text), v.expected);
  }
}

TEST_F(ShellProgramWine, ItCarriesItsManifestAndIcon) {
  EXPECT_NE(::FindResourceW(module_.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
  HRSRC group = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  // The group header: reserved, type 1, then the number of images.
  const auto* header = static_cast<const WORD*>(::LockResource(::LoadResource(module_.get(), group)));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(std::tuple(header[1], header[2]), std::tuple(1u, 3u));
}

class ShellCustomWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = FolderOfThisProgram() + L"WDLCustom.dll";
    module_.reset(::LoadLibraryW(path.c_str()));
    ASSERT_NE(module_.get(), nullptr) << "error " << ::GetLastError();
    create_ = reinterpret_cast<platform::CreateComponentFn>(
        ::GetProcAddress(module_.get(), platform::kCreateComponentExport));
    ASSERT_NE(create_, nullptr);
  }

  auto Create(const wchar_t* name) { return std::unique_ptr<platform::IComponent>(create_(name)); }

  ModuleOwner module_;
  platform::CreateComponentFn create_ = nullptr;
};

TEST_F(ShellCustomWine, CreatesItsTwoClassesAndNothingElse) {
  EXPECT_NE(Create(L"CCustomComponent"), nullptr);
  EXPECT_NE(Create(L"CCustom2"), nullptr);
  EXPECT_EQ(Create(L"CCustom3"), nullptr);
  EXPECT_EQ(Create(L""), nullptr);
  EXPECT_EQ(Create(nullptr), nullptr);
}

TEST_F(ShellCustomWine, InitLeavesAUsableLogger) {
  std::unique_ptr<platform::IComponent> component = Create(L"CCustom2");
  auto* custom = dynamic_cast<ICustom2*>(component.get());
  ASSERT_NE(custom, nullptr);

  auto logger = std::make_shared<CLogger>();
  std::shared_ptr<CLogger> variable = logger;
  custom->Init(variable);
  EXPECT_EQ(variable, logger);

  std::shared_ptr<CLogger> empty;
  custom->Init(empty);
  ASSERT_NE(empty, nullptr);
  empty->Log(0, L"custom component test", kLogInfo, L"ShellCustomWine");
}

TEST(ShellComponentsWine, BothLibrariesBesideTheProgramPassTheCheck) {
  std::wstring message = L"untouched";
  EXPECT_TRUE(MWDL::CheckComponents(message));
  EXPECT_EQ(message, L"untouched");
}

}  // namespace

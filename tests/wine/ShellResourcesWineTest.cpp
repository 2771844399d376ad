// The shell's resources and WDLCustom.dll on the real Win32 API: the string table linked into this
// test program and into wardline.exe, the version data of every file that ships, and the customisation
// component.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "common/Logger.h"
#include "custom/CustomComponent.h"
#include "platform/Components.h"
#include "platform/Platform.h"
#include "shell/MWDL.h"
#include "shell/app/Components.h"
#include "shell/Strings.h"

namespace {

struct StringEntry { int id; std::wstring_view text; };

// The table as compiled in from its one source.
const StringEntry kCompiledTable[] = {
#define WDL_STRING(id, text) {id, std::wstring_view(text, sizeof(text) / sizeof(wchar_t) - 1)},
#include "shell/StringTable.inc"
#undef WDL_STRING
};

// The stored text of string `id` of `module`, by LoadStringW's pointer form; nothing when the module has
// no such string.
std::optional<std::wstring> StoredString(HMODULE module, int id) {
  const wchar_t* stored = nullptr;
  const int length = ::LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&stored), 0);
  if (length <= 0 || stored == nullptr) return std::nullopt;
  return std::wstring(stored, static_cast<std::size_t>(length));
}

using ModuleOwner = std::unique_ptr<HINSTANCE__, decltype([](HMODULE module) { ::FreeLibrary(module); })>;

// Every string of `module` equals the compiled table, and so does LoadResString when asked.
void ExpectTheCompiledTableIn(HMODULE module, bool alsoLoadResString) {
  ASSERT_EQ(std::size(kCompiledTable), 34u);
  for (const StringEntry& entry : kCompiledTable) {
    EXPECT_EQ(StoredString(module, entry.id), std::wstring(entry.text)) << "string " << entry.id;
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
  EXPECT_EQ(StoredString(::GetModuleHandleW(nullptr), 138), std::nullopt);
  EXPECT_EQ(LoadResString(138), L"");
}

class ShellProgramWine : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = platform::Files().ProgramFolder() + L"\\wardline.exe";
    if (::GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "wardline.exe not built here";
    module_.reset(::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(module_.get(), nullptr) << "error " << ::GetLastError();
  }

  std::wstring path_;
  ModuleOwner module_;
};

TEST_F(ShellProgramWine, ItsStringTableEqualsTheCompiledTable) { ExpectTheCompiledTableIn(module_.get(), false); }

// Every file that ships carries version data of its own, as the system reads it: the maker, its own
// description and the program's version, the very version that the program's texts give (gsVersion).
TEST(ShellShippedFilesWine, EachCarriesTheMakerItsDescriptionAndTheProgramsVersion) {
  struct Case { const wchar_t* file; const wchar_t* description; };
  const Case cases[] = {{L"wardline.exe", L"Wardline anti-spyware tool"},
                        {L"qnCommon.dll", L"Shared component library"},
                        {L"WDLCustom.dll", L"Wardline customisation component"},
                        {L"vbzip10.dll", L"Zip archive library"}};
  for (const Case& c : cases) {
    const std::wstring path = std::wstring(WDL_DIST_FOLDER) + L"\\" + c.file;
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "error " << ::GetLastError();
    std::vector<unsigned char> data(size, 0xCD);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(std::tuple(fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                         fixed->dwProductVersionLS),
              std::tuple(0x00020000u, 0x00180000u, 0x00020000u, 0x00180000u));
    EXPECT_EQ(std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
                  L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)),
              MWDL::VersionText());

    std::vector<std::wstring> texts;
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"ProductVersion", L"ProductName",
                                L"OriginalFilename"}) {
      const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
      wchar_t* text = nullptr;
      const BOOL found = ::VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<LPVOID*>(&text), &length);
      texts.push_back(found && text != nullptr ? text : L"(missing)");
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Brevant Software", c.description, L"2.00.0024", L"2.00.0024",
                                                L"Wardline", c.file}));
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
    module_.reset(::LoadLibraryW((platform::Files().ProgramFolder() + L"\\WDLCustom.dll").c_str()));
    ASSERT_NE(module_.get(), nullptr) << "error " << ::GetLastError();
    create_ = reinterpret_cast<platform::CreateComponentFn>(
        ::GetProcAddress(module_.get(), platform::kCreateComponentExport));
    ASSERT_NE(create_, nullptr);
  }

  // The object, null when the library reports that the class is unknown.
  std::unique_ptr<platform::IComponent> Create(const wchar_t* name) {
    platform::IComponent* made = reinterpret_cast<platform::IComponent*>(&made);  // poisoned
    const std::int32_t result = create_(name, &made);
    EXPECT_EQ(result, made ? platform::kComponentCreated : platform::kComponentUnknownClass);
    return std::unique_ptr<platform::IComponent>(made);
  }

  ModuleOwner module_;
  platform::CreateComponentFn create_ = nullptr;
};

TEST_F(ShellCustomWine, CreatesItsTwoClassesAndNothingElse) {
  for (const auto& [name, made] : {std::pair<const wchar_t*, bool>{L"CCustomComponent", true}, {L"CCustom2", true},
                                   {L"CCustom3", false}, {L"", false}, {nullptr, false}}) {
    EXPECT_EQ(Create(name) != nullptr, made) << (name ? name : L"(null)");
  }
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

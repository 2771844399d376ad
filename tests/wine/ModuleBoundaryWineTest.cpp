// Objects, texts and errors across the boundaries of the program's modules. Each module carries its own
// copy of the C and C++ runtimes (linked in statically), and yet qnCommon.dll exports C++ classes,
// raises CErrors that the program catches, and hands texts to the program and takes texts from it. Two
// things make that hold, and are shown here on the real system: every module allocates from the one
// heap of msvcrt.dll (operator new and delete of each copy end in its malloc and free), and an
// exception's type is matched by the name of the type, which every module spells alike. This test
// program is linked as wardline.exe is and loads the very qnCommon.dll that ships.
//
// What the copies do not share: each module's count of exceptions in flight (std::uncaught_exceptions)
// counts the throws of its own code and the catches of its own code, so it is off in both modules after
// an error crosses between them. Nothing in the product asks for it.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Items.h"
#include "common/Utilities.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file from which `module` was loaded.
fs::path FileOf(HMODULE module) {
  wchar_t path[MAX_PATH * 2] = L"";
  return std::wstring(path, ::GetModuleFileNameW(module, path, MAX_PATH * 2));
}

std::size_t WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

bool EveryHeapIsSound() {
  std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  for (HANDLE heap : heaps) {
    if (!::HeapValidate(heap, 0, nullptr)) return false;
  }
  return !heaps.empty();
}

TEST(ModuleBoundaryWine, EachModuleCarriesItsOwnRuntimeAndTheSharedLibraryIsTheOneThatShips) {
  for (const wchar_t* runtime : {L"libstdc++-6.dll", L"libgcc_s_seh-1.dll", L"libwinpthread-1.dll"}) {
    EXPECT_EQ(::GetModuleHandleW(runtime), nullptr) << "loaded: " << fs::path(runtime).string();
  }
  const HMODULE common = ::GetModuleHandleW(L"qnCommon.dll");
  ASSERT_NE(common, nullptr);
  const std::string loaded = Bytes(FileOf(common));
  EXPECT_FALSE(loaded.empty());
  EXPECT_TRUE(loaded == Bytes(fs::path(WDL_DIST_FOLDER) / L"qnCommon.dll")) << "qnCommon.dll differs from dist/'s";
}

// Each call raises its error inside qnCommon.dll (the functions are that library's own, not inline
// here). The error is caught here by its type, by its base type (its description read through the
// thrower's virtual function), as the program's handlers take it (catch everything, then CurrentError
// throws it again and matches it here), and carried as the toolkit carries an error across a window
// procedure (std::exception_ptr, thrown again here).
TEST(ModuleBoundaryWine, ErrorsRaisedInTheSharedLibraryAreCaughtHereByTheirType) {
  const std::wstring missing = platform::Files().ProgramFolder() + L"\\no such file.bin";
  struct Case {
    const char* call;
    std::function<void()> raise;
    long number;
    std::wstring description;  // its start
  };
  const Case cases[] = {
      {"CFileUtilities::ReadFileBytes", [&] { FileUtilities().ReadFileBytes(missing); }, err::kFileNotFound,
       L"File not found: " + missing + L" ("},
      {"CUtilities::TextToBytes", [] { Utilities().TextToBytes(L"not (encoded)"); }, err::kInvalidArgument,
       L"The text is not a valid encoded byte string"},
      {"CItemList::Item", [] { CItemList().Item(1); }, err::kSubscriptOutOfRange, L"Subscript out of range"},
      {"CProperties::Add",
       [] {
         CProperties properties;
         properties.Add(L"state", L"first");
         properties.Add(L"STATE", L"second");
       },
       err::kDuplicateKey, L"This key is already associated with an element of this collection"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    std::tuple<long, std::wstring> byType{0, L"(not caught as CError)"};
    try {
      c.raise();
    } catch (const CError& e) {
      byType = {e.Number(), e.Description().substr(0, c.description.size())};
    } catch (...) {
      // Any other type keeps the marker, which the check below reports.
    }
    EXPECT_EQ(byType, std::tuple(c.number, c.description));

    std::string byBase = "(not caught as std::exception)";
    try {
      c.raise();
    } catch (const std::exception& e) {
      byBase = e.what();
    } catch (...) {
      // Likewise.
    }
    EXPECT_EQ(byBase, "Wardline error");

    long asTheProgramTakesIt = 0;
    try {
      c.raise();
    } catch (...) {
      asTheProgramTakesIt = CurrentError().Number();
    }
    EXPECT_EQ(asTheProgramTakesIt, c.number);

    std::exception_ptr carried;
    try {
      c.raise();
    } catch (...) {
      carried = std::current_exception();
    }
    long thrownAgain = 0;
    try {
      std::rethrow_exception(carried);
    } catch (const CError& e) {
      thrownAgain = e.Number();
    } catch (...) {
      // Likewise: the number stays 0.
    }
    EXPECT_EQ(thrownAgain, c.number);
  }
}

// Texts of 4 MB each way, many times over: made in qnCommon.dll and freed here, made here and freed in
// qnCommon.dll. A free that did not reach the heap that the text came from would keep every text (the
// process would grow by the whole 1 GB) or spoil the heap.
TEST(ModuleBoundaryWine, TextsMadeInOneModuleAreFreedInAnother) {
  const std::wstring text(2 * 1024 * 1024, L'w');
  constexpr int kRounds = 128;
  const auto round = [&] {
    // FormatString builds its result in qnCommon.dll; it dies here.
    const std::wstring made = Utilities().FormatString(L"%1", {text});
    // The item lives in qnCommon.dll's keeping (made there, with the code that destroys it); its name is
    // made here, and qnCommon.dll frees it with the item when the list goes.
    bool same = made == text;
    {
      CItemList list;
      list.Add()->Name = std::wstring(text.size(), L'n');
      same = same && list.Item(1).Name.size() == text.size();
    }
    return same;
  };
  ASSERT_TRUE(round());
  const std::size_t before = WorkingSet();
  ASSERT_GT(before, 0u);
  int sound = 0;
  for (int i = 0; i < kRounds; ++i) sound += round() ? 1 : 0;
  EXPECT_EQ(sound, kRounds);
  const std::size_t after = WorkingSet();
  EXPECT_LT(after, before + 64 * 1024 * 1024) << "grew from " << before << " to " << after << " bytes";
  EXPECT_TRUE(EveryHeapIsSound());
}

}  // namespace

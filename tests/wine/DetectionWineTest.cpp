// The detection engine on the real Win32 API: one compilation of the running Wine system while a child
// process holds three test libraries loaded, with a scratch Run value of the current user. The
// program-wide objects are made as the start-up makes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Items.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "detection/PaAnalyser.h"
#include "detection/PaDetector.h"
#include "detection/tables/KnownFileTables.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "platform/Platform.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/native/ChosenChecksum.h"
#include "tests/wine/ProgramWideObjects.h"
#include "tests/wine/RegistryScratch.h"
#include "tests/wine/helpers/ChildProcess.h"

namespace {

class RecordingProgressor : public IProgressor {
 public:
  void Progress(double Percent) override { values.push_back(Percent); }
  bool Cancelled() const override { return false; }
  std::vector<double> values;
};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A copy of the library at `library` that the loader still loads (the bytes added go after its last
// section) and whose size is in the known-good size table and checksum in the known-good checksum
// table. False when none could be made.
bool MakeKnownGoodCopy(const std::wstring& library, const std::wstring& copy) {
  std::vector<std::uint8_t> bytes;
  unsigned long error = 0;
  if (!platform::Files().ReadAll(library, bytes, 1u << 30, error) || bytes.empty()) return false;
  const auto size = std::find_if(tables::kGoodSizes32.begin(), tables::kGoodSizes32.end(), [&](std::int32_t good) {
    return static_cast<std::size_t>(good) >= bytes.size() + 31;
  });
  if (size == tables::kGoodSizes32.end()) return false;
  // The construction misses only when the checksum passes through 2^31 - 1 on the way: try another.
  for (std::int32_t checksum : tables::kGoodHashes2) {
    const std::vector<std::uint8_t> padded = detection_test::BytesWithChecksum(*size, checksum, bytes);
    if (inspection::Checksum31(padded.data(), padded.size()) == checksum) {
      return platform::Files().WriteAll(copy, padded, error);
    }
  }
  return false;
}

// The program-wide objects as the start-up makes them.
class DetectionWineTest : public ::testing::Test {
 protected:
  static std::wstring Company(const std::wstring& path) {
    std::wstring company = L"(unread)";
    MWDL::goFileInfoManager->GetFileInfo(path, company);
    return company;
  }

  std::shared_ptr<wine_test::RecordingLogger> logger = std::make_shared<wine_test::RecordingLogger>();
  wine_test::ProgramWideObjects objects{logger};
};

const std::wstring kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kRunValue = L"WdlDetectionTest";

}  // namespace

// Libraries without version data are suspicious, one with a CompanyName is only listed, and one without
// version data whose size and checksum are known good is only listed too. A Run value's file without a
// CompanyName is suspicious.
TEST_F(DetectionWineTest, CompilationOfTheRunningSystemMarksFilesWithoutCompanyUnlessKnownGood) {
  const std::wstring bin = platform::Files().ProgramFolder() + L"\\";
  const std::wstring plain = bin + L"wdl_plaindll.dll", withCompany = bin + L"wdl_testdll.dll";
  const std::wstring knownGood = bin + L"wdl_knowngood.dll";
  const std::wstring runFile = bin + L"wdl_testchild.exe";  // not running during this test
  const std::wstring child = bin + L"wdl_loadchild.exe";
  // Deleted when the test ends, after the child has let go of it.
  const std::unique_ptr<const std::wstring, void (*)(const std::wstring*)> removeCopy(
      &knownGood, [](const std::wstring* path) { ::DeleteFileW(path->c_str()); });
  ASSERT_TRUE(MakeKnownGoodCopy(plain, knownGood));
  // What the rules will see of the files, through the program's own readers.
  ASSERT_EQ(Company(plain), L"");
  ASSERT_EQ(Company(runFile), L"");
  ASSERT_EQ(Company(withCompany), L"Wardline Test Company");
  ASSERT_TRUE(CPaAnalyser().IsGoodRunningModule(knownGood));
  ASSERT_FALSE(CPaAnalyser().IsGoodRunningModule(plain));

  wine_test::ScratchKey runKey(HKEY_CURRENT_USER, kRunKey, wine_test::k64);
  ASSERT_TRUE(runKey.Set(kRunValue, L"\"" + runFile + L"\" /quiet"));

  RecordingProgressor progressor;
  SystemState state;
  const wine_test::ChildRun run = wine_test::RunChild(
      child, L"WdlDetectionChild" + std::to_wstring(::GetCurrentProcessId()),
      L"60000 \"" + plain + L"\" \"" + withCompany + L"\" \"" + knownGood + L"\"", [&] {
        // Fresh caches, as a compilation after the start-up would find them.
        MWDL::goHashier = std::make_shared<CHashier>();
        MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
        CPaDetector().CompileSystemState(progressor, 5, 19, state);
      });

  ASSERT_TRUE(run.started) << run.startError;
  ASSERT_EQ(run.readyWait, WAIT_OBJECT_0) << "the child did not load its libraries";
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(logger->lines.find(L"CPaDetector.CompileSystemState"), std::wstring::npos) << logger->lines;
  ASSERT_EQ(progressor.values.size(), 6u) << logger->lines;
  EXPECT_EQ(progressor.values.back(), 19.0);
  ASSERT_TRUE(state.oCommonFileList && state.oSuspiciousFileList && state.oProcesses && state.oStartups &&
              state.oServices);
  // The whole system was inspected, not only what the test put there.
  EXPECT_GT(state.oServices->Count(), 0u);
  EXPECT_GT(state.oProcesses->Count(), 2u);

  // The child with its three libraries, and our Run value, as the enumerators found them.
  const CItem* childItem = nullptr;
  for (const auto& process : *state.oProcesses) {
    if (SamePath(process->Name, child)) childItem = process.get();
    EXPECT_FALSE(SamePath(process->Name, runFile));
  }
  ASSERT_NE(childItem, nullptr);
  for (const std::wstring& library : {plain, withCompany, knownGood}) {
    const auto& modules = childItem->Children();
    EXPECT_TRUE(std::any_of(modules.begin(), modules.end(), [&](const auto& m) { return SamePath(m->Name, library); }))
        << library;
  }
  int runItems = 0;
  for (const auto& item : *state.oStartups) {
    if (item->Properties().Item(L"ValueName").Text() == kRunValue) {
      ++runItems;
      EXPECT_TRUE(SamePath(item->Properties().Item(L"DLL").Text(), runFile));
    }
  }
  EXPECT_EQ(runItems, 1);

  const std::pair<std::wstring, bool> suspicious[] = {
      {plain, true}, {runFile, true}, {child, true}, {withCompany, false}, {knownGood, false}};
  for (const auto& [file, isSuspicious] : suspicious) {
    EXPECT_TRUE(state.oCommonFileList->Exists(file)) << file;
    EXPECT_EQ(state.oSuspiciousFileList->Exists(file), isSuspicious) << file;
  }
}

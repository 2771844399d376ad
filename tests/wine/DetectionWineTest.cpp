// The detection engine on the real Win32 API: one compilation of the running Wine system while a child
// process holds three test libraries loaded, with a scratch Run value of the current user. The
// program-wide objects are made as the start-up makes them.
#include <windows.h>

#include <gtest/gtest.h>

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

std::wstring BinFolder() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  const std::wstring program(buffer.data(), length);
  return program.substr(0, program.rfind(L'\\') + 1);
}

std::vector<std::uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(::GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
  bytes.resize(read);
  ::CloseHandle(file);
  return bytes;
}

bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(file);
  return ok;
}

// A copy of the library at `library` that the loader still loads (the bytes added go after its last
// section) and whose size is in the known-good size table and checksum in the known-good checksum
// table. False when none could be made.
bool MakeKnownGoodCopy(const std::wstring& library, const std::wstring& copy) {
  const std::vector<std::uint8_t> bytes = ReadBytes(library);
  if (bytes.empty()) return false;
  std::size_t size = 0;
  for (std::int32_t good : tables::kGoodSizes32) {
    if (static_cast<std::size_t>(good) >= bytes.size() + 31) {
      size = static_cast<std::size_t>(good);
      break;
    }
  }
  if (size == 0) return false;
  // The construction misses only when the checksum passes through 2^31 - 1 on the way: try another.
  for (std::int32_t checksum : tables::kGoodHashes2) {
    const std::vector<std::uint8_t> padded = detection_test::BytesWithChecksum(size, checksum, bytes);
    if (inspection::Checksum31(padded.data(), padded.size()) == checksum) return WriteBytes(copy, padded);
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

bool HasModule(const CItem& process, const std::wstring& path) {
  for (const auto& module : process.Children()) {
    if (::CompareStringOrdinal(module->Name.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
  }
  return false;
}

}  // namespace

// Libraries without version data are suspicious, one with a CompanyName is only listed, and one without
// version data whose size and checksum are known good is only listed too. A Run value's file without a
// CompanyName is suspicious.
TEST_F(DetectionWineTest, CompilationOfTheRunningSystemMarksFilesWithoutCompanyUnlessKnownGood) {
  const std::wstring plain = BinFolder() + L"wdl_plaindll.dll";
  const std::wstring withCompany = BinFolder() + L"wdl_testdll.dll";
  const std::wstring knownGood = BinFolder() + L"wdl_knowngood.dll";
  const std::wstring runFile = BinFolder() + L"wdl_testchild.exe";  // not running during this test
  const std::wstring child = BinFolder() + L"wdl_loadchild.exe";
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
  ASSERT_NE(state.oCommonFileList, nullptr);
  ASSERT_NE(state.oSuspiciousFileList, nullptr);
  ASSERT_NE(state.oProcesses, nullptr);
  ASSERT_NE(state.oStartups, nullptr);
  // The whole system was inspected, not only what the test put there.
  ASSERT_NE(state.oServices, nullptr);
  EXPECT_GT(state.oServices->Count(), 0u);
  EXPECT_GT(state.oProcesses->Count(), 2u);

  // The child with its three libraries, and our Run value, as the enumerators found them.
  const CItem* childItem = nullptr;
  for (const auto& process : *state.oProcesses) {
    if (::CompareStringOrdinal(process->Name.c_str(), -1, child.c_str(), -1, TRUE) == CSTR_EQUAL) childItem = process.get();
    EXPECT_NE(::CompareStringOrdinal(process->Name.c_str(), -1, runFile.c_str(), -1, TRUE), CSTR_EQUAL);
  }
  ASSERT_NE(childItem, nullptr);
  for (const std::wstring& library : {plain, withCompany, knownGood}) {
    EXPECT_TRUE(HasModule(*childItem, library)) << library;
  }
  int runItems = 0;
  for (const auto& item : *state.oStartups) {
    if (item->Properties().Item(L"ValueName").Text() == kRunValue) {
      ++runItems;
      EXPECT_EQ(::CompareStringOrdinal(item->Properties().Item(L"DLL").Text().c_str(), -1, runFile.c_str(), -1, TRUE),
                CSTR_EQUAL);
    }
  }
  EXPECT_EQ(runItems, 1);

  const CFileNameList& common = *state.oCommonFileList;
  const CFileNameList& suspicious = *state.oSuspiciousFileList;
  for (const std::wstring& file : {plain, withCompany, knownGood, runFile, child}) {
    EXPECT_TRUE(common.Exists(file)) << file;
  }
  EXPECT_TRUE(suspicious.Exists(plain));
  EXPECT_TRUE(suspicious.Exists(runFile));
  EXPECT_TRUE(suspicious.Exists(child));
  EXPECT_FALSE(suspicious.Exists(withCompany));
  EXPECT_FALSE(suspicious.Exists(knownGood));
}

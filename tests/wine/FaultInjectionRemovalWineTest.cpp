// Faults injected into removals and restores on the real Win32 API, each showing that nothing is lost: a
// selected file that a helper holds open (without loading it) through both attempts, a record key that
// refuses writes, and a restore onto a name that exists again, with and without the restore itself
// being refused. Every file is the test's own, in a scratch folder; the only processes ended are helpers
// the test starts, by a copy of a library that nothing else loads. The renaming is called directly, so
// the program's own termination never runs here.
#include <windows.h>
#include <sddl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inspection/ProcessManager.h"
#include "removal/FRestoreFiles.h"
#include "shell/MAPI.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/RemovalFixture.h"
#include "tests/wine/UiWin32Fixture.h"

namespace {

namespace fs = std::filesystem;
using program_wine::LibraryHolder;
using removal_wine::kRecordKey;
using removal_wine::Record;
using removal_wine::SystemText;
using ::testing::HasSubstr;

// Every byte value, then a tail that names the file: the bytes a restore must give back unchanged.
std::string Bytes(const std::string& name) {
  std::string bytes = "MZ";
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes + name;
}

// Whether a line of the RecordingLogger was logged at level 0.
bool IsError(const std::wstring& line) { return line.compare(line.find(L'|'), 3, L"|0|") == 0; }

// Whether `file` can be opened for deleting or renaming now: false while a holder keeps it open.
bool Renamable(const fs::path& file) {
  HANDLE handle = ::CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

// For its lifetime, the key refuses to be opened for setting values: its entries deny KEY_SET_VALUE to
// everyone before they grant everything else, which Wine checks on every open as Windows does. The key's
// own security comes back afterwards, a check failed or not, and a give-back the key refuses fails the
// test: a key left refusing writes would fail every later removal of the run.
class DeniedValueWrites {
 public:
  DeniedValueWrites(HKEY root, const std::wstring& path) {
    if (::RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) return;
    DWORD size = 0;
    ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    PSECURITY_DESCRIPTOR denying = nullptr;
    if (size == 0 || ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS ||
        !::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                &denying, nullptr)) {
      return;
    }
    applied = ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, denying) == ERROR_SUCCESS;
    ::LocalFree(denying);
  }
  ~DeniedValueWrites() {
    if (applied) {
      EXPECT_EQ(::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data()), ERROR_SUCCESS)
          << "the key's own security did not come back";
    }
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  DeniedValueWrites(const DeniedValueWrites&) = delete;
  DeniedValueWrites& operator=(const DeniedValueWrites&) = delete;

  bool applied = false;

 private:
  HKEY key_ = nullptr;
  std::vector<BYTE> saved_;
};

class FaultInjectionRemovalWine : public removal_wine::RemovalFixture {
 protected:
  fs::path Helper() { return removal_wine::CopyOfHelper(folder, L"wdl_loadchild.exe"); }
  // The restore window's handler for `file`, as the user presses it; every box is answered OK and its
  // text kept in `said`, one a line.
  void Restore(const fs::path& file) {
    MessageBoxCloser closer;
    FRestoreFiles window;
    ASSERT_TRUE(window.Init()) << logger->All();
    window.lstFiles.SetText(file.wstring());
    ASSERT_EQ(window.lstFiles.Text(), file.wstring()) << "not listed";
    window.cmdRestoreFile_Click();
    for (const std::wstring& text : closer.texts) said += text + L"\n";
  }
  // What opening the record key for setting values gives.
  static LONG OpenForWrites() {
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey.c_str(), 0, KEY_SET_VALUE, &key);
    if (opened == ERROR_SUCCESS) ::RegCloseKey(key);
    return opened;
  }
  static std::wstring Parasite(const fs::path& file) { return MAPI::MakeParasiteFileName(file.wstring()); }

  std::wstring said;
};

// One selected file is held open without FILE_SHARE_DELETE by a helper that never loads it; another is a
// library that a second helper has loaded. The first attempt fails for the held file only, the
// termination ends the second helper but not the first, and the second attempt fails again: the held
// file stays under its name with its bytes and without a record, and the others are renamed and recorded.
TEST_F(FaultInjectionRemovalWine, AFileHeldOpenThroughBothAttemptsStaysUnderItsNameAndUnrecorded) {
  const fs::path plain = File(L"plain.dat", Bytes("plain"));
  const fs::path held = File(L"held.dll", Bytes("held"));
  const fs::path loaded = File(L"loaded.dll");
  ASSERT_TRUE(::CopyFileW((program_wine::BinFolder() / L"wdl_plaindll.dll").c_str(), loaded.c_str(), FALSE));
  const std::string loadedBytes = Text(loaded);
  LibraryHolder loader(Helper().wstring(), {loaded.wstring()}, L"WdlFaultLoader");
  LibraryHolder holder(Helper().wstring(), {L"hold:" + held.wstring()}, L"WdlFaultHolder");
  ASSERT_TRUE(loader.ready && holder.ready) << "the helpers did not start";
  ASSERT_FALSE(Renamable(held)) << "the holder does not hold the file";

  Remove({plain.wstring(), held.wstring(), loaded.wstring()});

  EXPECT_TRUE(loader.Ended(10000)) << "the helper with the library loaded still runs";
  EXPECT_FALSE(holder.Ended(0)) << "the helper that only holds the file was ended";
  EXPECT_FALSE(Renamable(held));
  // The held file stays under its name, unchanged and unrecorded; the others are renamed and recorded.
  EXPECT_EQ(StandingOf(held), (Standing{Bytes("held"), kNoFile, kNoRecord}));
  EXPECT_EQ(StandingOf(plain), Removed(plain, Bytes("plain")));
  EXPECT_EQ(StandingOf(loaded), Removed(loaded, loadedBytes));

  // The log: the failure at the first attempt with the name encoded, the count, the helper ended, the
  // failure at the second attempt with the name encoded.
  const std::wstring failed = L"CProcessManager.RenameFileNT|5|0|Failed to rename file '" + held.wstring() + L"', (" +
                              std::to_wstring(Bytes("held").size()) + L", ";
  const std::wstring reason = L"). " + SystemText(ERROR_SHARING_VIOLATION);
  const std::wstring count = L"CProcessManager.RenameParasiteFilesEx|5|0|FilesToPostDelete.Count=1";
  const std::wstring ended = L"CProcessManager.MyTerminateProcess|5|0|Process for file '" +
                             std::to_wstring(loader.Id()) + L"' terminated successfully. ";
  std::vector<std::wstring> story;
  for (const std::wstring& line : logger->lines) {
    if (line.starts_with(failed) && line.ends_with(reason)) story.push_back(L"failed");
    if (line.starts_with(L"CProcessManager.RenameParasiteFileNT|5|0|Encoded file name: ")) story.push_back(L"encoded");
    if (line == count || line == ended) story.push_back(line);
  }
  EXPECT_EQ(story, (std::vector<std::wstring>{L"failed", L"encoded", count, ended, L"failed", L"encoded"}))
      << logger->All();
  EXPECT_EQ(std::count_if(logger->lines.begin(), logger->lines.end(), IsError), 0) << logger->All();
}

// The record key refuses writes while a file is removed: the file is renamed all the same, its two names
// stand in the log at level 0, and the file recorded before can still be restored, byte for byte.
TEST_F(FaultInjectionRemovalWine, ARecordThatCannotBeWrittenLeavesBothNamesInTheLogAndTheRestoreWorking) {
  const fs::path earlier = File(L"earlier.dll", Bytes("earlier"));
  const fs::path later = File(L"later.dll", Bytes("later"));
  Remove({earlier.wstring()});
  ASSERT_EQ(Record(earlier.wstring()), earlier.wstring()) << logger->All();
  {
    DeniedValueWrites denied(HKEY_CURRENT_USER, kRecordKey);
    ASSERT_TRUE(denied.applied);
    ASSERT_EQ(OpenForWrites(), ERROR_ACCESS_DENIED) << "the key still takes writes";
    logger->lines.clear();

    Remove({later.wstring()});

    EXPECT_EQ(StandingOf(later), (Standing{kNoFile, Bytes("later"), kNoRecord}));
    EXPECT_TRUE(logger->Has(L"CProcessManager.RenameParasiteFile|0|0|Renamed file not recorded under Removed Files: '" +
                            later.wstring() + L"' is now '" + Parasite(later) +
                            L"'. Rename it back by hand to restore it."))
        << logger->All();

    ASSERT_NO_FATAL_FAILURE(Restore(earlier));
    EXPECT_THAT(said, HasSubstr(L"Program '" + earlier.wstring() + L"' is restored successfully."));
    EXPECT_EQ(Text(earlier), Bytes("earlier"));
    EXPECT_FALSE(fs::exists(Parasite(earlier)));
  }
  ASSERT_EQ(OpenForWrites(), ERROR_SUCCESS) << "the key's own security did not come back";
  EXPECT_TRUE(::MoveFileW(Parasite(later).c_str(), later.c_str()));  // by hand, as the log says
  EXPECT_EQ(Text(later), Bytes("later"));
}

// A file comes back at the former name of a removed one: the restore replaces it (read-only and hidden as
// it is) with the removed file, byte for byte, which keeps the archive attribute only.
TEST_F(FaultInjectionRemovalWine, RestoringOntoANameThatExistsAgainReplacesItWithTheRemovedBytes) {
  const fs::path file = File(L"returned.dll", Bytes("removed"));
  Remove({file.wstring()});
  ASSERT_EQ(Record(file.wstring()), file.wstring()) << logger->All();
  std::ofstream(file, std::ios::binary) << "MZ a newer file at the same name";
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  ASSERT_NO_FATAL_FAILURE(Restore(file));

  EXPECT_THAT(said, HasSubstr(L"Program '" + file.wstring() + L"' is restored successfully."));
  EXPECT_EQ(StandingOf(file), (Standing{Bytes("removed"), kNoFile, kNoRecord}));
  EXPECT_EQ(::GetFileAttributesW(file.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

// The same restore refused, because a helper holds the removed file open: both files stay as they were,
// the one at the former name included, and the record stays for a later try.
TEST_F(FaultInjectionRemovalWine, ARefusedRestoreOntoANameThatExistsAgainLeavesBothFiles) {
  const fs::path file = File(L"returned.dll", Bytes("removed"));
  Remove({file.wstring()});
  ASSERT_EQ(Record(file.wstring()), file.wstring()) << logger->All();
  std::ofstream(file, std::ios::binary) << "MZ a newer file at the same name";
  LibraryHolder holder(Helper().wstring(), {L"hold:" + Parasite(file)}, L"WdlFaultRestore");
  ASSERT_TRUE(holder.ready) << "the helper did not start";

  ASSERT_NO_FATAL_FAILURE(Restore(file));

  EXPECT_THAT(said, HasSubstr(L"Cannot restore '" + file.wstring() + L"'. " + SystemText(ERROR_SHARING_VIOLATION)));
  EXPECT_EQ(StandingOf(file), (Standing{"MZ a newer file at the same name", Bytes("removed"), file.wstring()}));
  std::vector<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().wstring());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"parasite_returned.dll.parasite", L"returned.dll", L"wdl_loadchild.exe"}))
      << "a file was left beside them";
}

}  // namespace

// Faults injected into removals and restores on the real Win32 API, each showing that nothing is lost: a
// selected file that a helper holds open (without loading it) through both attempts, a record key that
// refuses writes, and a restore onto a name that exists again, with and without the restore itself
// being refused. Every file is the test's own, in a scratch folder; the only processes ended are helpers
// the test starts, by a copy of a library that nothing else loads. The renaming is called directly, so
// the program's own termination never runs here.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

// Every byte value, then a tail that names the file: the bytes a restore must give back unchanged.
std::string Bytes(const std::string& name) {
  std::string bytes = "MZ";
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes + name;
}

// The system's text for a Win32 error code, without its line break.
std::wstring SystemText(DWORD code) {
  wchar_t text[512] = {};
  ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
  std::wstring reason = text;
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' ')) {
    reason.pop_back();
  }
  return reason;
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

// For its lifetime, the key refuses to be opened for setting values: an entry that denies KEY_SET_VALUE
// to everyone goes before the key's own entries, which Wine checks on every open as Windows does. The
// key's own security comes back afterwards.
class DeniedValueWrites {
 public:
  DeniedValueWrites(HKEY root, const std::wstring& path) {
    if (::RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) return;
    DWORD size = 0;
    ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    if (size == 0 || ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS) {
      return;
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL own = nullptr;
    ::GetSecurityDescriptorDacl(saved_.data(), &present, &own, &defaulted);
    // No list of entries at all lets everyone in: then everything but the denied right stays allowed.
    EXPLICIT_ACCESSW entries[2] = {};
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone_)) return;
    for (EXPLICIT_ACCESSW& entry : entries) {
      entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
      entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
      entry.Trustee.ptstrName = static_cast<LPWSTR>(everyone_);
    }
    entries[0].grfAccessPermissions = KEY_SET_VALUE;
    entries[0].grfAccessMode = DENY_ACCESS;
    entries[1].grfAccessPermissions = KEY_ALL_ACCESS;
    entries[1].grfAccessMode = GRANT_ACCESS;
    const bool open = !present || own == nullptr;
    if (::SetEntriesInAclW(open ? 2 : 1, entries, open ? nullptr : own, &denying_) != ERROR_SUCCESS) return;
    SECURITY_DESCRIPTOR descriptor{};
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, denying_, FALSE);
    applied = ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
  }
  ~DeniedValueWrites() {
    if (applied) ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
    if (denying_ != nullptr) ::LocalFree(denying_);
    if (everyone_ != nullptr) ::FreeSid(everyone_);
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  DeniedValueWrites(const DeniedValueWrites&) = delete;
  DeniedValueWrites& operator=(const DeniedValueWrites&) = delete;

  bool applied = false;

 private:
  HKEY key_ = nullptr;
  std::vector<BYTE> saved_;
  PSID everyone_ = nullptr;
  PACL denying_ = nullptr;
};

class FaultInjectionRemovalWine : public removal_wine::RemovalFixture {
 protected:
  // A copy of the helper program in the scratch folder, so that no process of the build is involved.
  fs::path Helper() {
    const fs::path helper = folder / L"wdl_loadchild.exe";
    if (!fs::exists(helper)) fs::copy_file(program_wine::BinFolder() / L"wdl_loadchild.exe", helper);
    return helper;
  }
  // The restore window's handler for `file`, as the user presses it; every box is answered OK and its
  // text kept in `said`.
  void Restore(const fs::path& file, std::wstring& said) {
    MessageBoxCloser closer;
    FRestoreFiles window;
    ASSERT_TRUE(window.Init()) << logger->All();
    window.lstFiles.SetText(file.wstring());
    ASSERT_EQ(window.lstFiles.Text(), file.wstring()) << "not listed";
    window.cmdRestoreFile_Click();
    for (const std::wstring& text : closer.texts) said += text + L"\n";
  }
  static std::wstring Parasite(const fs::path& file) { return MAPI::MakeParasiteFileName(file.wstring()); }
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

  CProcessManager().RenameParasiteFilesEx(Set({plain.wstring(), held.wstring(), loaded.wstring()}));

  EXPECT_TRUE(loader.Ended(10000)) << "the helper with the library loaded still runs";
  EXPECT_FALSE(holder.Ended(0)) << "the helper that only holds the file was ended";
  EXPECT_FALSE(Renamable(held));
  // The held file: under its name, unchanged, no parasite and no record.
  EXPECT_EQ(Text(held), Bytes("held"));
  EXPECT_FALSE(fs::exists(Parasite(held)));
  EXPECT_EQ(Record(held.wstring()), L"(none)");
  // The others: renamed with their bytes and recorded.
  EXPECT_EQ(Text(Parasite(plain)), Bytes("plain"));
  EXPECT_EQ(Text(Parasite(loaded)), loadedBytes);
  for (const fs::path& file : {plain, loaded}) {
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(Record(file.wstring()), file.wstring());
  }

  // The log: the failure at the first attempt, the count, the helper ended, the failure at the second.
  const std::wstring failed = L"CProcessManager.RenameFileNT|5|0|Failed to rename file '" + held.wstring() + L"', (" +
                              std::to_wstring(Bytes("held").size()) + L", ";
  const std::wstring reason = L"). " + SystemText(ERROR_SHARING_VIOLATION);
  std::vector<std::size_t> failures, encoded;
  for (std::size_t i = 0; i < logger->lines.size(); ++i) {
    const std::wstring& line = logger->lines[i];
    if (line.rfind(failed, 0) == 0 && line.size() > reason.size() &&
        line.compare(line.size() - reason.size(), reason.size(), reason) == 0) {
      failures.push_back(i);
    }
    if (line.rfind(L"CProcessManager.RenameParasiteFileNT|5|0|Encoded file name: ", 0) == 0) encoded.push_back(i);
  }
  const auto at = [&](const std::wstring& line) {
    return static_cast<std::size_t>(std::find(logger->lines.begin(), logger->lines.end(), line) - logger->lines.begin());
  };
  const std::size_t count = at(L"CProcessManager.RenameParasiteFilesEx|5|0|FilesToPostDelete.Count=1");
  const std::size_t ended = at(L"CProcessManager.MyTerminateProcess|5|0|Process for file '" +
                               std::to_wstring(loader.Id()) + L"' terminated successfully. ");
  ASSERT_EQ(failures.size(), 2u) << logger->All();
  EXPECT_EQ(encoded.size(), 2u) << logger->All();
  EXPECT_LT(failures[0], count) << logger->All();
  EXPECT_LT(count, ended) << logger->All();
  EXPECT_LT(ended, failures[1]) << logger->All();
  EXPECT_LT(failures[1], logger->lines.size());
  EXPECT_EQ(std::count_if(logger->lines.begin(), logger->lines.end(), IsError), 0) << logger->All();
}

// The record key refuses writes while a file is removed: the file is renamed all the same, its two names
// stand in the log at level 0, and the file recorded before can still be restored, byte for byte.
TEST_F(FaultInjectionRemovalWine, ARecordThatCannotBeWrittenLeavesBothNamesInTheLogAndTheRestoreWorking) {
  const fs::path earlier = File(L"earlier.dll", Bytes("earlier"));
  const fs::path later = File(L"later.dll", Bytes("later"));
  CProcessManager().RenameParasiteFilesEx(Set({earlier.wstring()}));
  ASSERT_EQ(Record(earlier.wstring()), earlier.wstring()) << logger->All();
  {
    DeniedValueWrites denied(HKEY_CURRENT_USER, kRecordKey);
    ASSERT_TRUE(denied.applied);
    HKEY key = nullptr;
    const LONG refused = ::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey.c_str(), 0, KEY_SET_VALUE, &key);
    if (refused == ERROR_SUCCESS) ::RegCloseKey(key);
    ASSERT_EQ(refused, ERROR_ACCESS_DENIED) << "the key still takes writes";
    logger->lines.clear();

    CProcessManager().RenameParasiteFilesEx(Set({later.wstring()}));

    EXPECT_FALSE(fs::exists(later));
    EXPECT_EQ(Text(Parasite(later)), Bytes("later"));
    EXPECT_EQ(Record(later.wstring()), L"(none)");
    EXPECT_TRUE(logger->Has(L"CProcessManager.RenameParasiteFile|0|0|Renamed file not recorded under Removed Files: '" +
                            later.wstring() + L"' is now '" + Parasite(later) +
                            L"'. Rename it back by hand to restore it."))
        << logger->All();

    std::wstring said;
    ASSERT_NO_FATAL_FAILURE(Restore(earlier, said));
    EXPECT_NE(said.find(L"Program '" + earlier.wstring() + L"' is restored successfully."), std::wstring::npos)
        << std::string(said.begin(), said.end());
    EXPECT_EQ(Text(earlier), Bytes("earlier"));
    EXPECT_FALSE(fs::exists(Parasite(earlier)));
  }
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS)
      << "the key's own security did not come back";
  ::RegCloseKey(key);
  EXPECT_TRUE(::MoveFileW(Parasite(later).c_str(), later.c_str()));  // by hand, as the log says
  EXPECT_EQ(Text(later), Bytes("later"));
}

// A file comes back at the former name of a removed one: the restore replaces it (read-only and hidden as
// it is) with the removed file, byte for byte, which keeps the archive attribute only.
TEST_F(FaultInjectionRemovalWine, RestoringOntoANameThatExistsAgainReplacesItWithTheRemovedBytes) {
  const fs::path file = File(L"returned.dll", Bytes("removed"));
  CProcessManager().RenameParasiteFilesEx(Set({file.wstring()}));
  ASSERT_EQ(Record(file.wstring()), file.wstring()) << logger->All();
  std::ofstream(file, std::ios::binary) << "MZ a newer file at the same name";
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  std::wstring said;
  ASSERT_NO_FATAL_FAILURE(Restore(file, said));

  EXPECT_NE(said.find(L"Program '" + file.wstring() + L"' is restored successfully."), std::wstring::npos)
      << std::string(said.begin(), said.end());
  EXPECT_EQ(Text(file), Bytes("removed"));
  EXPECT_EQ(::GetFileAttributesW(file.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_FALSE(fs::exists(Parasite(file)));
  EXPECT_EQ(Record(file.wstring()), L"(none)");
}

// The same restore refused, because a helper holds the removed file open: both files stay as they were,
// the one at the former name included, and the record stays for a later try.
TEST_F(FaultInjectionRemovalWine, ARefusedRestoreOntoANameThatExistsAgainLeavesBothFiles) {
  const fs::path file = File(L"returned.dll", Bytes("removed"));
  CProcessManager().RenameParasiteFilesEx(Set({file.wstring()}));
  ASSERT_EQ(Record(file.wstring()), file.wstring()) << logger->All();
  std::ofstream(file, std::ios::binary) << "MZ a newer file at the same name";
  LibraryHolder holder(Helper().wstring(), {L"hold:" + Parasite(file)}, L"WdlFaultRestore");
  ASSERT_TRUE(holder.ready) << "the helper did not start";

  std::wstring said;
  ASSERT_NO_FATAL_FAILURE(Restore(file, said));

  EXPECT_NE(said.find(L"Cannot restore '" + file.wstring() + L"'. " + SystemText(ERROR_SHARING_VIOLATION)),
            std::wstring::npos)
      << std::string(said.begin(), said.end());
  EXPECT_EQ(Text(file), "MZ a newer file at the same name");
  EXPECT_EQ(Text(Parasite(file)), Bytes("removed"));
  EXPECT_EQ(Record(file.wstring()), file.wstring());
  std::vector<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().wstring());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"parasite_returned.dll.parasite", L"returned.dll", L"wdl_loadchild.exe"}))
      << "a file was left beside them";
}

}  // namespace

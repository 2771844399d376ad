#pragma once
// What the Wine tests of the renaming share: a scratch folder of the test's own, a logger that keeps its
// lines, the Removed Files record read and cleaned by value, copies of the helper programs, and a fixture
// that sets the program-wide objects the renaming uses. Every file a test renames is its own, in its
// scratch folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Logger.h"
#include "inspection/Hashier.h"
#include "inspection/ProcessManager.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/wine/ProgramUnderTest.h"
#include "tests/wine/RegistryScratch.h"

namespace removal_wine {

namespace fs = std::filesystem;

inline const std::wstring kRecordKey = CProcessManager::kRemovedFilesKey;
inline constexpr wchar_t kNoRecord[] = L"(none)";

// Keeps each line as "source|level|number|message".
class RecordingLogger : public CLogger {
 public:
  void Log(long number, const std::wstring& message, int level, const std::wstring& source) override {
    lines.push_back(source + L"|" + std::to_wstring(level) + L"|" + std::to_wstring(number) + L"|" + message);
  }
  bool Has(const std::wstring& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  std::wstring All() const {
    std::wstring all;
    for (const auto& line : lines) all += line + L"\n";
    return all;
  }
  std::vector<std::wstring> lines;
};

inline fs::path ThisProgram() {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  return std::wstring(buffer.data(), ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
}

// The data of the record's value `name`; kNoRecord when there is no such text.
inline std::wstring Record(const std::wstring& name) {
  wchar_t data[1024] = L"\x2603poison";
  DWORD bytes = sizeof data;
  if (::RegGetValueW(HKEY_CURRENT_USER, kRecordKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &bytes) !=
      ERROR_SUCCESS) {
    return kNoRecord;
  }
  return data;
}

// The system's text for a Win32 error code, without its line break.
inline std::wstring SystemText(DWORD code) {
  wchar_t text[512] = {};
  ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
  std::wstring reason = text;
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' ')) {
    reason.pop_back();
  }
  return reason;
}

// A copy in `folder` of the helper program or library `name` of the build, so that no file of the build
// is involved when a test ends the processes that have a library loaded.
inline fs::path CopyOfHelper(const fs::path& folder, const std::wstring& name) {
  const fs::path copy = folder / name;
  if (!fs::exists(copy)) fs::copy_file(program_wine::BinFolder() / name, copy);
  return copy;
}

inline void DeleteRecord(const std::wstring& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  ::RegDeleteValueW(key, name.c_str());
  ::RegCloseKey(key);
}

// A folder of the test's own in the temporary folder, empty at the start and removed at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& prefix = L"wdl_removal_") {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path = fs::path(temp) / (prefix + std::to_wstring(::GetCurrentProcessId()));
    Remove();
    fs::create_directories(path);
  }
  ~ScratchFolder() { Remove(); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  fs::path path;

 private:
  void Remove() {
    std::error_code ignored;
    if (!fs::exists(path, ignored)) return;
    for (const auto& entry : fs::directory_iterator(path, ignored)) {
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(path, ignored);
  }
};

// A scratch folder, the program-wide objects the renaming uses, and the records of the test's files:
// deleted before and after, the record key itself too when the test made it.
class RemovalFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    MWDL::goLogger = logger;
    MWDL::goHashier = std::make_shared<CHashier>();
    MAPI::gbIsNT = true;
  }
  void TearDown() override {
    for (const std::wstring& name : records_) DeleteRecord(name);
    recordKey_.reset();
    std::tie(MWDL::goLogger, MWDL::goHashier, MAPI::gbIsNT) = saved_;
  }
  // Where a file of the test stands: its bytes at its name and at its parasite name (kNoFile where there
  // is none), and its record (kNoRecord).
  using Standing = std::tuple<std::string, std::string, std::wstring>;
  static constexpr char kText[] = "MZ wardline test";
  static constexpr char kNoFile[] = "(no file)";
  static constexpr const auto& kNoRecord = removal_wine::kNoRecord;

  // A file of the test holding `text`; its record, should a renaming write one, goes when the test ends.
  fs::path File(const std::wstring& name, const std::string& text = kText) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary) << text;
    records_.push_back(path.wstring());
    DeleteRecord(path.wstring());
    return path;
  }
  static CProcessManager::CFileSet Set(const std::vector<std::wstring>& paths) {
    CProcessManager::CFileSet set;
    for (const auto& path : paths) set.Add(path, L"_" + path);
    return set;
  }
  // Removes `paths` as the removal does.
  static void Remove(const std::vector<std::wstring>& paths) { CProcessManager().RenameParasiteFilesEx(Set(paths)); }
  static std::string Text(const fs::path& path) { return fs::exists(path) ? program_wine::ReadAll(path) : kNoFile; }
  // `parasite` names the parasite file; by default the name the removal gives `file`.
  static Standing StandingOf(const fs::path& file, const fs::path& parasite = {}) {
    return {Text(file), Text(parasite.empty() ? fs::path(MAPI::MakeParasiteFileName(file.wstring())) : parasite),
            Record(file.wstring())};
  }
  // A file removed with `bytes`: gone from its name, at its parasite name, recorded.
  static Standing Removed(const fs::path& file, const std::string& bytes = kText) {
    return {kNoFile, bytes, file.wstring()};
  }

  ScratchFolder scratch;
  const fs::path& folder = scratch.path;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();

 private:
  std::unique_ptr<wine_test::ScratchKey> recordKey_ =
      std::make_unique<wine_test::ScratchKey>(HKEY_CURRENT_USER, kRecordKey, wine_test::k64);
  std::vector<std::wstring> records_;
  std::tuple<std::shared_ptr<CLogger>, std::shared_ptr<CHashier>, bool> saved_{MWDL::goLogger, MWDL::goHashier,
                                                                               MAPI::gbIsNT};
};

}  // namespace removal_wine

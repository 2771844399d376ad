#pragma once
// What the Wine tests of the renaming share: a scratch folder of the test's own, a logger that keeps its
// lines, the Removed Files record read and cleaned by value, and a fixture that sets the program-wide
// objects the renaming uses. Every file a test renames is its own, in its scratch folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/Logger.h"
#include "inspection/Hashier.h"
#include "inspection/ProcessManager.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/wine/RegistryScratch.h"

namespace removal_wine {

namespace fs = std::filesystem;

inline const std::wstring kRecordKey = CProcessManager::kRemovedFilesKey;

// Keeps each line as "source|level|number|message".
class RecordingLogger : public CLogger {
 public:
  void Log(long number, const std::wstring& message, int level, const std::wstring& source) override {
    lines.push_back(source + L"|" + std::to_wstring(level) + L"|" + std::to_wstring(number) + L"|" + message);
  }
  bool Has(const std::wstring& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  std::size_t Count(const std::wstring& line) const {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
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

// The data of the record's value `name`; "(none)" when there is no such text.
inline std::wstring Record(const std::wstring& name) {
  wchar_t data[1024] = L"\x2603poison";
  DWORD bytes = sizeof data;
  if (::RegGetValueW(HKEY_CURRENT_USER, kRecordKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &bytes) !=
      ERROR_SUCCESS) {
    return L"(none)";
  }
  return data;
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
  // A file of the test holding `text`; its record, should a renaming write one, goes when the test ends.
  fs::path File(const std::wstring& name, const std::string& text = "MZ wardline test") {
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
  static std::string Text(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
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

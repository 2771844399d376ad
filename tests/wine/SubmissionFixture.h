#pragma once
// What the Wine tests of the submission client share: sends to the local endpoint with the answer it is
// told to give, and the files those sends leave in the temporary folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/Items.h"
#include "platform/Platform.h"
#include "report/CL.h"
#include "tests/wine/Endpoint.h"

namespace wine_test {

// The files that sends add to the temporary folder (the request file and the zip of each) from the
// moment it is made; they go when it does.
class NewTempFiles {
 public:
  NewTempFiles() : before_(All()) {}
  ~NewTempFiles() {
    for (const fs::path& file : Added()) ::DeleteFileW(file.c_str());
  }
  NewTempFiles(const NewTempFiles&) = delete;
  NewTempFiles& operator=(const NewTempFiles&) = delete;

  std::vector<fs::path> Added() const {
    std::vector<fs::path> added;
    for (const fs::path& file : All()) {
      if (before_.count(file) == 0) added.push_back(file);
    }
    return added;
  }

 private:
  static std::set<fs::path> All() {
    std::set<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(platform::Files().TempFolder()))) {
      if (entry.is_regular_file()) files.insert(entry.path());
    }
    return files;
  }
  std::set<fs::path> before_;
};

// Each test starts with the endpoint's records cleared and the proxy setting pointing at it; what its
// sends leave in the temporary folder goes when it ends.
class SubmissionFixture : public ::testing::Test {
 protected:
  void SetUp() override { wine_test::ClearRecords(); }
  // What this test's sends left in the temporary folder.
  std::vector<fs::path> NewTempFiles() const { return temp_.Added(); }
  bool Send(const std::wstring& category, const CProperties& values, const std::string& answer) {
    wine_test::SetAnswer(answer);
    cause = L"keep";
    return CL().Do1(category, values, cause);
  }
  static CProperties Feedback() {
    CProperties values;
    values.Add(L"reason", std::wstring(L"Too slow\r\n+ 100% & more \u00e9\u4e2d"));
    values.Add(L"log", std::wstring(L"line 1\r\nline 2 \\ /\r\n"));
    return values;
  }
  // What the endpoint records of one send of Feedback() under `subject`, taken whole by the vendor's tool.
  static std::vector<Arrival> FeedbackArrived(const std::string& subject) {
    return {{"ok", subject,
             {{"reason", "Too slow\r\n+ 100% & more \xC3\xA9\xE4\xB8\xAD"}, {"log", "line 1\r\nline 2 \\ /\r\n"}}}};
  }

  std::wstring cause;

 private:
  wine_test::NewTempFiles temp_;
  ProxySetting proxy_{EndpointPort()};
};

}  // namespace wine_test

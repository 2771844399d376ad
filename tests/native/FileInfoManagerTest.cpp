// CFileInfoManager: cached existence and version strings of files.
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "inspection/FileInfoManager.h"
#include "tests/doubles/FakeMachine.h"

namespace {

class FileInfoCache : public ::testing::Test {
 protected:
  platform::FakeMachine machine;
  CFileInfoManager manager;

  // Company and description, with both outputs poisoned first.
  std::pair<std::wstring, std::wstring> Info(const std::wstring& path) {
    std::wstring company = L"#poison#", description = L"#poison#";
    manager.GetFileInfo(path, company, &description);
    return {company, description};
  }
};

using Strings = std::pair<std::wstring, std::wstring>;

TEST_F(FileInfoCache, StringsLoseTheirSpacesButNotTabsAndMissingOnesAreEmpty) {
  machine.versionInfo.Set(L"C:\\a.dll", {{L"CompanyName", L"  Acme Corp  "}, {L"FileDescription", L" \tTool\t "}});
  machine.versionInfo.Set(L"C:\\desc.dll", {{L"FileDescription", L"Only a description"}});
  machine.versionInfo.Set(L"C:\\product.dll", {{L"ProductName", L"Product"}});
  EXPECT_EQ(Info(L"C:\\a.dll"), Strings(L"Acme Corp", L"\tTool\t"));
  EXPECT_EQ(Info(L"C:\\desc.dll"), Strings(L"", L"Only a description"));
  EXPECT_EQ(Info(L"C:\\product.dll"), Strings(L"", L""));
  EXPECT_EQ(Info(L"C:\\noversion.dll"), Strings(L"", L""));
}

TEST_F(FileInfoCache, VersionDataReadOncePerPathUntilReInit) {
  machine.versionInfo.Set(L"C:\\a.dll", {{L"CompanyName", L"Acme"}, {L"FileDescription", L"Tool"}});
  std::wstring company;
  manager.GetFileInfo(L"C:\\a.dll", company);  // a call without description caches it all the same
  EXPECT_EQ(company, L"Acme");
  machine.versionInfo.Set(L"C:\\a.dll", {{L"CompanyName", L"Other"}});
  EXPECT_EQ(Info(L"C:\\a.dll"), Strings(L"Acme", L"Tool"));
  EXPECT_EQ(machine.versionInfo.ReadCount(), 1u);
  manager.ReInit();
  EXPECT_EQ(Info(L"C:\\a.dll"), Strings(L"Other", L""));
  EXPECT_EQ(machine.versionInfo.ReadCount(), 2u);
}

TEST_F(FileInfoCache, ExistenceCachedUntilReInit) {
  machine.files.AddFile(L"C:\\here.dll", {'M', 'Z'});
  auto exist = [&] { return std::pair(manager.isFileExist(L"C:\\here.dll"), manager.isFileExist(L"C:\\gone.dll")); };
  EXPECT_EQ(exist(), std::pair(true, false));
  machine.files.Remove(L"C:\\here.dll");
  machine.files.AddFile(L"C:\\gone.dll", {'M', 'Z'});
  EXPECT_EQ(exist(), std::pair(true, false));
  manager.ReInit();
  EXPECT_EQ(exist(), std::pair(false, true));
}

// A version reader that fails.
class FailingVersionInfo : public platform::IVersionInfo {
 public:
  bool ReadStrings(const std::wstring&, std::vector<std::pair<std::wstring, std::wstring>>&) override {
    throw CError(err::kPathFileAccess, L"Path/File access error");
  }
};

TEST_F(FileInfoCache, ReaderErrorsReachTheCallerAndCacheNothing) {
  FailingVersionInfo failing;
  platform::Services previous = platform::Install(platform::Services{.versionInfo = &failing});
  std::wstring company = L"before", description = L"before";
  EXPECT_THROW(manager.GetFileInfo(L"C:\\a.dll", company, &description), CError);
  platform::Install(previous);
  EXPECT_EQ(Strings(company, description), Strings(L"before", L"before"));

  machine.versionInfo.Set(L"C:\\a.dll", {{L"CompanyName", L"Acme"}});
  EXPECT_EQ(Info(L"C:\\a.dll").first, L"Acme");  // read afresh: the failure left no entry
}

}  // namespace

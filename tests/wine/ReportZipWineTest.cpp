// cZip and mZip on the real zip library (vbzip10.dll beside the test program), loaded by name at the
// first call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/FileUtilities.h"
#include "platform/Platform.h"
#include "report/Zip.h"

namespace {

// A scratch source file and archive, deleted first and after.
class ReportZipWine : public ::testing::Test {
 protected:
  ReportZipWine() {
    Remove();
    FileUtilities().WriteFileBytes(source, std::vector<std::uint8_t>(5000, 'z'));
  }
  ~ReportZipWine() override { Remove(); }
  void Remove() const {
    ::DeleteFileW(source.c_str());
    ::DeleteFileW(archive.c_str());
  }
  // Zips the source into the archive as the program does, encrypted when asked, and keeps what the
  // library said (with the count each message came with).
  void Zip(bool encrypt) {
    cZip zip;
    zip.SetZipFile(archive);
    zip.AddFileSpec(source);
    if (encrypt) zip.SetEncrypt(true);
    zip.ProgressMessage = [&](std::int32_t count, const std::wstring& text) { messages.emplace_back(count, text); };
    zip.Zip();
  }

  std::wstring folder = platform::Files().TempFolder();
  std::wstring source = folder + L"wdl_zip_source.dat";
  std::wstring archive = folder + L"wdl_zip_test.zip";
  std::vector<std::pair<std::int32_t, std::wstring>> messages;
};

TEST_F(ReportZipWine, ZipMakesTheArchiveWithTheBareNameAndRaisesTheLibrarysMessages) {
  Zip(false);
  ASSERT_TRUE(FileUtilities().FileExists(archive));
  const std::vector<std::uint8_t> bytes = FileUtilities().ReadFileBytes(archive);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("wdl_zip_source.dat"), std::string::npos);
  EXPECT_EQ(text.find("Temp"), std::string::npos);  // no folder in the entry's name
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages[0].second.find(L"adding: wdl_zip_source.dat"), std::wstring::npos);
  for (const auto& [count, message] : messages) {
    EXPECT_EQ(count, 1);
    EXPECT_EQ(message.find(L'/'), std::wstring::npos);
  }
}

// An option the library does not implement: no archive, and (as the wrapper never looks at the
// library's result) no error either; the library says why in a message.
TEST_F(ReportZipWine, ALibraryRefusalMakesNoArchiveAndNoError) {
  Zip(true);
  EXPECT_FALSE(FileUtilities().FileExists(archive));
  EXPECT_FALSE(messages.empty());
}

}  // namespace

// cZip and mZip on the real zip library (vbzip10.dll beside the test program), loaded by name at the
// first call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FileUtilities.h"
#include "platform/Platform.h"
#include "report/Zip.h"

namespace {

struct ScratchFiles {
  std::wstring folder = platform::Files().TempFolder();
  std::wstring source = folder + L"wdl_zip_source.dat";
  std::wstring archive = folder + L"wdl_zip_test.zip";
  ScratchFiles() {
    Remove();
    FileUtilities().WriteFileBytes(source, std::vector<std::uint8_t>(5000, 'z'));
  }
  ~ScratchFiles() { Remove(); }
  void Remove() const {
    ::DeleteFileW(source.c_str());
    ::DeleteFileW(archive.c_str());
  }
};

TEST(ReportZipWine, ZipMakesTheArchiveWithTheBareNameAndRaisesTheLibrarysMessages) {
  ScratchFiles files;
  cZip zip;
  zip.SetZipFile(files.archive);
  zip.AddFileSpec(files.source);
  std::vector<std::wstring> messages;
  zip.ProgressMessage = [&](std::int32_t count, const std::wstring& text) {
    EXPECT_EQ(count, 1);
    messages.push_back(text);
  };
  zip.Zip();
  ASSERT_TRUE(FileUtilities().FileExists(files.archive));
  const std::vector<std::uint8_t> bytes = FileUtilities().ReadFileBytes(files.archive);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("wdl_zip_source.dat"), std::string::npos);
  EXPECT_EQ(text.find("Temp"), std::string::npos);  // no folder in the entry's name
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages[0].find(L"adding: wdl_zip_source.dat"), std::wstring::npos);
  for (const std::wstring& message : messages) EXPECT_EQ(message.find(L'/'), std::wstring::npos);
}

// An option the library does not implement: no archive, and (as the wrapper never looks at the
// library's result) no error either; the library says why in a message.
TEST(ReportZipWine, ALibraryRefusalMakesNoArchiveAndNoError) {
  ScratchFiles files;
  cZip zip;
  zip.SetZipFile(files.archive);
  zip.AddFileSpec(files.source);
  zip.SetEncrypt(true);
  std::vector<std::wstring> messages;
  zip.ProgressMessage = [&](std::int32_t, const std::wstring& text) { messages.push_back(text); };
  zip.Zip();
  EXPECT_FALSE(FileUtilities().FileExists(files.archive));
  EXPECT_FALSE(messages.empty());
}

}  // namespace

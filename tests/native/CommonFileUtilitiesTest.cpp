#include <gtest/gtest.h>

#include <functional>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "tests/doubles/FakeMachine.h"
#include "tests/native/ErrorOf.h"

namespace {

TEST(CommonFileUtilitiesTest, FailuresHaveTheirNumbers) {
  platform::FakeMachine m;
  m.files.AddTextFile(L"C:\\locked.txt", "x");
  m.files.Fail(L"C:\\locked.txt", platform::kFileOpRead | platform::kFileOpWrite, platform::kErrorSharingViolation);
  m.files.AddLargeFile(L"C:\\huge.bin", std::uint64_t{1} << 31);  // exactly 2 GiB
  m.files.AddTextFile(L"C:\\ro.txt", "x", platform::kFileAttributeReadOnly);
  auto& fu = FileUtilities();
  EXPECT_EQ(ErrorOf([&] { fu.ReadFileBytes(L"C:\\missing.txt"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fu.ReadFileBytes(L"C:\\locked.txt"); }), err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { fu.ReadFileBytes(L"C:\\huge.bin"); }), err::kOutOfMemory);
  EXPECT_EQ(ErrorOf([&] { fu.WriteFileBytes(L"C:\\ro.txt", {1}); }), err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { fu.CopyFile(L"C:\\missing.txt", L"C:\\b.txt"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fu.ReadTextFile(L"C:\\missing.txt"); }), err::kFileNotFound);
}

TEST(CommonFileUtilitiesTest, ReadsWritesCopiesAndTellsFilesFromFolders) {
  platform::FakeMachine m;
  m.files.AddFolder(L"C:\\Dir");
  auto& fu = FileUtilities();
  fu.WriteFileBytes(L"C:\\Dir\\a.bin", {1, 2, 3});
  EXPECT_EQ(fu.ReadFileBytes(L"c:\\dir\\A.BIN"), (std::vector<std::uint8_t>{1, 2, 3}));
  fu.CopyFile(L"C:\\Dir\\a.bin", L"C:\\b.bin");
  EXPECT_EQ(m.files.FileBytes(L"C:\\b.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::tuple(fu.FileExists(L"C:\\b.bin"), fu.FileExists(L"C:\\Dir"), fu.FileExists(L""),
                       fu.ReadFileBytes(L"C:\\Dir\\a.bin").size()),  // the copy leaves its source
            std::tuple(true, false, false, 3u));
  std::vector<std::uint8_t> into{7, 7, 7, 7, 7};
  fu.ReadFileBytes(L"C:\\Dir\\a.bin", into);
  EXPECT_EQ(into, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(ErrorOf([&] { fu.ReadFileBytes(L"C:\\missing.txt", into); }), err::kFileNotFound);
  EXPECT_TRUE(into.empty());
}

TEST(CommonFileUtilitiesTest, TextFilesByByteOrderMark) {
  platform::FakeMachine m;
  m.files.AddTextFile(L"C:\\u16.txt", std::string("\xFF\xFE" "A\0\xE4\0", 6));
  m.files.AddTextFile(L"C:\\u8.txt", "\xEF\xBB\xBF" "A\xC3\xA4\xFF");
  m.files.AddTextFile(L"C:\\ansi.txt", "A\xE4");
  auto& fu = FileUtilities();
  EXPECT_EQ(std::tuple(fu.ReadTextFile(L"C:\\u16.txt"), fu.ReadTextFile(L"C:\\u8.txt"),
                       fu.ReadTextFile(L"C:\\ansi.txt")),
            std::tuple(L"A\u00E4", L"A\u00E4\uFFFD", L"A\u00E4"));
}

}  // namespace

// The size of a file by name on the real Win32 API, for a file in a folder named outside the ANSI code
// page (a user folder in Chinese): the wide search finds it, the narrow one cannot.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "platform/Platform.h"
#include "shell/MAPI.h"

namespace {

// A scratch folder "张伟" (with a 7-byte file in it) beside the test program, removed again afterwards.
class ShellFileSizeWine : public ::testing::Test {
 protected:
  void SetUp() override {
    Remove();
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr)) << ::GetLastError();
    unsigned long error = 0;
    ASSERT_TRUE(platform::Files().WriteAll(file_, {'1', '2', '3', '4', '5', '6', '7'}, error)) << error;
  }
  void TearDown() override {
    Remove();
    std::tie(MAPI::gbIsNT, MAPI::gbIsNT4) = saved_;
  }
  void Remove() {
    ::DeleteFileW(file_.c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }

  const std::wstring folder_ = platform::Files().ProgramFolder() + L"\\\u5F20\u4F1F";
  const std::wstring file_ = folder_ + L"\\tool.dll";

 private:
  std::tuple<bool, bool> saved_{MAPI::gbIsNT, MAPI::gbIsNT4};
};

TEST_F(ShellFileSizeWine, WideSearchFindsAFileInAFolderOutsideTheAnsiCodePage) {
  // The test means something only where the folder's name does not survive the ANSI code page.
  ASSERT_NE(platform::System().FromAnsi(platform::System().ToAnsi(folder_)), folder_)
      << "the ANSI code page " << ::GetACP() << " holds the folder's name";
  // A found size replaces the poison; a failed search leaves it.
  struct Case { std::wstring pattern; bool wide; bool found; };
  for (const Case& c : {Case{file_, true, true}, Case{folder_ + L"\\*.dll", true, true}, Case{file_, false, false},
                        Case{folder_ + L"\\missing.dll", true, false}}) {
    std::uint64_t size = 77;
    const bool found = c.wide ? platform::Files().FindFirstSizeW(c.pattern, size)
                              : platform::Files().FindFirstSize(platform::System().ToAnsi(c.pattern), size);
    EXPECT_EQ(std::tuple(found, size), std::tuple(c.found, c.found ? 7u : 77u)) << c.wide << " " << c.pattern;
  }
}

TEST_F(ShellFileSizeWine, NtFamilyGivesTheSizeOfAFileInAFolderOutsideTheAnsiCodePage) {
  MAPI::gbIsNT = true;
  EXPECT_EQ(MAPI::GetFileSizeByName(file_), 7);
  MAPI::gbIsNT = false;  // the 9x family's narrow call cannot name the folder
  EXPECT_EQ(MAPI::GetFileSizeByName(file_), 0);
}

}  // namespace

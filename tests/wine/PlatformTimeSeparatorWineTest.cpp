// The time separator of the user's regional settings, as the state report's time of sending uses it:
// the usual colon, and another one once the settings name it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"

namespace {

TEST(PlatformTimeSeparatorWineTest, FollowsTheUsersRegionalSettings) {
  wchar_t saved[16] = L"\x2603poison";
  ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, saved, 16), 0) << ::GetLastError();
  ASSERT_STREQ(saved, L":") << "the prefix's locale has another separator";
  // The colon comes back however the test ends.
  struct PutBack { ~PutBack() { ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, L":"); } } putBack;
  EXPECT_EQ(platform::System().TimeSeparator(), L":");
  ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, L".")) << ::GetLastError();
  EXPECT_EQ(platform::System().TimeSeparator(), L".");
}

}  // namespace

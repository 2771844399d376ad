// The time separator of the user's regional settings, as the state report's time of sending uses it:
// the usual colon, and another one once the settings name it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"

namespace {

// The user's time separator, changed for the owner's lifetime and put back after.
class TimeSeparatorSetting {
 public:
  TimeSeparatorSetting() {
    wchar_t saved[16] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, saved, 16) > 0) saved_ = saved;
  }
  ~TimeSeparatorSetting() {
    if (!saved_.empty()) ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, saved_.c_str());
  }
  bool Set(const wchar_t* separator) { return ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator) != 0; }
  const std::wstring& Saved() const { return saved_; }

 private:
  std::wstring saved_;
};

TEST(PlatformTimeSeparatorWineTest, FollowsTheUsersRegionalSettings) {
  TimeSeparatorSetting setting;
  ASSERT_EQ(setting.Saved(), L":") << "the prefix's locale has another separator";
  EXPECT_EQ(platform::System().TimeSeparator(), L":");
  ASSERT_TRUE(setting.Set(L".")) << ::GetLastError();
  EXPECT_EQ(platform::System().TimeSeparator(), L".");
}

}  // namespace

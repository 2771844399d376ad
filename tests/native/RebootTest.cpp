// MReboot on the token and session double: nothing here ever reaches a real ExitWindowsEx.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "removal/MReboot.h"
#include "tests/doubles/FakeMachine.h"

using platform::ExitWindowsCall;

// The request is shut down and reboot (1 | 2), not forced, the reason with every bit set; its answer
// decides. Whatever goes wrong with the privilege is not reported and the request is still made.
TEST(Reboot, RequestIsMadeAndDecidesWhateverBecomesOfThePrivilege) {
  struct Case {
    const char* what;
    void (*fail)(platform::FakeShutdown&);
    bool restarts;
    const wchar_t* errorText;
    bool privileged;  // the privilege enabled at the request
  };
  const Case cases[] = {
      {"accepted", [](platform::FakeShutdown&) {}, true, L"", true},
      {"refused", [](platform::FakeShutdown& s) { s.RefuseExit(platform::kErrorAccessDenied); }, false,
       L"Access is denied.", true},
      {"no token", [](platform::FakeShutdown& s) { s.FailOpenToken(platform::kErrorAccessDenied); }, true, L"", false},
      {"unknown privilege", [](platform::FakeShutdown& s) { s.FailLookup(1313); }, true, L"", false},
      {"adjustment refused", [](platform::FakeShutdown& s) { s.FailAdjust(platform::kErrorAccessDenied); }, true, L"",
       false},
      {"token lacks the privilege", [](platform::FakeShutdown& s) { s.SetTokenHasPrivilege(false); }, true, L"", false},
  };
  for (const Case& c : cases) {
    platform::FakeMachine machine;
    c.fail(machine.shutdown);
    std::wstring errorText = L"(poison)";
    const bool restarts = MReboot::RestartWindows(errorText);
    EXPECT_EQ(std::tuple(restarts, errorText, machine.shutdown.ExitCalls(), machine.shutdown.OpenHandleCount()),
              std::tuple(c.restarts, c.errorText, std::vector<ExitWindowsCall>{{3, 0xFFFFFFFFu, c.privileged}}, 0u))
        << c.what;
  }
}

// TOKEN_ADJUST_PRIVILEGES with TOKEN_QUERY; the local system's LUID of the privilege, enabled, with room
// for one entry of the previous state.
TEST(Reboot, PrivilegeIsLookedUpAndEnabledInTheProgramsToken) {
  platform::FakeMachine machine;
  std::wstring errorText;
  ASSERT_TRUE(MReboot::RestartWindows(errorText));
  EXPECT_EQ(machine.shutdown.OpenedTokens(), std::vector<std::uint32_t>{40});
  EXPECT_EQ(machine.shutdown.Lookups(), (std::vector<std::pair<std::string, std::string>>{{"", "SeShutdownPrivilege"}}));
  ASSERT_EQ(machine.shutdown.Adjustments().size(), 1u);
  const platform::PrivilegeAdjustment& adjustment = machine.shutdown.Adjustments()[0];
  EXPECT_EQ(std::tuple(adjustment.disableAll, adjustment.newState, adjustment.previousStateBytes),
            std::tuple(false, platform::TokenPrivilege{1, platform::FakeShutdown::kShutdownLuid, 2}, 16u));
}

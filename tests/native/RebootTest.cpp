// MReboot on the token and session double: nothing here ever reaches a real ExitWindowsEx.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "removal/MReboot.h"
#include "tests/doubles/FakeMachine.h"

namespace {

using platform::ExitWindowsCall;

// Shut down and reboot (1 | 2), not forced; the reason with every bit set.
const ExitWindowsCall kRestartWithPrivilege{3, 0xFFFFFFFFu, true};

}  // namespace

TEST(Reboot, AcceptedRequestEnablesThePrivilegeFirstAndAnswersTrue) {
  platform::FakeMachine machine;
  std::wstring errorText = L"(poison)";
  EXPECT_TRUE(MReboot::RestartWindows(errorText));
  EXPECT_EQ(errorText, L"");
  EXPECT_EQ(machine.shutdown.ExitCalls(), std::vector<ExitWindowsCall>{kRestartWithPrivilege});
  // TOKEN_ADJUST_PRIVILEGES with TOKEN_QUERY; the local system's LUID of the privilege, enabled, with
  // room for one entry of the previous state; the token is closed again.
  EXPECT_EQ(machine.shutdown.OpenedTokens(), std::vector<std::uint32_t>{40});
  EXPECT_EQ(machine.shutdown.Lookups(), (std::vector<std::pair<std::string, std::string>>{{"", "SeShutdownPrivilege"}}));
  ASSERT_EQ(machine.shutdown.Adjustments().size(), 1u);
  const platform::PrivilegeAdjustment& adjustment = machine.shutdown.Adjustments()[0];
  EXPECT_FALSE(adjustment.disableAll);
  EXPECT_EQ(adjustment.newState, (platform::TokenPrivilege{1, platform::FakeShutdown::kShutdownLuid, 2}));
  EXPECT_EQ(adjustment.previousStateBytes, 16u);
  EXPECT_EQ(machine.shutdown.OpenHandleCount(), 0u);
}

TEST(Reboot, RefusedRequestGivesTheSystemsTextAndFalse) {
  platform::FakeMachine machine;
  machine.shutdown.RefuseExit(platform::kErrorAccessDenied);
  std::wstring errorText;
  EXPECT_FALSE(MReboot::RestartWindows(errorText));
  EXPECT_EQ(errorText, L"Access is denied.");
  EXPECT_EQ(machine.shutdown.ExitCalls(), std::vector<ExitWindowsCall>{kRestartWithPrivilege});
}

// Whatever goes wrong with the privilege, the request is still made and decides.
TEST(Reboot, PrivilegeFailuresAreNotReportedAndTheRequestIsStillMade) {
  struct Case {
    const char* what;
    void (*fail)(platform::FakeShutdown&);
  };
  const Case cases[] = {
      {"no token", [](platform::FakeShutdown& s) { s.FailOpenToken(platform::kErrorAccessDenied); }},
      {"unknown privilege", [](platform::FakeShutdown& s) { s.FailLookup(1313); }},
      {"adjustment refused", [](platform::FakeShutdown& s) { s.FailAdjust(platform::kErrorAccessDenied); }},
      {"token lacks the privilege", [](platform::FakeShutdown& s) { s.SetTokenHasPrivilege(false); }},
  };
  for (const Case& c : cases) {
    platform::FakeMachine machine;
    c.fail(machine.shutdown);
    std::wstring errorText = L"(poison)";
    EXPECT_TRUE(MReboot::RestartWindows(errorText)) << c.what;
    EXPECT_EQ(errorText, L"") << c.what;
    EXPECT_EQ(machine.shutdown.ExitCalls(), (std::vector<ExitWindowsCall>{{3, 0xFFFFFFFFu, false}})) << c.what;
    EXPECT_EQ(machine.shutdown.OpenHandleCount(), 0u) << c.what;
  }
}

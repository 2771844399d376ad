// The HTTP platform interface on MSXML's real XMLHTTP object, against the local endpoint
// (tests/endpoint/endpoint.py), which the tests reach through the current user's proxy setting.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

#include "platform/Platform.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/KnownWineDifferences.h"

namespace {

using ::testing::HasSubstr;
using wine_test::ProxySetting;

const std::wstring kUrl = L"http://submit.wardline.net/php/ic.php";

std::unique_ptr<platform::IHttpRequest> NewRequest() {
  std::unique_ptr<platform::IHttpRequest> request;
  const platform::HttpResult result = platform::Http().CreateRequest(L"MSXML2.XMLHTTP", request);
  EXPECT_FALSE(result.Failed()) << std::string(result.description.begin(), result.description.end());
  return request;
}

// Lets the request's notifications run until it completes or `seconds` pass; the last readyState.
std::int32_t PumpUntilComplete(platform::IHttpRequest& request, double seconds) {
  std::int32_t state = -1;
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < seconds * 1000;) {
    if (request.ReadyState(state).Failed() || state == platform::kReadyComplete) break;
    platform::Desktop().DoEvents();
    ::Sleep(5);
  }
  return state;
}

// The request's readyState; -1 when it cannot be read.
std::int32_t StateOf(platform::IHttpRequest& request) {
  std::int32_t state = -1;
  EXPECT_FALSE(request.ReadyState(state).Failed());
  return state;
}

TEST(PlatformHttpWine, AnUnknownProgIdGivesItsHresultAndNoObject) {
  std::unique_ptr<platform::IHttpRequest> request = NewRequest();  // something to be replaced
  ASSERT_NE(request, nullptr);
  const platform::HttpResult result = platform::Http().CreateRequest(L"Wdl.NoSuchClass", request);
  EXPECT_EQ(result.hr, platform::kHrInvalidClassString);
  EXPECT_EQ(request, nullptr);
  EXPECT_THAT(result.description, ::testing::AllOf(::testing::StartsWith(L"CLSIDFromProgID(\"Wdl.NoSuchClass\"): "),
                                                   HasSubstr(L"(0x800401F3)")));
}

// send returns at once: the endpoint has the request, but the answer comes in only while the thread
// processes its window messages.
TEST(PlatformHttpWine, ARequestGoesThroughItsStatesToTheServersAnswer) {
  wine_test::FreshEndpoint endpoint("404");
  auto request = NewRequest();
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(StateOf(*request), platform::kReadyUninitialized);
  ASSERT_FALSE(request->Open(L"POST", kUrl).Failed());
  EXPECT_EQ(StateOf(*request), platform::kReadyLoading);
  std::int32_t status = -7;
  EXPECT_TRUE(request->Status(status).Failed());  // no answer yet
  EXPECT_EQ(status, -7);
  ASSERT_FALSE(request->SetRequestHeader(L"Content-Type", L"application/x-www-form-urlencoded").Failed());
  ASSERT_FALSE(request->Send(L"a=b&c=%41").Failed());
  for (int i = 0; i < 400 && wine_test::Records().empty(); ++i) ::Sleep(50);  // no messages processed
  ASSERT_EQ(wine_test::Records().size(), 1u);
  ::Sleep(500);  // time enough for the answer to reach the system
  const std::int32_t sent = StateOf(*request);
  ASSERT_NE(sent, platform::kReadyComplete) << "send waited for the answer";
  const platform::HttpResult early = request->Status(status);
  wine_test::ExpectWineDifference(wine_test::kSentRequestIsAtReadyState2,
                                  sent == platform::kReadyLoaded && early.hr == platform::kHrFail);
  EXPECT_EQ(status, -7);

  ASSERT_EQ(PumpUntilComplete(*request, 20), platform::kReadyComplete);
  std::wstring text = L"poison";
  ASSERT_FALSE(request->Status(status).Failed() || request->StatusText(text).Failed());
  EXPECT_EQ(std::tie(status, text), std::make_tuple(404, std::wstring(L"Not Found")));

  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  auto arrived = records[0].request;
  arrived.erase("target");
  EXPECT_EQ(std::tie(arrived, records[0].body),
            std::make_tuple(std::map<std::string, std::string>{{"method", "POST"},
                                                               {"host", "submit.wardline.net"},
                                                               {"content-type", "application/x-www-form-urlencoded"}},
                            "a=b&c=%41"));
  EXPECT_FALSE(request->Abort().Failed());  // also on a complete request
  EXPECT_EQ(StateOf(*request), platform::kReadyUninitialized);
}

// Nothing listens on the port: send succeeds, and the request never completes (a known difference
// from Windows), so that nothing tells it from a request whose endpoint is silent.
TEST(PlatformHttpWine, ARefusedRequestStaysAtReadyState2) {
  ProxySetting proxy(wine_test::ClosedPort());
  auto request = NewRequest();
  ASSERT_NE(request, nullptr);
  ASSERT_FALSE(request->Open(L"POST", kUrl).Failed());
  ASSERT_FALSE(request->Send(L"x=1").Failed());
  const std::int32_t state = PumpUntilComplete(*request, 3);
  std::int32_t status = -7;
  const platform::HttpResult result = request->Status(status);
  wine_test::ExpectWineDifference(wine_test::kFailedRequestStaysAtReadyState2,
                                  state == platform::kReadyLoaded && result.hr == platform::kHrFail);
  EXPECT_EQ(status, -7);
  EXPECT_THAT(result.description, ::testing::AllOf(HasSubstr(L"XMLHTTP.status: "), HasSubstr(L"(0x80004005)")));
}

}  // namespace

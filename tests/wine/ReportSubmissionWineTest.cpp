// The submission client on the real API: the request file and the zip (the real vbzip10.dll, beside the
// test program) in the real temporary folder, MSXML's XMLHTTP, and the local endpoint
// (tests/endpoint/endpoint.py), reached through the current user's proxy setting so that the request
// still names the product's host. The endpoint decodes each body with the vendor's tool (vendor.py)
// and records what it found.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/TextCodec.h"
#include "platform/Platform.h"
#include "report/CL.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/SubmissionFixture.h"

namespace {

namespace fs = std::filesystem;
using ::testing::_;
using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::StartsWith;
using wine_test::Arrival;
using wine_test::ProxySetting;

class ReportSubmissionWine : public wine_test::SubmissionFixture {};

TEST_F(ReportSubmissionWine, FeedbackReachesTheEndpointWithSubjectIdentifierAndValues) {
  ASSERT_TRUE(Send(L"LDW/Uninstall", Feedback(), "200")) << qn::ToUtf8(cause);
  EXPECT_EQ(cause, L"keep");

  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  const wine_test::Record& r = records[0];
  std::map<std::string, std::string> request = r.request;
  // The absolute form a proxy is given, with or without the default port.
  EXPECT_THAT(request.extract("target").mapped(), ::testing::AnyOf("http://submit.wardline.net/php/ic.php",
                                                                   "http://submit.wardline.net:80/php/ic.php"));
  EXPECT_EQ(request, (std::map<std::string, std::string>{{"method", "POST"},
                                                         {"host", "submit.wardline.net"},
                                                         {"content-type", "application/x-www-form-urlencoded"}}));
  EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived("LDW\\Uninstall"));

  // Both temporary files stay: the request file under the identifier the endpoint got, and the zip,
  // whose copy is the kept "Request.dat" in the program's folder.
  const auto added = NewTempFiles();
  ASSERT_EQ(added.size(), 2u);
  const bool zipFirst = added[0].extension() == ".zip";
  EXPECT_EQ(added[zipFirst ? 1 : 0].filename().string(), r.id + ".dat");
  const fs::path& zip = added[zipFirst ? 0 : 1];
  EXPECT_THAT(zip.filename().string(), AllOf(StartsWith("sc"), EndsWith(".zip")));
  EXPECT_EQ(wine_test::ReadText(zip),
            wine_test::ReadText(fs::path(platform::Files().ProgramFolder()) / L"Request.dat"));
}

TEST_F(ReportSubmissionWine, ASupportRequestsStateIsCheckedByTheVendorTool) {
  const std::wstring state =
      L"<xml><meta><os>Windows</os><cpu>x86</cpu><pcname>PC</pcname><comments></comments><yourname>A</yourname>"
      L"<youremail>a@b.c</youremail><appversion>2.0.24</appversion><sent>2024-01-02 03:04</sent></meta>"
      L"<suspicious><f x='1'/></suspicious><startups></startups><bhos></bhos><toolbars> </toolbars>"
      L"<explorerbars></explorerbars><services></services><processes><p x='1'><m x='1'/></p></processes>"
      L"<fileinfo><f x='1' i='C:\\a.exe' s='1' h='2'/></fileinfo></xml>";
  std::wstring dangling = state;
  dangling.insert(state.find(L"<bhos>") + 6, L"<f x='9'/>");
  for (const std::wstring& xml : {state, dangling}) {
    CProperties values;
    values.Add(L"state", xml);
    ASSERT_TRUE(Send(L"LDW\\SupportRequest", values, "200"));
  }
  EXPECT_THAT(wine_test::Arrivals(),
              ::testing::ElementsAre(Arrival{"ok", "LDW\\SupportRequest", {{"state", qn::ToUtf8(state)}}},
                                     ::testing::FieldsAre(::testing::HasSubstr("section bhos names x=9"), _, _)));
}

TEST_F(ReportSubmissionWine, ASubjectOutsideAsciiTravelsAsUtf8) {
  ASSERT_TRUE(Send(L"LDW\\T\u00ebst", Feedback(), "200"));
  EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived(qn::ToUtf8(L"LDW\\T\u00ebst")));
}

// The status decides: 200, 206, 302 and 304 count as sent, the statuses between them and any other do
// not, and a late answer is waited for. The system follows a redirect (301, 302, 303) with a GET, whose
// answer (200 here) is the one the client sees.
TEST_F(ReportSubmissionWine, TheEndpointsAnswerDecidesTheResult) {
  struct Case { const char* answer; bool sent; std::wstring cause; std::size_t records; };
  const std::vector<Case> cases = {
      {"206", true, L"keep", 1},
      {"304", true, L"keep", 1},
      {"delay 2 200", true, L"keep", 1},
      {"201", false, L"Created", 1},
      {"204", false, L"No Content", 1},
      {"404", false, L"Not Found", 1},
      {"301", true, L"keep", 2},
      {"302", true, L"keep", 2},
      {"303", true, L"keep", 2},
  };
  for (const Case& c : cases) {
    wine_test::ClearRecords();
    EXPECT_EQ(Send(L"LDW\\Uninstall", Feedback(), c.answer), c.sent) << c.answer;
    EXPECT_EQ(cause, c.cause) << c.answer;
    const auto records = wine_test::Records();
    ASSERT_EQ(records.size(), c.records) << c.answer;
    EXPECT_EQ(records[0].verdict, "ok") << c.answer;
    if (c.records == 2) {
      EXPECT_EQ(records[1].request.at("method"), "GET");
      EXPECT_THAT(records[1].request.at("target"), EndsWith("/php/done"));
    }
  }
  EXPECT_EQ(NewTempFiles().size(), 2 * cases.size());  // no answer deletes the temporary files
}

// An endpoint that takes the request and closes the connection without an answer: never reported as
// sent, though the request did arrive. Wine completes the request with status 0 and no status text
// (WINE-DIFFERENCES 12), which is the reason given. (Wine's send returns only when the connection ends,
// so the wait's deadline is not what ends it here; the clock runs a hundred times faster so that it
// would be if send returned at once.)
TEST_F(ReportSubmissionWine, AnAnswerThatNeverComesIsNotSent) {
  wine_test::FastClock clock(100);
  EXPECT_FALSE(Send(L"LDW\\Uninstall", Feedback(), "hang 2"));
  EXPECT_EQ(cause, L"");
  EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived("LDW\\Uninstall"));
}

// Nothing listens where the proxy setting points: Wine fails the send itself (a known difference, see
// PlatformHttpWine), which is the error path: the reason names the call and both temporary files go.
TEST_F(ReportSubmissionWine, AnEndpointThatCannotBeReachedIsNotSent) {
  ProxySetting proxy(wine_test::ClosedPort());
  wine_test::FastClock clock(100);
  EXPECT_FALSE(Send(L"LDW\\Uninstall", Feedback(), "200"));
  EXPECT_THAT(cause, StartsWith(L"XMLHTTP.send: "));
  EXPECT_TRUE(wine_test::Records().empty());
  EXPECT_TRUE(NewTempFiles().empty());
}

}  // namespace

// The submission client on the real API: the request file and the zip (the real vbzip10.dll, beside the
// test program) in the real temporary folder, MSXML's XMLHTTP, and the local endpoint
// (tests/endpoint/endpoint.py), reached through the current user's proxy setting so that the request
// still names the product's host. The endpoint decodes each body with the vendor's tool (vendor.py)
// and records what it found.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/TextCodec.h"
#include "platform/Platform.h"
#include "report/CL.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/SubmissionFixture.h"

namespace {

namespace fs = std::filesystem;
using wine_test::ProxySetting;

class ReportSubmissionWine : public wine_test::SubmissionFixture {};

TEST_F(ReportSubmissionWine, FeedbackReachesTheEndpointWithSubjectIdentifierAndValues) {
  ProxySetting proxy(ProxySetting::Local(wine_test::EndpointPort()));
  ASSERT_TRUE(Send(L"LDW/Uninstall", Feedback(), "200")) << std::string(cause.begin(), cause.end());
  EXPECT_EQ(cause, L"keep");

  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  const wine_test::Record& r = records[0];
  EXPECT_EQ(r.request.at("method"), "POST");
  // The absolute form a proxy is given, with or without the default port.
  EXPECT_THAT(r.request.at("target"), ::testing::AnyOf("http://submit.wardline.net/php/ic.php",
                                                       "http://submit.wardline.net:80/php/ic.php"));
  EXPECT_EQ(r.request.at("host"), "submit.wardline.net");
  EXPECT_EQ(r.request.at("content-type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.verdict, "ok");  // vendor.py took the body, the real zip and the bag
  EXPECT_EQ(r.subject, "LDW\\Uninstall");
  EXPECT_EQ(r.values.size(), 2u);
  EXPECT_EQ(r.values.at("reason"), qn::ToUtf8(L"Too slow\r\n+ 100% & more \u00e9\u4e2d"));
  EXPECT_EQ(r.values.at("log"), "line 1\r\nline 2 \\ /\r\n");

  // Both temporary files stay: the request file under the identifier the endpoint got, and the zip,
  // whose copy is the kept "Request.dat" in the program's folder.
  const auto added = NewTempFiles();
  ASSERT_EQ(added.size(), 2u);
  std::set<std::string> names;
  for (const fs::path& file : added) names.insert(file.filename().string());
  EXPECT_EQ(names.count(r.id + ".dat"), 1u) << r.id;
  for (const fs::path& file : added) {
    if (file.extension() == ".zip") {
      EXPECT_EQ(file.filename().string().rfind("sc", 0), 0u);
      EXPECT_EQ(wine_test::ReadText(file),
                wine_test::ReadText(fs::path(platform::Files().ProgramFolder()) / L"Request.dat"));
    }
  }
}

TEST_F(ReportSubmissionWine, ASupportRequestsStateIsCheckedByTheVendorTool) {
  const std::wstring state =
      L"<xml><meta><os>Windows</os><cpu>x86</cpu><pcname>PC</pcname><comments></comments><yourname>A</yourname>"
      L"<youremail>a@b.c</youremail><appversion>2.0.24</appversion><sent>2024-01-02 03:04</sent></meta>"
      L"<suspicious><f x='1'/></suspicious><startups></startups><bhos></bhos><toolbars> </toolbars>"
      L"<explorerbars></explorerbars><services></services><processes><p x='1'><m x='1'/></p></processes>"
      L"<fileinfo><f x='1' i='C:\\a.exe' s='1' h='2'/></fileinfo></xml>";
  ProxySetting proxy(ProxySetting::Local(wine_test::EndpointPort()));
  std::wstring dangling = state;
  dangling.insert(state.find(L"<bhos>") + 6, L"<f x='9'/>");
  for (const std::wstring& xml : {state, dangling}) {
    CProperties values;
    values.Add(L"state", xml);
    ASSERT_TRUE(Send(L"LDW\\SupportRequest", values, "200"));
  }
  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].verdict, "ok");
  EXPECT_EQ(records[0].values.at("state"), qn::ToUtf8(state));
  EXPECT_NE(records[1].verdict.find("section bhos names x=9"), std::string::npos) << records[1].verdict;
}

TEST_F(ReportSubmissionWine, ASubjectOutsideAsciiTravelsAsUtf8) {
  ProxySetting proxy(ProxySetting::Local(wine_test::EndpointPort()));
  ASSERT_TRUE(Send(L"LDW\\T\u00ebst", Feedback(), "200"));
  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].verdict, "ok");
  EXPECT_EQ(records[0].subject, qn::ToUtf8(L"LDW\\T\u00ebst"));
}

// The answer decides: 302 (which the system follows with a GET) counts as sent, 404 does not, and a
// late answer is waited for.
TEST_F(ReportSubmissionWine, TheEndpointsAnswerDecidesTheResult) {
  struct Case { const char* answer; bool sent; std::wstring cause; std::size_t records; };
  const std::vector<Case> cases = {
      {"302", true, L"keep", 2},
      {"404", false, L"Not Found", 1},
      {"delay 2 200", true, L"keep", 1},
  };
  ProxySetting proxy(ProxySetting::Local(wine_test::EndpointPort()));
  for (const Case& c : cases) {
    wine_test::ClearRecords();
    EXPECT_EQ(Send(L"LDW\\Uninstall", Feedback(), c.answer), c.sent) << c.answer;
    EXPECT_EQ(cause, c.cause) << c.answer;
    const auto records = wine_test::Records();
    ASSERT_EQ(records.size(), c.records) << c.answer;
    EXPECT_EQ(records[0].verdict, "ok") << c.answer;
    if (c.records == 2) {
      EXPECT_EQ(records[1].request.at("method"), "GET");
      EXPECT_THAT(records[1].request.at("target"), ::testing::EndsWith("/php/done"));
    }
  }
  EXPECT_EQ(NewTempFiles().size(), 2 * cases.size());  // no answer deletes the temporary files
}

// An endpoint that takes the request and closes the connection without an answer: never reported as
// sent. (Wine's send returns only when the connection ends, so the wait's deadline is not what ends it
// here; the clock runs a hundred times faster so that it would be if send returned at once.)
TEST_F(ReportSubmissionWine, AnAnswerThatNeverComesIsNotSent) {
  ProxySetting proxy(ProxySetting::Local(wine_test::EndpointPort()));
  wine_test::FastClock clock(100);
  EXPECT_FALSE(Send(L"LDW\\Uninstall", Feedback(), "hang 2"));
  EXPECT_NE(cause, L"keep");
  EXPECT_FALSE(cause.empty());
  const auto records = wine_test::Records();
  ASSERT_EQ(records.size(), 1u);  // the request did arrive
  EXPECT_EQ(records[0].verdict, "ok");
}

// Nothing listens where the proxy setting points: Wine fails the send itself (a known difference, see
// PlatformHttpWine), which is the error path: the reason names the call and both temporary files go.
TEST_F(ReportSubmissionWine, AnEndpointThatCannotBeReachedIsNotSent) {
  ProxySetting proxy(ProxySetting::Local(wine_test::ClosedPort()));
  wine_test::FastClock clock(100);
  EXPECT_FALSE(Send(L"LDW\\Uninstall", Feedback(), "200"));
  EXPECT_EQ(cause.rfind(L"XMLHTTP.send: ", 0), 0u) << std::string(cause.begin(), cause.end());
  EXPECT_TRUE(wine_test::Records().empty());
  EXPECT_TRUE(NewTempFiles().empty());
}

}  // namespace

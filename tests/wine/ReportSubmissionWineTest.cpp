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

// A message-only window of this thread: on each tick of its timer it counts the tick, and once the
// endpoint holds the request it moves the program's clock past the send's deadline.
class DeadlineWindow {
 public:
  explicit DeadlineWindow(wine_test::TestClock& clock) : clock_(clock) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WdlDeadlineWindow";
    ::RegisterClassW(&windowClass);  // fails harmlessly when a test before registered it
    hwnd_ = ::CreateWindowW(L"WdlDeadlineWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                            nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetTimer(hwnd_, 1, 20, nullptr);
  }
  ~DeadlineWindow() { ::DestroyWindow(hwnd_); }
  DeadlineWindow(const DeadlineWindow&) = delete;
  DeadlineWindow& operator=(const DeadlineWindow&) = delete;

  bool Created() const { return hwnd_ != nullptr; }
  int ticks = 0;
  bool movedTheClock = false;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<DeadlineWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message != WM_TIMER || self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    ++self->ticks;
    if (!self->movedTheClock && !wine_test::Records().empty()) {
      self->clock_.Advance((CL::kWaitSeconds + 1) * 1000);
      self->movedTheClock = true;
    }
    return 0;
  }

  wine_test::TestClock& clock_;
  HWND hwnd_ = nullptr;
};

// An endpoint that takes the request and stays silent: send returns at once, the wait runs this
// thread's window messages (the window's timer ticks while the endpoint holds the request), and the
// deadline ends it. Wine's request is in state 2 then, not 1 (WINE-DIFFERENCES 1a), so the status that
// cannot be read ends the send on the error path: the reason names the call and both temporary files
// go. The request itself had arrived.
TEST_F(ReportSubmissionWine, ASilentEndpointIsWaitedForUntilTheDeadlineWhileWindowsAnswer) {
  wine_test::TestClock clock;
  DeadlineWindow window(clock);
  ASSERT_TRUE(window.Created());
  EXPECT_FALSE(Send(L"LDW\\Uninstall", Feedback(), "hang 60"));
  EXPECT_TRUE(window.movedTheClock);
  EXPECT_GE(window.ticks, 1);
  EXPECT_THAT(cause, StartsWith(L"XMLHTTP.status: "));
  EXPECT_TRUE(NewTempFiles().empty());
  EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived("LDW\\Uninstall"));
}

// Nothing listens where the proxy setting points. Wine's request stays in state 2 (WINE-DIFFERENCES 1),
// as for a silent endpoint, so the wait runs to its deadline (on a clock a hundred times faster here)
// and ends on the error path as above; nothing arrived.
TEST_F(ReportSubmissionWine, AnEndpointThatCannotBeReachedIsWaitedForUntilTheDeadline) {
  ProxySetting proxy(wine_test::ClosedPort());
  wine_test::TestClock clock(100);
  const std::uint32_t started = clock.GetTickCount();
  EXPECT_FALSE(Send(L"LDW\\Uninstall", Feedback(), "200"));
  // The deadline is the start rounded to the nearest second, plus the wait.
  EXPECT_GE(clock.GetTickCount() - started, CL::kWaitSeconds * 1000 - 500);
  EXPECT_THAT(cause, StartsWith(L"XMLHTTP.status: "));
  EXPECT_TRUE(wine_test::Records().empty());
  EXPECT_TRUE(NewTempFiles().empty());
}

}  // namespace

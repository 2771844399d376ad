// The submission client against an endpoint that answers badly: an answer cut short of its
// Content-Length, the connection closed inside the body while it stalls, bytes without a status line, a
// 5 MB body, a connection closed without a word, and chunks cut inside a chunk. The status that the
// request object gives decides alone; the request itself reached the endpoint each time; the temporary
// files stay as after any answer; and the wait ends before its deadline as the program counts time (a
// clock ten times faster than the real one).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/CL.h"
#include "tests/wine/Endpoint.h"
#include "tests/wine/KnownWineDifferences.h"
#include "tests/wine/SubmissionFixture.h"

namespace {

class FaultInjectionSubmissionWine : public wine_test::SubmissionFixture {
 protected:
  // Sends the feedback with the endpoint answering `answer`, under the fast clock, and expects the send
  // to end before the wait's deadline on that clock.
  bool SendTimed(const std::string& answer) {
    wine_test::TestClock clock(10);
    const std::uint32_t started = clock.GetTickCount();
    const bool sent = Send(L"LDW\\Uninstall", Feedback(), answer);
    EXPECT_LT(clock.GetTickCount() - started, CL::kWaitSeconds * 1000) << answer;
    return sent;
  }
};

// Wine completes each broken answer with the status it read (WINE-DIFFERENCES 12): a 200 counts as sent
// however its body came, and a connection closed without a word gives status 0 with no text.
TEST_F(FaultInjectionSubmissionWine, ABrokenAnswerCountsByItsStatusAlone) {
  struct Case { const char* answer; bool sent; std::wstring cause; };
  const std::vector<Case> cases = {
      {"truncated", true, L"keep"},         // Content-Length 1000, 15 bytes, closed
      {"stall 1", true, L"keep"},           // the same, closed after a second of silence
      {"garbage", true, L"keep"},           // no status line: read as HTTP/0.9, "200 OK"
      {"big", true, L"keep"},               // 5 MB, whole
      {"big 404", false, L"Not Found"},     // 5 MB, refused
      {"hang 1", false, L""},               // closed after a second, without an answer
  };
  for (const Case& c : cases) {
    wine_test::ClearRecords();
    EXPECT_EQ(SendTimed(c.answer), c.sent) << c.answer;
    EXPECT_EQ(cause, c.cause) << c.answer;
    EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived("LDW\\Uninstall")) << c.answer;
  }
  // No answer takes the error path: the request file and the zip of every send stay.
  EXPECT_EQ(NewTempFiles().size(), 2 * cases.size());
}

// Chunks cut inside a chunk: Wine completes the request as a whole 200 would be (a known difference from
// Windows), so it counts as sent; the request itself had arrived whole, so nothing is lost.
TEST_F(FaultInjectionSubmissionWine, ChunksCutInsideAChunkCountAsSentUnderWine) {
  wine_test::ExpectWineDifference(wine_test::kCutChunkedAnswerCompletes, SendTimed("cut"));
  EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived("LDW\\Uninstall"));
  EXPECT_EQ(NewTempFiles().size(), 2u);
}

}  // namespace

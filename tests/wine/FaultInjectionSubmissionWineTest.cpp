// The submission client against an endpoint that answers badly: an answer cut short of its
// Content-Length, the connection closed inside the body while it stalls, bytes without a status line, a
// 5 MB body, and chunks cut inside a chunk. None is taken for a success unless it arrived whole; the
// request itself reached the endpoint each time; the temporary files stay as after any answer; and the
// wait ends by its deadline as the program counts time (a clock a hundred times faster than the real one).
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
  // to end by the wait's deadline on that clock.
  bool SendTimed(const std::string& answer) {
    wine_test::FastClock clock(100);
    const std::uint32_t started = clock.GetTickCount();
    const bool sent = Send(L"LDW\\Uninstall", Feedback(), answer);
    EXPECT_LE(clock.GetTickCount() - started, (CL::kWaitSeconds + 1) * 1000) << answer;
    return sent;
  }
};

TEST_F(FaultInjectionSubmissionWine, OnlyAnAnswerThatArrivedWholeCountsAsSent) {
  struct Case { const char* answer; bool sent; std::wstring cause; };
  const std::vector<Case> cases = {
      {"truncated", false, CL::kCannotSend},  // Content-Length 1000, 15 bytes, closed
      {"stall 1", false, CL::kCannotSend},    // the same, closed after a second of silence
      {"garbage", false, CL::kCannotSend},    // no status line: read as HTTP/0.9, "200 OK" without headers
      {"big", true, L"keep"},                 // 5 MB, whole
      {"big 404", false, L"Not Found"},       // 5 MB, refused
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

// Chunks cut inside a chunk: Wine completes the request as a whole 200 would be, so nothing that the
// request object shows tells it from one (WINE-DIFFERENCES.md). It counts as sent; the request itself
// had arrived whole, so nothing is lost.
TEST_F(FaultInjectionSubmissionWine, ChunksCutInsideAChunkCountAsSentUnderWine) {
  wine_test::ExpectWineDifference(wine_test::kCutChunkedAnswerCompletes, SendTimed("cut"));
  EXPECT_EQ(wine_test::Arrivals(), FeedbackArrived("LDW\\Uninstall"));
  EXPECT_EQ(NewTempFiles().size(), 2u);
}

}  // namespace

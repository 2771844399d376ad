#pragma once
// The places where Wine behaves otherwise than Windows and a Wine test expects Wine's behaviour. Each is
// named here once; the test that meets it calls ExpectWineDifference with what it observed, which fails
// as soon as Wine behaves as Windows does, so that the entry (and the test's expectation) goes.
#include <gtest/gtest.h>

namespace wine_test {

struct WineDifference {
  const char* what;     // Wine's behaviour
  const char* windows;  // what Windows does instead
};

// MSXML's XMLHTTP, asynchronous: send returns only once the whole answer is in (or the connection has
// failed), so a caller's wait never sees a request in flight.
inline constexpr WineDifference kAsyncSendWaitsForTheAnswer{
    "an asynchronous send returns with the request complete (readyState 4)",
    "send returns at once and the request completes later (readyState 1 right after send)"};

// MSXML's XMLHTTP, asynchronous, when the connection fails (nothing listens on the port).
inline constexpr WineDifference kFailedAsyncRequestStaysLoaded{
    "send fails with 0x800C0008, the request stays at readyState 2 and reading its status fails with "
    "0x80004005",
    "send succeeds; the request completes later (readyState 4) and reading its status fails"};

// MSXML's XMLHTTP, when the connection ends inside a chunk of a chunked answer.
inline constexpr WineDifference kCutChunkedAnswerCompletes{
    "the request completes (readyState 4) with status 200 and the bytes that came, as a whole answer would",
    "WinINet fails the read of the cut answer, and the request does not end with status 200"};

// `stillDiffers`: whether the test saw Wine's behaviour.
inline void ExpectWineDifference(const WineDifference& difference, bool stillDiffers) {
  EXPECT_TRUE(stillDiffers) << "Wine no longer differs from Windows here (" << difference.what
                            << "); Windows: " << difference.windows
                            << ". Remove the entry from tests/wine/KnownWineDifferences.h and expect Windows' behaviour.";
}

}  // namespace wine_test

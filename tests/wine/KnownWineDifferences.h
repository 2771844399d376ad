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

// MSXML's XMLHTTP, asynchronous, from send until the answer is complete.
inline constexpr WineDifference kSentRequestIsAtReadyState2{
    "send returns with the request at readyState 2, where it stays until the answer is complete (status "
    "cannot be read meanwhile)",
    "the request stays at readyState 1 until the answer's status and headers are in"};

// MSXML's XMLHTTP, asynchronous, when the connection fails (nothing listens on the port).
inline constexpr WineDifference kFailedRequestStaysAtReadyState2{
    "send succeeds; the request stays at readyState 2 for good and reading its status fails with 0x80004005",
    "the request completes (readyState 4) soon after send, and its status tells the failure"};

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

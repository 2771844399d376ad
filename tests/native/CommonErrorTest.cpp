#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/Error.h"

namespace {

// The number and description of the program's error for what `thrower` throws.
template <class Thrower>
std::pair<long, std::wstring> Caught(Thrower thrower) {
  try {
    thrower();
  } catch (...) {
    const CError e = CurrentError();
    return {e.Number(), e.Description()};
  }
  return {-1, L"nothing thrown"};
}

// Every handler logs what it caught as number and description, whatever was thrown.
TEST(CommonErrorTest, CurrentErrorGivesTheProgramsErrorForAnythingThrown) {
  using Error = std::pair<long, std::wstring>;
  EXPECT_EQ(Caught([] { throw CError(err::kDuplicateKey, L"dup"); }), Error(err::kDuplicateKey, L"dup"));
  EXPECT_EQ(Caught([] { throw std::bad_alloc(); }), Error(err::kOutOfMemory, L"Out of memory"));
  EXPECT_EQ(Caught([] { throw std::runtime_error("disk on fire"); }),
            Error(err::kInternalError, L"Internal error: disk on fire"));
  EXPECT_EQ(Caught([] { throw 42; }).first, err::kInternalError);
}

}  // namespace

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "common/Error.h"

namespace {

template <class Thrower>
CError Caught(Thrower thrower) {
  try {
    thrower();
  } catch (...) {
    return CurrentError();
  }
  return CError(-1, L"nothing thrown");
}

// Every handler logs what it caught as number and description, whatever was thrown.
TEST(CommonErrorTest, CurrentErrorGivesTheProgramsErrorForAnythingThrown) {
  CError own = Caught([] { throw CError(err::kDuplicateKey, L"dup"); });
  EXPECT_EQ(own.Number(), err::kDuplicateKey);
  EXPECT_EQ(own.Description(), L"dup");

  CError memory = Caught([] { throw std::bad_alloc(); });
  EXPECT_EQ(memory.Number(), err::kOutOfMemory);
  EXPECT_EQ(memory.Description(), L"Out of memory");

  CError other = Caught([] { throw std::runtime_error("disk on fire"); });
  EXPECT_EQ(other.Number(), err::kInternalError);
  EXPECT_EQ(other.Description(), L"Internal error: disk on fire");

  CError odd = Caught([] { throw 42; });
  EXPECT_EQ(odd.Number(), err::kInternalError);
}

}  // namespace

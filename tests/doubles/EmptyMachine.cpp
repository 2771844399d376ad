// The native programs of the tests run on no operating system: from start-up on, an empty in-memory
// machine stands in for it, and each test that needs a machine of its own installs one over it
// (FakeMachine puts this one back when it ends).
#include "tests/doubles/FakeMachine.h"

namespace {
platform::FakeMachine gEmptyMachine;
}  // namespace

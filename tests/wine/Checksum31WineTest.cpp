// The 31-bit checksum's plain loop and vector forms as the Windows build compiles them (see
// tests/native/Checksum31Cases.h), and the choice of form by the CPU's features.
#include <windows.h>

#include "tests/native/Checksum31Cases.h"

namespace {

TEST(Checksum31Wine, SeesAvx2WhereTheSystemDoes) {
  EXPECT_EQ(inspection::Checksum31HasAvx2(), ::IsProcessorFeaturePresent(PF_AVX2_INSTRUCTIONS_AVAILABLE) != FALSE);
}

}  // namespace

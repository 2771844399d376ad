// The program's remover, which compiles the state with the detector, end to end on an in-memory machine.
#include <string>
#include <vector>

#include "DetectionFixture.h"
#include "removal/PaRemover.h"

namespace {
using RemoverDetectorTest = DetectionTest;
}  // namespace

// A library without version data loaded into a process is suspicious: it is renamed and recorded, and
// the process that had it loaded ends; a library of a known company stays.
TEST_F(RemoverDetectorTest, SuspiciousModuleOfARunningProcessIsRemovedAndItsProcessEnded) {
  const std::wstring host = L"C:\\Apps\\host.exe", bad = L"C:\\Apps\\bad.dll", clean = L"C:\\Apps\\clean.dll";
  AddFile(host, 3000, detection_test::kChecksumInNone, L"Acme");
  AddFile(bad, 3000, detection_test::kChecksumInNone);
  AddFile(clean, 3000, detection_test::kChecksumInNone, L"Acme");
  processes.AddProcess(100, {host, bad});
  processes.AddProcess(200, {host, clean});
  ScriptedProgressor progressor;
  std::wstring falseCause = L"(unchanged)";

  EXPECT_TRUE(CPaRemover().RemoveSpyware(progressor, CChecksumList(), CChecksumList(), falseCause));
  EXPECT_TRUE(files.HasFile(L"C:\\Apps\\parasite_bad.dll.parasite"));
  EXPECT_TRUE(files.HasFile(clean));
  EXPECT_EQ(registry.StringValue(platform::kHkeyCurrentUser,
                                 L"Software\\Brevant Software\\Wardline\\Current Version\\Removed Files", bad),
            bad);
  EXPECT_EQ(processes.Terminations(), (std::vector<platform::TerminateCall>{{100, 0}}));
  // The compilation's values lie in its band, between the remover's 1 and 30.
  ASSERT_GE(progressor.values.size(), 4u);
  EXPECT_EQ(progressor.values.front(), 1);
  EXPECT_EQ(progressor.values.back(), 99);
  for (double value : progressor.values) EXPECT_TRUE(value >= 1 && value <= 99) << value;
  EXPECT_EQ(falseCause, L"(unchanged)");
}

// Test code as it would sit in a shipped binary by mistake: the in-memory doubles of the platform layer
// and the toolkit's headless backend, linked and stripped as the files of dist/ are. Never run:
// tests/ship/check_dist.sh reads it to prove that it sees each kind of test code by its names.
#include "tests/doubles/FakeMachine.h"
#include "tests/headless/HeadlessBackend.h"

int main() {
  platform::FakeMachine machine;
  ui::HeadlessBackend backend;
  return backend.Dpi() == 0 ? 1 : 0;
}

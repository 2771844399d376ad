#pragma once
#include "tests/doubles/FakeComponents.h"
#include "tests/doubles/FakeDesktop.h"
#include "tests/doubles/FakeFiles.h"
#include "tests/doubles/FakeHttp.h"
#include "tests/doubles/FakeProcesses.h"
#include "tests/doubles/FakeRegistry.h"
#include "tests/doubles/FakeShutdown.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/FakeVersionInfo.h"
#include "tests/doubles/FakeZipLibrary.h"
#include "platform/Platform.h"

namespace platform {

// A whole in-memory machine for a test: one of each double, installed as the platform services for
// the lifetime of this object; the services in use before are put back when it is destroyed.
//
//   TEST(Foo, Bar) {
//     platform::FakeMachine machine;
//     machine.registry.SetString(platform::kHkeyCurrentUser, L"Software\\X", L"", L"v");
//     ...
//   }
struct FakeMachine {
  FakeRegistry registry;
  FakeFiles files;
  FakeProcesses processes;
  FakeVersionInfo versionInfo;
  FakeSystem system;
  FakeDesktop desktop;
  FakeComponents components;
  FakeHttp http;
  FakeZipLibrary zipLibrary;
  FakeShutdown shutdown;

  FakeMachine()
      : previous_(Install(Services{&registry, &files, &processes, &versionInfo, &system, &desktop, &components, &http,
                                   &zipLibrary, &shutdown})) {}
  ~FakeMachine() { Install(previous_); }
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

 private:
  Services previous_;
};

}  // namespace platform

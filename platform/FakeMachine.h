#pragma once
#include "platform/FakeComponents.h"
#include "platform/FakeDesktop.h"
#include "platform/FakeFiles.h"
#include "platform/FakeProcesses.h"
#include "platform/FakeRegistry.h"
#include "platform/FakeSystem.h"
#include "platform/FakeVersionInfo.h"
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

  FakeMachine()
      : previous_(Install(Services{&registry, &files, &processes, &versionInfo, &system, &desktop, &components})) {}
  ~FakeMachine() { Install(previous_); }
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

 private:
  Services previous_;
};

}  // namespace platform

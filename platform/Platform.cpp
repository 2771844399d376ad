#include "platform/Platform.h"

#include "platform/PlatformInternal.h"

#if !defined(_WIN32)
#include "platform/FakeComponents.h"
#include "platform/FakeDesktop.h"
#include "platform/FakeFiles.h"
#include "platform/FakeProcesses.h"
#include "platform/FakeRegistry.h"
#include "platform/FakeSystem.h"
#include "platform/FakeVersionInfo.h"
#endif

namespace platform {

#if !defined(_WIN32)
namespace detail {
// The native build has no operating system services of its own: an empty machine stands in until a
// test installs its doubles. The objects live until exit.
Services DefaultServices() {
  static FakeRegistry registry;
  static FakeFiles files;
  static FakeProcesses processes;
  static FakeVersionInfo versionInfo;
  static FakeSystem system;
  static FakeDesktop desktop;
  static FakeComponents components;
  return Services{&registry, &files, &processes, &versionInfo, &system, &desktop, &components};
}
}  // namespace detail
#endif

Services& Get() {
  static Services services = detail::DefaultServices();
  return services;
}

Services Install(const Services& services) {
  Services& current = Get();
  Services previous = current;
  if (services.registry) current.registry = services.registry;
  if (services.files) current.files = services.files;
  if (services.processes) current.processes = services.processes;
  if (services.versionInfo) current.versionInfo = services.versionInfo;
  if (services.system) current.system = services.system;
  if (services.desktop) current.desktop = services.desktop;
  if (services.components) current.components = services.components;
  return previous;
}

}  // namespace platform

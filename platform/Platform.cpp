#include "platform/Platform.h"

#include "platform/PlatformInternal.h"

namespace platform {

#if !defined(_WIN32)
namespace detail {
// The native build has no operating system of its own: every service is unset until the program that
// runs natively (a test, a benchmark) installs its own, before the first call.
Services DefaultServices() { return Services{}; }
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
  if (services.http) current.http = services.http;
  if (services.zipLibrary) current.zipLibrary = services.zipLibrary;
  if (services.shutdown) current.shutdown = services.shutdown;
  return previous;
}

}  // namespace platform

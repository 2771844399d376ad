#pragma once
#include "platform/Components.h"
#include "platform/Desktop.h"
#include "platform/Export.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Shutdown.h"
#include "platform/System.h"
#include "platform/VersionInfo.h"
#include "platform/ZipLibrary.h"

namespace platform {

// The operating system as the program sees it. On Windows it starts out as the real Win32 services;
// tests install in-memory doubles (tests/doubles) in their place.
struct Services {
  IRegistry* registry = nullptr;
  IFileSystem* files = nullptr;
  IProcesses* processes = nullptr;
  IVersionInfo* versionInfo = nullptr;
  ISystem* system = nullptr;
  IDesktop* desktop = nullptr;
  IComponents* components = nullptr;
  IHttp* http = nullptr;
  IZipLibrary* zipLibrary = nullptr;
  IShutdown* shutdown = nullptr;
};

// The services in use. On Windows every member is set to the Win32 implementation from the start. The
// native build has no operating system: a program that runs natively (tests, benchmarks) installs its
// in-memory doubles before the first call.
QN_API Services& Get();
// Replaces the services in use (members left null keep their current service) and returns the
// previous set, so that a test can put it back.
QN_API Services Install(const Services& services);

inline IRegistry& Registry() { return *Get().registry; }
inline IFileSystem& Files() { return *Get().files; }
inline IProcesses& Processes() { return *Get().processes; }
inline IVersionInfo& VersionInfo() { return *Get().versionInfo; }
inline ISystem& System() { return *Get().system; }
inline IDesktop& Desktop() { return *Get().desktop; }
inline IComponents& Components() { return *Get().components; }
inline IHttp& Http() { return *Get().http; }
inline IZipLibrary& ZipLibrary() { return *Get().zipLibrary; }
inline IShutdown& Shutdown() { return *Get().shutdown; }

}  // namespace platform

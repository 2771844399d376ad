#pragma once
#include "platform/Platform.h"

namespace platform::detail {

// The services the program starts with: on Windows the Win32 implementations (PlatformWin32.cpp),
// natively none (Platform.cpp). Each call gives the same objects.
Services DefaultServices();

#if defined(_WIN32)
// The Win32 implementations, one object each, living until exit (the *Win32.cpp files).
IRegistry& Win32Registry();
IFileSystem& Win32Files();
IProcesses& Win32Processes();
IVersionInfo& Win32VersionInfo();
ISystem& Win32System();
IDesktop& Win32Desktop();
IComponents& Win32Components();
IHttp& Win32Http();
IZipLibrary& Win32ZipLibrary();
IShutdown& Win32Shutdown();
#endif

}  // namespace platform::detail

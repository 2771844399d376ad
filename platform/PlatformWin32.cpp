#include "platform/PlatformInternal.h"

namespace platform::detail {

Services DefaultServices() {
  return Services{&Win32Registry(), &Win32Files(),   &Win32Processes(), &Win32VersionInfo(),
                  &Win32System(),   &Win32Desktop(), &Win32Components(),
                  &Win32Http(),     &Win32ZipLibrary(), &Win32Shutdown()};
}

}  // namespace platform::detail

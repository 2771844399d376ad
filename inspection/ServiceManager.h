#pragma once
#include <memory>

#include "common/Items.h"

// The services and drivers registered with Windows. Holds no data; create one per compilation.
class CServiceManager {
 public:
  // One item per service key with a non-empty "ImagePath", in the registry's order of keys, drivers and
  // services alike: Name = the resolved image file (environment variables expanded before the command
  // line is cut), one property "DisplayName" (text, empty when the value is missing).
  // After an error: the list as far as built (the last item possibly without its property); the error
  // is logged at level 0.
  std::shared_ptr<CItemList> EnumServices();

  // The key whose subkeys are the services, in HKEY_LOCAL_MACHINE.
  static constexpr const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services";
};

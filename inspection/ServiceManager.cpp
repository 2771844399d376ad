#include "inspection/ServiceManager.h"

#include <string>

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "inspection/InspectionHelpers.h"

using MWDL::LogError;
using inspection_detail::Registry;
using inspection_detail::ResolveCommandLine;

std::shared_ptr<CItemList> CServiceManager::EnumServices() {
  auto list = std::make_shared<CItemList>();
  try {
    const CKeyedCollection<std::wstring> services = Registry().EnumKeys(platform::kHkeyLocalMachine, kServicesKey);
    for (const std::wstring& service : services) {
      const std::wstring keyPath = std::wstring(kServicesKey) + L"\\" + service;
      std::wstring imagePath;
      std::wstring displayName;
      Registry().GetValue(platform::kHkeyLocalMachine, keyPath, L"ImagePath", imagePath);
      if (imagePath.empty()) continue;
      Registry().GetValue(platform::kHkeyLocalMachine, keyPath, L"DisplayName", displayName);
      const std::wstring file = ResolveCommandLine(Utilities().ExpandEnvironmentStrings(imagePath));
      auto item = list->Add();
      item->Name = file;
      item->Properties().Add(L"DisplayName", displayName);
    }
  } catch (...) {
    LogError(CurrentError(), kLogError, L"CServiceManager.EnumServices");
  }
  return list;
}
